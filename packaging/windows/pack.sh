#!/usr/bin/env bash
# pack.sh PROGRAMS VERSION DIST IMAGES: writes the Windows installer
# DIST/vantor-companion-VERSION-win64-setup.exe and the zip
# DIST/vantor-companion-VERSION-win64.zip of the same files: vntrmap.exe,
# seghub.dll and pathcaster.exe as `cmake --install` laid them out in
# PROGRAMS, and the user's guides beside this script (README-en.txt,
# README-ja.txt). The installer shows the wizard's icon and side picture,
# wizard.ico and watermark.bmp in IMAGES. The same inputs give the same bytes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
programs=$1 version=$2 dist=$3 images=$(cd "$4" && pwd)
name=vantor-companion-$version-win64

# Every file carries the time of the last commit, so that the same sources
# give the same bytes (the .deb does the same).
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || date +%s)}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=$work/$name
mkdir -p "$files" "$dist"
dist=$(cd "$dist" && pwd)
cp "$programs/vntrmap.exe" "$programs/seghub.dll" "$programs/pathcaster.exe" "$files/"
# Notepad reads a UTF-8 text as such only with a byte-order mark.
for guide in "$here"/README-*.txt; do
  { printf '\xef\xbb\xbf'; sed 's/$/\r/' "$guide"; } >"$files/$(basename "$guide")"
done
chmod 0644 "$files"/*
touch -d "@$epoch" "$files" "$files"/*

makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSOURCE="$files" \
  -DIMAGES="$images" -DOUTFILE="$dist/$name-setup.exe" "$here/installer.nsi" >&2
rm -f "$dist/$name.zip"
# zip keeps the order it is given and the local time: both are fixed here.
(cd "$work" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -9 -@ "$dist/$name.zip")
echo "$dist/$name-setup.exe"
echo "$dist/$name.zip"

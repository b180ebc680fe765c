#!/usr/bin/env bash
# pack.sh PROGRAMS VERSION DIST IMAGES: writes the Windows installer
# DIST/vantor-companion-VERSION-win64-setup.exe and the zip
# DIST/vantor-companion-VERSION-win64.zip of the same files: vntrmap.exe,
# seghub.dll and pathcaster.exe as `cmake --install` laid them out in
# PROGRAMS, and the project's README as README.txt. The installer shows the
# wizard's icon and side picture, wizard.ico and watermark.bmp in IMAGES.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
programs=$1 version=$2 dist=$3 images=$(cd "$4" && pwd)
name=vantor-companion-$version-win64

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=$work/$name
mkdir -p "$files" "$dist"
dist=$(cd "$dist" && pwd)
cp "$programs/vntrmap.exe" "$programs/seghub.dll" "$programs/pathcaster.exe" "$files/"
# Notepad reads a UTF-8 text as such only with a byte-order mark.
{ printf '\xef\xbb\xbf'; sed 's/$/\r/' "$repo/README.md"; } >"$files/README.txt"

makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSOURCE="$files" \
  -DIMAGES="$images" -DOUTFILE="$dist/$name-setup.exe" "$here/installer.nsi"
rm -f "$dist/$name.zip"
(cd "$work" && zip -q -X -r -9 "$dist/$name.zip" "$name")
echo "$dist/$name-setup.exe"
echo "$dist/$name.zip"

#!/usr/bin/env bash
# pack.sh PROGRAMS VERSION DIST: writes DIST/vntrmap_VERSION_ARCH.deb, the
# native mapper as a system service: the program, libseghub.so and the
# registry tool vntrreg as `cmake --install` laid them out below PROGRAMS
# (usr/lib/vntrmap), with the unit, the man pages, the maintainer scripts,
# the copyright file and the user's guide (README) beside this script.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
programs=$1 version=$2 dist=$3
readonly package=vntrmap maintainer="Tarvik packaging <packaging@tarvik.example>"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/debian/$package
doc=$root/usr/share/doc/$package
arch=$(dpkg --print-architecture)
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || date +%s)}
umask 022

lay_out_files() {
  install -d "$root/DEBIAN" "$root/usr/sbin" "$root/lib/systemd/system" \
    "$root/usr/share/man/man8" "$doc"
  cp -R "$programs/usr/lib" "$root/usr/"
  strip --remove-section=.comment --remove-section=.note "$root"/usr/lib/vntrmap/*
  ln -s ../lib/vntrmap/vntrmap "$root/usr/sbin/vntrmap"
  ln -s ../lib/vntrmap/vntrreg "$root/usr/sbin/vntrreg"
  install -m 0644 "$here/vntrmap.service" "$root/lib/systemd/system/"
  local page
  for page in vntrmap vntrreg; do
    sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -u -d "@$epoch" +%Y-%m-%d)/" \
      "$here/$page.8.in" | gzip -9n >"$root/usr/share/man/man8/$page.8.gz"
  done
  install -m 0644 "$here/copyright" "$doc/"
  gzip -9nc "$here/README" >"$doc/README.gz"
  printf '%s (%s) stable; urgency=medium\n\n  * Vantor %s.\n\n -- %s  %s\n' \
    "$package" "$version" "$version" "$maintainer" "$(date -u -R -d "@$epoch")" |
    gzip -9n >"$doc/changelog.gz"
  install -m 0755 "$here/postinst" "$here/prerm" "$here/postrm" "$root/DEBIAN/"
}

# The libraries the program and libseghub.so need, as package dependencies.
library_dependencies() {
  printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" \
    >"$work/debian/control"
  local found
  found=$(cd "$work" && dpkg-shlibdeps -O -l"$root/usr/lib/vntrmap" \
    "debian/$package/usr/lib/vntrmap/vntrmap" "debian/$package/usr/lib/vntrmap/libseghub.so" \
    "debian/$package/usr/lib/vntrmap/vntrreg" \
    2>"$work/shlibdeps.log") || { cat "$work/shlibdeps.log" >&2; return 1; }
  echo "${found#shlibs:Depends=}"
}

write_control() {
  local depends size
  depends=$(library_dependencies)
  size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
  sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@INSTALLED_SIZE@/$size/" \
    -e "s/@DEPENDS@/$depends/" "$here/control.in" >"$root/DEBIAN/control"
  (cd "$root" && find . -type f ! -path './DEBIAN/*' -printf '%P\n' | LC_ALL=C sort |
    xargs -d '\n' md5sum) >"$root/DEBIAN/md5sums"
  chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
}

lay_out_files
write_control
mkdir -p "$dist"
SOURCE_DATE_EPOCH=$epoch dpkg-deb --root-owner-group -Zxz --build "$root" \
  "$dist/${package}_${version}_${arch}.deb" >/dev/null
echo "$dist/${package}_${version}_${arch}.deb"

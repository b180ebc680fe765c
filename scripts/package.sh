#!/usr/bin/env bash
# package.sh [DIST]: builds what it packs and writes the packages into DIST
# (dist/ by default), each named with the project's version (project() in
# CMakeLists.txt):
#   vantor-companion-VERSION-win64-setup.exe  Windows installer (NSIS)
#   vantor-companion-VERSION-win64.zip        the same files, for copying by hand
#   vntrmap_VERSION_ARCH.deb                  the native mapper as a systemd service
# The Windows programs come from build/windows; the native mapper is built
# in build/deb with Debian's hardening flags. The same commit gives the same
# bytes: every time stamp is that of the last commit (SOURCE_DATE_EPOCH).
# Only these three files in DIST are written; nothing else there is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
dist=${1:-dist}

scripts/install-deps.sh native windows package

build_windows() {
  [ -f build/windows/build.ninja ] || cmake --preset windows >/dev/null
  cmake --build --preset windows --target vntrmap seghub pathcaster
}

build_debian() {
  if [ ! -f build/deb/build.ninja ]; then
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    local cppflags
    cppflags=$(dpkg-buildflags --get CPPFLAGS)
    CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
    CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=None -DVNTR_TESTS=OFF >/dev/null
  fi
  cmake --build build/deb --target vntrmap seghub vntrreg
}

build_windows
build_debian
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/deb/CMakeCache.txt)
[ -n "$version" ] || { echo "package.sh: no project version in build/deb" >&2; exit 1; }

# strip stamps Windows binaries with this time instead of the current one.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install build/windows --component programs --prefix "$stage/windows" --strip >/dev/null
cmake --install build/deb --component programs --prefix "$stage/debian/usr" --strip >/dev/null

mkdir -p "$dist"
windows=$(packaging/windows/pack.sh "$stage/windows" "$version" "$dist" \
  build/windows/wizard/resources)
debian=$(packaging/debian/pack.sh "$stage/debian" "$version" "$dist")
# shellcheck disable=SC2086  # one path a line, without blanks
ls -l $windows $debian

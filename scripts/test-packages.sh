#!/usr/bin/env bash
# test-packages.sh: builds the packages (scripts/package.sh) and tests them:
# a second build gives the same bytes; then, each inside scripts/sandbox, the .deb (tests/package/deb_test.py) and
# the Windows installer and zip under Wine
# (tests/package/installer_wine_test.py), which print the installer's
# figures. The last line reads "package: P passed, F failed".
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
passed=0
failed=0

# count_unittest LOG: adds the result of a Python unittest run to the totals.
count_unittest() {
  local ran bad=0 n
  ran=$(sed -n -E 's/^Ran ([0-9]+) tests? in .*/\1/p' "$1" | tail -n 1)
  if [ -z "$ran" ] || ! grep -qE '^(OK|FAILED)' "$1"; then
    failed=$((failed + 1))
    return
  fi
  for n in $(grep -E '^FAILED' "$1" | grep -oE '(failures|errors)=[0-9]+' | cut -d= -f2); do
    bad=$((bad + n))
  done
  passed=$((passed + ran - bad))
  failed=$((failed + bad))
}

began=$(date +%s)
if ! scripts/package.sh || ! cmake --build --preset windows --target wizdriver >/dev/null; then
  echo "package: 0 passed, 1 failed"
  exit 1
fi
echo "package.sh and the test driver: $(($(date +%s) - began)) s"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/deb/CMakeCache.txt)
log_dir=build/test-logs
mkdir -p "$log_dir"
# A second run, into another folder, writes the same bytes and leaves what
# else lies there alone.
again=$(mktemp -d)
touch "$again/kept"
sleep 2.5  # zip keeps times to two seconds: this run falls into another step
if scripts/package.sh "$again" >/dev/null && [ -e "$again/kept" ] &&
   (cd "$again" && for f in *.exe *.zip *.deb; do cmp "$f" "$OLDPWD/dist/$f" || exit 1; done); then
  echo "ok: a second package run writes the same bytes"; passed=$((passed + 1))
else
  echo "FAIL: a second package run writes other bytes"; failed=$((failed + 1))
fi
rm -rf "$again"
python3 tests/package/deb_test.py --deb dist/vntrmap_"$version"_*.deb 2>&1 |
  tee "$log_dir/package-deb.log"
count_unittest "$log_dir/package-deb.log"
python3 tests/package/installer_wine_test.py \
  --installer "dist/vantor-companion-$version-win64-setup.exe" \
  --zip "dist/vantor-companion-$version-win64.zip" \
  --driver build/windows/bin/wizdriver.exe 2>&1 | tee "$log_dir/package-windows.log"
count_unittest "$log_dir/package-windows.log"

echo "package: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]

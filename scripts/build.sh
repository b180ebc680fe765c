#!/usr/bin/env bash
# build.sh PRESET...: configures and builds each preset (native, asan, tsan,
# windows) into build/PRESET.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in "$@"; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

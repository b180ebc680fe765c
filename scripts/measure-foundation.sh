#!/usr/bin/env bash
# measure-foundation.sh [--quick]: builds the native mapper and measures its
# idle cost, leaks and stop time inside a private network namespace, with a
# private /dev/shm so the stop request reaches only the mapper measured here.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh native >/dev/null
exec scripts/sandbox --private-shm python3 scripts/measure-foundation.py "$@"

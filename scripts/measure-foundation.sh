#!/usr/bin/env bash
# measure-foundation.sh [--quick]: builds the native mapper and measures its
# idle cost, leaks and stop time inside a private network namespace, with a
# private /dev/shm so the stop request reaches only the mapper measured here.
set -euo pipefail
cd "$(dirname "$0")/.."
netns_run=$(cd .. && pwd)/shared/tools/netns-run
scripts/build.sh native >/dev/null
exec "$netns_run" bash -c 'mount -t tmpfs -o mode=1777 tmpfs /dev/shm
  exec python3 scripts/measure-foundation.py "$@"' measure "$@"

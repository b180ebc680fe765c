#!/usr/bin/env bash
# measure-sessions.sh [measure-sessions.py options]: builds the native mapper
# and measures its sessions against a real telnet server (login latency, 64
# concurrent sessions, forwarding cost beside socat) inside a private network
# namespace with its own /proc (so process ids match) and /dev/shm.
set -euo pipefail
cd "$(dirname "$0")/.."
netns_run=$(cd .. && pwd)/shared/tools/netns-run
scripts/install-deps.sh native
scripts/build.sh native >/dev/null
exec "$netns_run" bash -c 'mount -t proc proc /proc; mount -t tmpfs -o mode=1777 tmpfs /dev/shm
  exec python3 scripts/measure-sessions.py "$@"' measure "$@"

#!/usr/bin/env bash
# measure-sessions.sh [measure-sessions.py options]: builds the native mapper
# and measures its sessions against a real telnet server (login latency, 64
# concurrent sessions, forwarding cost beside socat) inside a private network
# namespace with its own /proc (so process ids match) and /dev/shm.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native
scripts/build.sh native >/dev/null
exec scripts/sandbox --private-shm python3 scripts/measure-sessions.py "$@"

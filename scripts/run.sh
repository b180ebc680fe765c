#!/usr/bin/env bash
# run.sh [--sandbox] [--wine] [PORT]   serves the mapper in the foreground
# run.sh -stop                          stops the mapper serving on this machine
# run.sh --wizard [--real-network]      runs the link-mail wizard (scripts/wizard.sh)
#
# Installs what is missing, builds, and runs the native mapper on this
# machine's network, on port 23000 or PORT, where a real front end reaches it.
# Ctrl-C stops it the way -stop does: the mapper closes its sessions and ends.
#   --wine     runs vntrmap.exe under Wine instead of the native build
#   --sandbox  runs it inside scripts/sandbox, a private network namespace
#              with loopback only: a demo whose sessions and look-ups never
#              leave this machine (reach it from inside that namespace).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --wizard ]; then
  shift
  scripts/install-deps.sh native windows
  scripts/build.sh windows
  exec scripts/wizard.sh "$@"
fi

sandbox=0
wine=0
while [ $# -gt 0 ]; do
  case "$1" in
    --sandbox) sandbox=1; shift ;;
    --wine) wine=1; shift ;;
    *) break ;;
  esac
done

if [ "$wine" = 1 ]; then
  scripts/install-deps.sh native windows
  scripts/build.sh windows
  # The wineserver is left running on the way out: a -stop run shares it
  # with the serving mapper, whose segment lives there.
  runner=(bash -c 'source scripts/wine-env.sh; exec wine build/windows/bin/vntrmap.exe "$@"' run)
else
  scripts/install-deps.sh native
  scripts/build.sh native
  runner=(build/native/bin/vntrmap)
fi
stopper=("${runner[@]}" -stop)

case "${1:-}" in
  -stop) exec "${stopper[@]}" ;;
  -*) echo "usage: run.sh [--sandbox] [--wine] [PORT] | run.sh [--wine] -stop" >&2; exit 2 ;;
esac

if [ "$sandbox" = 1 ]; then
  # Wine inside the sandbox has a wineserver of its own that no -stop from
  # outside reaches: there Ctrl-C simply ends it.
  [ "$wine" = 0 ] || exec scripts/sandbox "${runner[@]}" "$@"
  runner=(scripts/sandbox "${runner[@]}")
fi

# The mapper runs in the background, where Ctrl-C does not reach it; this
# shell turns Ctrl-C into a stop request, so the sessions end cleanly and the
# shared segment no longer says that a mapper runs.
"${runner[@]}" "$@" &
mapper=$!
trap '"${stopper[@]}" >/dev/null 2>&1 || true' INT TERM
while :; do
  wait "$mapper" && exit 0 || status=$?
  kill -0 "$mapper" 2>/dev/null || exit "$status"
done

#!/usr/bin/env bash
# run.sh [--wine] [ARG]: installs what is missing, builds, and runs the
# mapper in the foreground (port 23000 unless ARG says otherwise): natively,
# or vntrmap.exe under Wine with --wine. It runs inside a private network
# namespace (../shared/tools/netns-run), so its connections and look-ups stay
# on this machine; see the README for reaching it.
set -euo pipefail
cd "$(dirname "$0")/.."
netns_run=$(cd .. && pwd)/shared/tools/netns-run

if [ "${1:-}" = --wine ]; then
  shift
  scripts/install-deps.sh native windows
  scripts/build.sh windows
  exec "$netns_run" bash -c 'source scripts/wine-env.sh; trap wine_env_stop EXIT
    wine build/windows/bin/vntrmap.exe "$@"' run "$@"
fi

scripts/install-deps.sh native
scripts/build.sh native
# Not exec'd: the first process of the namespace ignores Ctrl-C, so the
# mapper runs as its child and ends on Ctrl-C as well as on -stop.
exec "$netns_run" bash -c 'build/native/bin/vntrmap "$@"; exit $?' run "$@"

#!/usr/bin/env bash
# measure-forwarding.sh [native] [wine] [--mib N] [--wine-mib N]: the CPU
# seconds per MiB that the mapper spends forwarding one session's output,
# beside a floor relay of the same design fed by the same server in the same
# run, and their ratio (scripts/measure-forwarding.py). Natively (N MiB, 4 by
# default) and for vntrmap.exe under Wine (0.25 MiB by default: Winsock
# calls under Wine cost many times their native price), or only the one
# named.
set -euo pipefail
cd "$(dirname "$0")/.."
builds=() mib=4 wine_mib=0.25
while [ $# -gt 0 ]; do
  case $1 in
    native | wine) builds+=("$1") ;;
    --mib) mib=$2; shift ;;
    --wine-mib) wine_mib=$2; shift ;;
    *) echo "usage: measure-forwarding.sh [native] [wine] [--mib N] [--wine-mib N]" >&2; exit 2 ;;
  esac
  shift
done
[ ${#builds[@]} -gt 0 ] || builds=(native wine)

for build in "${builds[@]}"; do
  if [ "$build" = native ]; then
    nice -n 10 scripts/build.sh native >/dev/null
    scripts/sandbox --private-shm python3 scripts/measure-forwarding.py --mib "$mib" \
      --mapper build/native/bin/vntrmap --relay build/native/bin/floor_relay
  else
    nice -n 10 scripts/build.sh windows >/dev/null
    scripts/sandbox --private-shm bash -c \
      'source scripts/wine-env.sh; trap wine_env_stop EXIT; python3 scripts/measure-forwarding.py "$@"' \
      measure --wine --mib "$wine_mib" \
      --mapper build/windows/bin/vntrmap.exe --relay build/windows/bin/floor_relay.exe
  fi
done

#!/usr/bin/env bash
# measure-wizard.sh [FUZZ_SECONDS]: figures of pathcaster.exe under Wine,
# inside scripts/sandbox with the test address 192.0.2.77 on one adapter and
# dnsmasq on 127.0.0.1 as its one DNS server:
#   - start-up: from starting the program to its first page, 5 runs;
#   - detection: from Next on the welcome page to the "done" status of the
#     detection page (one adapter, one address, one DNS server), 5 runs,
#     beside `dig -x` against the same server in the same run;
#   - the ParsePtrAnswer fuzz target for FUZZ_SECONDS (300 by default; 0 skips
#     it): executions and coverage.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=5

if [ "${1:-}" != --inside ]; then
  fuzz_seconds=${1:-300}
  scripts/install-deps.sh native windows >/dev/null
  scripts/build.sh windows >/dev/null
  scripts/sandbox --addr 192.0.2.77/24 "$0" --inside
  [ "$fuzz_seconds" -gt 0 ] || exit 0
  scripts/build.sh fuzz >/dev/null
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  cp tests/fuzz/corpus/ptr_answer/* "$corpus/"
  scripts/sandbox build/fuzz/bin/ptr_answer_fuzz -max_total_time="$fuzz_seconds" \
    -print_final_stats=1 "$corpus" 2>&1 |
    awk -v s="$fuzz_seconds" '/^Done/ {runs=$2} $2 == "DONE" {for (i=3;i<=NF;i++) if ($i=="cov:") cov=$(i+1)}
      END {printf "ParsePtrAnswer fuzz, %d s: %d executions (%d/s), coverage %d edges\n", s, runs, runs/s, cov}'
  exit 0
fi

# shellcheck source=wizard-session.sh
source scripts/wizard-session.sh
trap wizard_session_stop EXIT
start_virtual_display
prepare_display_prefix
start_test_dns
start_driver

now_ms() { echo $(( ${EPOCHREALTIME/./} / 1000 )); }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

startup=()
detection=()
for run in $(seq "$runs"); do
  t0=$(now_ms)
  start_wizard
  ask "sheet 30 VNTRLINK" >/dev/null
  wait_for page 101
  t1=$(now_ms)
  ask "press next" >/dev/null
  wait_for "text 1009" "$detection_done"
  t2=$(now_ms)
  startup+=($((t1 - t0)))
  detection+=($((t2 - t1)))
  ask close >/dev/null
  wait "$wizard_pid" || true
done

dig_wall=()
dig_query=()
for run in $(seq "$runs"); do
  t0=$(now_ms)
  answer=$(dig -x "$wizard_test_address" @127.0.0.1 +tries=1 +time=2)
  dig_wall+=($(($(now_ms) - t0)))
  dig_query+=("$(sed -n 's/^;; Query time: \([0-9]*\) msec/\1/p' <<<"$answer")")
  grep -q "$wizard_test_host" <<<"$answer" || wizard_die "dig -x gave no $wizard_test_host"
done

report() {  # report LABEL VALUES...
  local label=$1; shift
  printf '%-58s median %5d ms   (%s)\n' "$label" "$(printf '%s\n' "$@" | median)" "$*"
}
report "start-up to the first page (wine pathcaster.exe)" "${startup[@]}"
report "detection: Next to \"done\" (1 adapter, 1 address, 1 server)" "${detection[@]}"
report "dig -x, whole process" "${dig_wall[@]}"
report "dig -x, its own query time" "${dig_query[@]}"

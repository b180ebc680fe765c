#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the fuzz preset and runs every libFuzzer target
# (build/fuzz/bin/*_fuzz) for SECONDS each (20 by default), one per core,
# inside a private network namespace (scripts/sandbox). Each target starts
# from a scratch copy of its seeds in tests/fuzz/corpus/<name without _fuzz>, so the
# seeds stay as committed. Logs and crashing inputs go to build/fuzz/runs/.
# The last line reads "fuzz: P passed, F failed"; the exit status is non-zero
# when a target failed to build or run, or crashed.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

scripts/install-deps.sh native || exit 1
if ! scripts/build.sh fuzz; then
  echo "build of fuzz failed"
  echo "fuzz: 0 passed, 1 failed"
  exit 1
fi

runs=build/fuzz/runs
mkdir -p "$runs"
scratch=$(mktemp -d "$runs/corpus.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0

# One target per core: each runs on one thread.
parallel=$(nproc)

fuzz_target() {  # fuzz_target TARGET: runs it; its status is the target's
  local target=$1 name corpus
  name=$(basename "$target" _fuzz)
  corpus="$scratch/$name"
  mkdir -p "$corpus" "$runs/$name"
  [ -d "tests/fuzz/corpus/$name" ] && cp -R "tests/fuzz/corpus/$name/." "$corpus/"
  scripts/sandbox "$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$runs/$name/" "$corpus" >"$runs/$name.log" 2>&1
}

report_target() {  # report_target NAME STATUS
  local name=$1
  echo "=== fuzz $name (${seconds} s)"
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1))
    grep -E '^(Done [0-9]+ runs|stat::number_of_executed_units|stat::average_exec_per_sec)' "$runs/$name.log"
  else
    failed=$((failed + 1))
    tail -n 40 "$runs/$name.log"
    echo "fuzz target $name failed; inputs kept in $runs/$name/"
  fi
}

targets=()
for target in build/fuzz/bin/*_fuzz; do
  [ -x "$target" ] && targets+=("$target")
done
for ((first = 0; first < ${#targets[@]}; first += parallel)); do
  batch=("${targets[@]:first:parallel}")
  pids=()
  for target in "${batch[@]}"; do
    fuzz_target "$target" &
    pids+=($!)
  done
  for i in "${!batch[@]}"; do
    status=0
    wait "${pids[$i]}" || status=$?
    report_target "$(basename "${batch[$i]}" _fuzz)" "$status"
  done
done

if [ $((passed + failed)) -eq 0 ]; then
  echo "no fuzz target in build/fuzz/bin"
  failed=1
fi
echo "fuzz: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]

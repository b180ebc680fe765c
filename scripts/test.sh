#!/usr/bin/env bash
# test.sh [PRESET...]: installs what is missing, builds, and runs every test:
# native, asan, tsan, then the Windows build under Wine (all four by default),
# then every fuzz target for 20 seconds (scripts/fuzz.sh).
# Every test runs inside a private network namespace (../shared/tools/netns-run).
set -uo pipefail
cd "$(dirname "$0")/.."
netns_run=$(cd .. && pwd)/shared/tools/netns-run
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native asan tsan windows)

sets=(native)
for p in "${presets[@]}"; do [ "$p" = windows ] && sets+=(windows); done
scripts/install-deps.sh "${sets[@]}" || exit 1

passed=0
failed=0
log_dir=build/test-logs
mkdir -p "$log_dir"

run_preset() {
  local preset=$1
  # The namespace has its own process ids: /proc must show them, or the
  # sanitizers' leak check cannot find the test's threads. A private /dev/shm
  # keeps the tests' stop requests away from a mapper serving on this machine.
  local inside='mount -t proc proc /proc; mount -t tmpfs tmpfs /dev/shm; '
  if [ "$preset" = windows ]; then
    inside+='source scripts/wine-env.sh; trap wine_env_stop EXIT; ctest --preset windows -j2'
  else
    inside+="ctest --preset $preset -j2"
  fi
  "$netns_run" bash -c "$inside" 2>&1 | tee "$log_dir/$preset.log"
}

for preset in "${presets[@]}"; do
  echo "=== $preset"
  if ! scripts/build.sh "$preset"; then
    echo "build of $preset failed"
    failed=$((failed + 1))
    continue
  fi
  run_preset "$preset"
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log_dir/$preset.log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "ctest of $preset gave no summary"
    failed=$((failed + 1))
    continue
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  all=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + all - bad))
  failed=$((failed + bad))
done

# Every fuzz target counts as one test.
echo "=== fuzz"
scripts/fuzz.sh 20 2>&1 | tee "$log_dir/fuzz.log"
summary=$(grep -E '^fuzz: [0-9]+ passed, [0-9]+ failed$' "$log_dir/fuzz.log" | tail -n 1)
if [ -z "$summary" ]; then
  echo "fuzzing gave no summary"
  failed=$((failed + 1))
else
  passed=$((passed + $(sed -E 's/fuzz: ([0-9]+) passed.*/\1/' <<<"$summary")))
  failed=$((failed + $(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$summary")))
fi

echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]

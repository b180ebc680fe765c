#!/usr/bin/env bash
# test.sh [PRESET...]: installs what is missing, builds, and runs every test:
# native, asan, tsan, then the Windows build under Wine (all four by default),
# then the packages (scripts/test-packages.sh, with the Windows build), then
# every fuzz target for 20 seconds (scripts/fuzz.sh), then a build and an
# end-to-end test in a fresh clone with nothing beside it (scripts/test-clone.sh).
# Every test runs inside scripts/sandbox, a private network namespace.
set -uo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native asan tsan windows)

sets=(native)
for p in "${presets[@]}"; do [ "$p" = windows ] && sets+=(windows); done
scripts/install-deps.sh "${sets[@]}" || exit 1

passed=0
failed=0
log_dir=build/test-logs
mkdir -p "$log_dir"

# A private /dev/shm keeps the tests' stop requests away from a mapper
# serving on this machine.
run_preset() {
  local preset=$1
  local inside="ctest --preset $preset -j2"
  [ "$preset" != windows ] || inside="source scripts/wine-env.sh; trap wine_env_stop EXIT; $inside"
  scripts/sandbox --private-shm bash -c "$inside" 2>&1 | tee "$log_dir/$preset.log"
}

# count_ctest NAME LOG: adds the summary of a ctest run to the totals.
count_ctest() {
  local summary bad all
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$2" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "ctest of $1 gave no summary"
    failed=$((failed + 1))
    return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  all=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + all - bad))
  failed=$((failed + bad))
}

for preset in "${presets[@]}"; do
  echo "=== $preset"
  if ! scripts/build.sh "$preset"; then
    echo "build of $preset failed"
    failed=$((failed + 1))
    continue
  fi
  run_preset "$preset"
  count_ctest "$preset" "$log_dir/$preset.log"
done

# The packages need the Windows build: they are tested when it is.
if [[ " ${presets[*]} " == *" windows "* ]]; then
  echo "=== package"
  scripts/test-packages.sh 2>&1 | tee "$log_dir/package.log"
  summary=$(grep -E '^package: [0-9]+ passed, [0-9]+ failed$' "$log_dir/package.log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "packaging gave no summary"
    failed=$((failed + 1))
  else
    passed=$((passed + $(sed -E 's/package: ([0-9]+) passed.*/\1/' <<<"$summary")))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$summary")))
  fi
fi

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

echo "=== clone"
scripts/test-clone.sh 2>&1 | tee "$log_dir/clone.log"
count_ctest clone "$log_dir/clone.log"

echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]

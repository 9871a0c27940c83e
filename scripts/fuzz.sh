#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 10)
# from its seed corpus in fuzz/corpus/<target>. Prints executions per target
# and fails when a target crashes, hangs or a sanitizer reports.
# Usage: bash scripts/fuzz.sh [SECONDS] [TARGET...]
# QEL_FUZZ_BUILD names the build directory (default build/fuzz);
# QEL_FUZZ_SKIP_BUILD=1 runs what is built there.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
build=${QEL_FUZZ_BUILD:-build/fuzz}
if [ "${QEL_FUZZ_SKIP_BUILD:-0}" != 1 ]; then
  # -O1 with line tables only: quick to build, fast enough to fuzz, and
  # crash reports still name file and line.
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DQEL_FUZZ=ON -DQEL_SANITIZE=ON -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" --target fuzz_all -j"${QEL_JOBS:-2}" >/dev/null
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$build"/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
total=0
passed=0
failed=0
for t in "${targets[@]}"; do
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$t" ] && cp -r "fuzz/corpus/$t/." "$work/"
  log=$(mktemp)
  if UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
     "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$build/$t-" "$work" >"$log" 2>&1; then
    runs=$(grep -o 'Done [0-9]* runs' "$log" | grep -o '[0-9]*' || echo 0)
    echo "$t: $runs executions, no crash"
    total=$((total + runs))
    passed=$((passed + 1))
    rm -f "$log"
  else
    echo "$t: FAILED (log $log, reproducer $build/$t-*)"
    tail -40 "$log"
    failed=$((failed + 1))
  fi
  rm -rf "$work"
done
echo "fuzzing: $total executions in total"
echo "fuzzing: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

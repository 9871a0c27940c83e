#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 10)
# from its seed corpus in fuzz/corpus/<target>. Prints executions per target.
# Usage: bash scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQEL_FUZZ=ON -DQEL_SANITIZE=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build/fuzz -j"${QEL_JOBS:-2}" >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in build/fuzz/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
total=0
status=0
for t in "${targets[@]}"; do
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$t" ] && cp -r "fuzz/corpus/$t/." "$work/"
  log=$(mktemp)
  if UBSAN_OPTIONS=halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
     "build/fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="build/fuzz/$t-" "$work" >"$log" 2>&1; then
    runs=$(grep -o 'Done [0-9]* runs' "$log" | grep -o '[0-9]*' || echo 0)
    echo "$t: $runs executions, no crash"
    total=$((total + runs))
  else
    echo "$t: FAILED (see $log)"
    tail -30 "$log"
    status=1
  fi
  rm -rf "$work"
done
echo "fuzzing: $total executions in total"
exit $status

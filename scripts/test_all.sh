#!/usr/bin/env bash
# Installs what is needed, builds the three binaries and runs every test:
# unit tests, Linux end-to-end tests, the Wine end-to-end tests of setup.exe
# (the 32-bit build, and the 64-bit one in a 64-bit prefix), the kit's
# packages (a second build of them among the tests: kit_reproducible), and
# the unit and Linux end-to-end tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the tree copy's and the archive expander's
# threads under ThreadSanitizer; then a short pass of every fuzz target
# (QEL_FUZZ_SECONDS each, default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${QEL_JOBS:-2}

bash scripts/install_deps.sh
bash scripts/build.sh
(cd build/linux && ctest --output-on-failure -j"$jobs")

if [ "${QEL_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZE=ON >/dev/null
  cmake --build build/sanitize -j"$jobs"
  (cd build/sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
     ctest --output-on-failure -j"$jobs")
  # ThreadSanitizer over the worker threads: the tree copy's (the library,
  # the unit tests and the tree fuzz target's seeds) and the archive
  # expander's (the tool and its tests), in a build of their own.
  cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_TSAN=ON >/dev/null
  cmake --build build/tsan -j"$jobs" --target unit_tests tsan_fuzz_tree unzip unzip_rules_test
  (cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j"$jobs" -R 'CopyTree|Tree')
  (cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j"$jobs" -L unzip)
fi

if [ "${QEL_SKIP_FUZZ:-0}" != 1 ]; then
  bash scripts/fuzz.sh "${QEL_FUZZ_SECONDS:-10}"
fi

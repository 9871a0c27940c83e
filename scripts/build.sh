#!/usr/bin/env bash
# Builds the three binaries the tests run: build/win32 (cross, i686: the
# product), build/win64 (cross, x86_64) and build/linux, which runs the tests
# of all three. Extra arguments go to the Linux configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${QEL_JOBS:-2}
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF --no-warn-unused-cli >/dev/null
cmake --build build/win32 -j"$jobs"
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF --no-warn-unused-cli >/dev/null
cmake --build build/win64 -j"$jobs"
cmake -S . -B build/linux -DCMAKE_BUILD_TYPE=Release -DQEL_WIN32_BUILD_DIR="$PWD/build/win32" \
      -DQEL_WIN64_BUILD_DIR="$PWD/build/win64" "$@" >/dev/null
cmake --build build/linux -j"$jobs"

#!/usr/bin/env bash
# Builds both binaries: build/win32/setup.exe (cross, i686) and build/linux/setup.
# Extra arguments go to the Linux configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${QEL_JOBS:-2}
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF --no-warn-unused-cli >/dev/null
cmake --build build/win32 -j"$jobs"
cmake -S . -B build/linux -DCMAKE_BUILD_TYPE=Release -DQEL_WIN32_BUILD_DIR="$PWD/build/win32" "$@" >/dev/null
cmake --build build/linux -j"$jobs"

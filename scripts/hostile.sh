#!/usr/bin/env bash
# The hostile-environment harness from one command: builds the programs it
# runs, then runs the matrix (tests/hostile/hostile.py) and prints its table.
#
#   bash scripts/hostile.sh [--wine] [--full] [--pair GLOB]... [--keep] [--no-build] [hostile.py options]
#
# Without --full it runs the short pass the test command runs (every input
# and every transformation at least once). --wine runs the Windows build
# (QEL_HOSTILE_WIN_BUILD, default build/win32) under Wine, in private prefixes
# copied from build/linux/wineprefix when it exists. --pair GLOB runs the
# pairs it matches (the reproduction line of a finding); --keep keeps their
# worlds, where .h/repro.sh runs the program again by hand. As with the
# end-to-end scripts, QEL_KIND=wine stands for --wine and QEL_BIN_DIR names
# the build to run (it is then used as it stands, not built).
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${QEL_KIND:-linux}
build=1
if [ -n "${QEL_BIN_DIR:-}" ]; then
  build=0
  [ "$kind" = wine ] && QEL_HOSTILE_WIN_BUILD=$QEL_BIN_DIR
fi
args=()
for arg in "$@"; do
  case $arg in
    --wine) kind=wine ;;
    --no-build) build=0 ;;
    *) args+=("$arg") ;;
  esac
done
targets=(setup unzip qelcheck fakejava catalogues)
jobs=${QEL_JOBS:-2}

if [ "$kind" = wine ]; then
  bin=${QEL_HOSTILE_WIN_BUILD:-build/win32}
  if [ "$build" = 1 ]; then
    [ -f "$bin/CMakeCache.txt" ] || cmake -S . -B "$bin" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF --no-warn-unused-cli >/dev/null
    cmake --build "$bin" -j"$jobs" --target "${targets[@]}" >/dev/null
  fi
  # Wine runs wait on its server more than on the processors: a third worker pays.
  extra=(--kind wine --prefix-dir build/hostile --jobs 3)
  [ -d build/linux/wineprefix ] && extra+=(--wineprefix build/linux/wineprefix)
else
  bin=${QEL_BIN_DIR:-build/linux}
  if [ "$build" = 1 ]; then
    [ -f "$bin/CMakeCache.txt" ] || cmake -S . -B "$bin" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$bin" -j"$jobs" --target "${targets[@]}" >/dev/null
  fi
  extra=()
fi
exec python3 tests/hostile/hostile.py --bin-dir "$bin" "${extra[@]}" "${args[@]}"

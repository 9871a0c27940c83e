#!/usr/bin/env bash
# Builds the launcher kit's packages into one folder (default build/packages):
#
#   qelsetup-<version>-win32.zip           the 32-bit Windows build (the product)
#   qelsetup-<version>-win64.zip           the 64-bit Windows build
#   qelsetup-<version>-linux-<arch>.tar.gz the Linux build
#   qelsetup_<version>_<arch>.deb          the same, below /opt/qelsetup/install
#   SHA256SUMS                             the SHA-256 of each, as sha256sum prints them
#
# Each package holds the directory install/ of a distribution medium. The
# three builds are made in build/package/ with the kit's programs only
# (QEL_KIT_ONLY: no tests, test programs or demo), at the same time on the
# jobs given (QEL_JOBS, default 2). With QEL_SIGN_PKCS12 (and
# QEL_SIGN_PASSWORD) set, the Windows programs are signed before they are
# packed (scripts/sign.sh); otherwise they stay unsigned.
#
# The same commit gives the same packages, byte for byte, wherever and
# whenever it is built: every time stamp is SOURCE_DATE_EPOCH, by default the
# time of the commit checked out (git), and the binaries hold no build path
# or date (cmake/build_flags.cmake).
#
# Without --no-build it first calls scripts/install_deps.sh, which installs
# what is missing with apt-get (root).
#
# Usage: bash scripts/package.sh [--no-build] [--builds DIR] [--out DIR]
#   --no-build    packs the builds DIR/win32, DIR/win64 and DIR/linux as they
#                 are (default DIR: build, which the test command builds)
#   --builds DIR  where the builds are made (default build/package) or found
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022
build=1
builds=
out=build/packages
usage() { echo "usage: package.sh [--no-build] [--builds DIR] [--out DIR]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) build=0 ;;
    --builds) [ $# -ge 2 ] || usage; builds=$2; shift ;;
    --out) [ $# -ge 2 ] || usage; out=$2; shift ;;
    *) usage ;;
  esac
  shift
done
if [ -z "$builds" ]; then
  if [ "$build" = 1 ]; then builds=build/package; else builds=build; fi
fi
jobs=${QEL_JOBS:-2}
kinds=(win32 win64 linux)
started=$SECONDS
step=0
steps=$(( build ? 5 : 3 ))
say() { step=$((step + 1)); printf '==> [%d/%d] %s (%ds)\n' "$step" "$steps" "$*" $((SECONDS - started)); }

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || true)
  if [ -z "$SOURCE_DATE_EPOCH" ]; then
    # No commit to take the time from (a source archive): its newest file.
    SOURCE_DATE_EPOCH=$(find . -path ./build -prune -o -type f -printf '%T@\n' | sort -n | tail -1 | cut -d. -f1)
    echo "package.sh: no git commit; SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH from the newest source file" >&2
  fi
fi
export SOURCE_DATE_EPOCH

if [ "$build" = 1 ]; then
  say "Packages this build needs (apt-get, as root, only when one is missing)"
  bash scripts/install_deps.sh

  say "Configuring the 32-bit Windows, 64-bit Windows and Linux builds in $builds/"
  common=(-G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DQEL_KIT_ONLY=ON --no-warn-unused-cli)
  configure() {
    local kind=$1 log=$builds/$1.configure.log
    shift
    cmake -S . -B "$builds/$kind" "${common[@]}" "$@" >"$log" 2>&1 || { cat "$log" >&2; return 1; }
  }
  mkdir -p "$builds"
  configure win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake &
  configure win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake &
  configure linux &
  for _ in 1 2 3; do wait -n || { echo "package.sh: a build could not be configured" >&2; exit 1; }; done

  say "Building the three on $jobs jobs (each line: the build, then its progress)"
  # One make over the three builds shares its job slots among them, so one
  # build links while another compiles.
  make -s -j"$jobs" -f - B="$builds" <<'EOF'
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c
all: win32 win64 linux
win32 win64 linux:
	+@$(MAKE) --no-print-directory -C $(B)/$@ 2>&1 | sed -u 's/^/  $@ | /'
.PHONY: all win32 win64 linux
EOF
fi

say "Laying out the kits"
for kind in "${kinds[@]}"; do
  [ -f "$builds/$kind/cmake_install.cmake" ] && [ -f "$builds/$kind/kit/archive_name.txt" ] ||
    { echo "package.sh: $builds/$kind is not built" >&2; exit 1; }
done
version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"; }
version=$(version "$builds/linux")
for kind in win32 win64; do
  [ "$(version "$builds/$kind")" = "$version" ] ||
    { echo "package.sh: $builds/$kind is version $(version "$builds/$kind"), not $version" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for kind in "${kinds[@]}"; do
  strip=()
  [ "$kind" = linux ] && strip=(--strip)
  cmake --install "$builds/$kind" --prefix "$work/$kind/install" "${strip[@]}" >/dev/null
  if [ "$kind" != linux ] && [ -n "${QEL_SIGN_PKCS12:-}" ]; then
    bash scripts/sign.sh "$work/$kind"/install/*.exe | sed 's/^/  /'
  fi
done

say "Packing"
made=()
for kind in "${kinds[@]}"; do
  archive=$(cat "$builds/$kind/kit/archive_name.txt")
  python3 packaging/pack_kit.py "$work/$kind" "$out/$archive"
  made+=("$archive")
  echo "  $archive"
done
# CPack makes the .deb (control data, dependencies from dpkg-shlibdeps).
if ! cpack --config "$builds/linux/CPackConfig.cmake" -B "$work/deb" >"$work/deb.log" 2>&1; then
  cat "$work/deb.log" >&2
  exit 1
fi
for deb in "$work"/deb/*.deb; do
  mv -f "$deb" "$out/"
  made+=("$(basename "$deb")")
  echo "  $(basename "$deb")"
done
(cd "$out" && sha256sum -- "${made[@]}" >SHA256SUMS)

echo "Kit $version: ${#made[@]} packages and SHA256SUMS in $out ($((SECONDS - started)) s):"
(cd "$out" && for f in "${made[@]}"; do printf '  %-45s %9d bytes\n' "$f" "$(stat -c %s "$f")"; done)

#!/usr/bin/env bash
# Builds the launcher kit's packages into one folder (default build/packages):
#
#   qelsetup-<version>-win32.zip           from the Windows build
#   qelsetup-<version>-linux-<arch>.tar.gz from the Linux build
#   qelsetup_<version>_<arch>.deb          the same, below /opt/qelsetup/install
#
# Each archive holds the directory install/ of a distribution medium. With
# QEL_SIGN_PKCS12 (and QEL_SIGN_PASSWORD) set, the Windows programs are signed
# before they are packed (scripts/sign.sh); otherwise they stay unsigned.
#
# Usage: bash scripts/package.sh [--no-build] [--out DIR]
#   --no-build  packs the builds as they are (the tests use it after the
#               test command has built both)
set -euo pipefail
cd "$(dirname "$0")/.."
build=1
out=build/packages
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) build=0 ;;
    --out) out=$2; shift ;;
    *) echo "usage: package.sh [--no-build] [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done
if [ "$build" = 1 ]; then
  bash scripts/install_deps.sh
  bash scripts/build.sh >/dev/null
fi
for dir in build/win32 build/linux; do
  [ -f "$dir/CPackConfig.cmake" ] || { echo "package.sh: $dir is not built" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# pack BUILD_DIR: the build's packages (its CPack generators) into $out.
pack() {
  if ! cpack --config "$1/CPackConfig.cmake" -B "$work/$(basename "$1")" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    exit 1
  fi
  find "$work/$(basename "$1")" -maxdepth 1 -type f \( -name '*.zip' -o -name '*.tar.gz' -o -name '*.deb' \) \
    -exec mv -f {} "$out/" \;
}
pack build/win32
pack build/linux

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/linux/CPackConfig.cmake)
echo "Kit $version packages in $out:"
(cd "$out" && ls -l -- *"$version"* | awk '{printf "  %-45s %9d bytes\n", $9, $5}')

#!/usr/bin/env bash
# Installs what the builds, the tests and the demo need on a Debian machine
# (run as root). Does nothing when everything is there already.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-dev python3 libgtest-dev zlib1g-dev libdeflate-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
          wine wine32:i386 wine64 unzip zip default-jdk-headless
          dpkg-dev osslsigncode openssl)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

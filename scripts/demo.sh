#!/usr/bin/env bash
# Installs what is needed, builds, lays out a small distribution medium
# (scripts/demo_medium.sh) and runs the launcher on it:
#
#   <medium>/install/             setup, resource/, unzip, qelparam.ini
#   <medium>/stage/Components/    one jar archive per component and version
#
# The launcher bootstraps the components into its scratch directory with the
# shipped unzip tool (the installer, its core, the patch tool and a small Java
# runtime made with jlink), then starts the demo installer in that runtime,
# waits for it and passes its exit code on.
#
# Usage: bash scripts/demo.sh [EXIT_CODE]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh
bash scripts/build.sh >/dev/null
exit_code=${1:-0}

medium=$(mktemp -d /tmp/qel_demo.XXXXXX)
install=$medium/install
# A runtime holding only the base module: enough for the demo installer.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
jlink --add-modules java.base --strip-debug --no-man-pages --no-header-files \
  --output "$runtime/17" >/dev/null
bash scripts/demo_medium.sh "$medium" build/linux "$runtime/17"

echo "Distribution medium: $medium"
(cd "$medium/stage/Components" && find . -name '*.jar' | sort | sed 's/^/  /')
echo "Running: install/setup -SILENT -PREREQLOGLOC $medium INSTALL_DIR=$medium/home EXIT_CODE=$exit_code"
echo
mkdir -p "$medium/temp"
cd "$install"
set +e
TEMP=$medium/temp ./setup -SILENT -PREREQLOGLOC "$medium" INSTALL_DIR="$medium/home" EXIT_CODE="$exit_code"
status=$?
set -e
echo
echo "setup ended with status $status"
echo "Installed:"
find "$medium/home" -type f | sort | sed 's/^/  /'
echo "Actions log: $(ls "$medium"/logs/install*.log)"
exit "$status"

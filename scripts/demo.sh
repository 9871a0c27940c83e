#!/usr/bin/env bash
# Installs what is needed, builds, and runs the launcher on a small demo
# distribution (the demo installer class in jlib/QelInstaller.jar, the
# machine's Java runtime), showing its console.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh
bash scripts/build.sh
dist=$(mktemp -d /tmp/qel_demo.XXXXXX)
cp build/linux/setup "$dist/"
cp -r build/linux/resource "$dist/"
[ -f build/linux/unzip ] && cp build/linux/unzip "$dist/"
mkdir -p "$dist/jlib"
cp build/linux/demo/jlib/QelInstaller.jar "$dist/jlib/"
java_home=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
cat >"$dist/qelparam.ini" <<INI
[Quelta]
INSTALL_CLASS=demo.DemoInstaller
JRE_LOCATION=$java_home
INI
echo "Demo distribution: $dist"
cd "$dist"
set +e
TEMP=$dist/temp ./setup -SILENT INSTALL_DIR="$dist/home"
status=$?
echo "setup ended with status $status"

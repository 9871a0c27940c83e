#!/usr/bin/env bash
# Lays out the demo's distribution medium from a Linux build:
#
#   MEDIUM/install/             setup, resource/, unzip, qelparam.ini
#   MEDIUM/stage/Components/    one jar archive per component and version
#
# RUNTIME is the Java home packed as the staged runtime (scripts/demo.sh
# makes one with jlink; a test may stage any tree with bin/java).
#
# Usage: bash scripts/demo_medium.sh MEDIUM BUILD_DIR RUNTIME
set -euo pipefail
medium=$1
build=$(cd "$2" && pwd)
runtime=$(cd "$3" && pwd)

install=$medium/install
stage=$medium/stage/Components
mkdir -p "$install"
cp "$build/setup" "$build/unzip" "$install/"
cp -r "$build/resource" "$install/"

# component NAME VERSION JAR DIR: packs the tree DIR into the component's jar.
component() {
  local data=$stage/$1/$2/1/DataFiles
  mkdir -p "$data"
  (cd "$4" && zip -qr -X "$data/$3" .)
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The installer core carries the installer classes, the installer itself a
# readme, the patch tool its (empty) jar directory.
mkdir -p "$work/core/qti/jlib" "$work/qti/qti" "$work/mendra/Mendra/jlib" "$work/jre/jre"
cp "$build/demo/jlib/QelInstaller.jar" "$work/core/qti/jlib/"
echo "Demo installer files" >"$work/qti/qti/README.txt"
echo "Demo patch tool" >"$work/mendra/Mendra/README.txt"
cp -r "$runtime" "$work/jre/jre/17"
component quelta.swd.qti.core 1.0.0.0.0 core.jar "$work/core"
component quelta.swd.qti 1.0.0.0.0 qti.jar "$work/qti"
component quelta.swd.mendra 1.0.0.0.0 mendra.jar "$work/mendra"
component quelta.swd.jre 17.0.0.0.0 jre.jar "$work/jre"
# An older version beside it: the bootstrap takes the highest one.
component quelta.swd.jre 9.0.0.0.0 jre.jar "$work/mendra"

cat >"$install/qelparam.ini" <<INI
[Quelta]
INSTALL_CLASS=demo.DemoInstaller
DISTRIBUTION=TRUE
BOOTSTRAP=TRUE
BOOTSTRAP_SIZE=200
WAIT_FOR_COMPLETION=TRUE
JRE_LOCATION=$medium/no-runtime-yet
JRE_VERSION=17
INI

#!/usr/bin/env bash
# Installs what is needed, builds, lays out a small distribution medium and
# runs the launcher on it:
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
stage=$medium/stage/Components
mkdir -p "$install"
cp build/linux/setup build/linux/unzip "$install/"
cp -r build/linux/resource "$install/"

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
mkdir -p "$work/core/qti/jlib" "$work/qti/qti" "$work/mendra/Mendra/jlib"
cp build/linux/demo/jlib/QelInstaller.jar "$work/core/qti/jlib/"
echo "Demo installer files" >"$work/qti/qti/README.txt"
echo "Demo patch tool" >"$work/mendra/Mendra/README.txt"
# A runtime holding only the base module: enough for the demo installer.
jlink --add-modules java.base --strip-debug --no-man-pages --no-header-files \
  --output "$work/jre/jre/17" >/dev/null
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

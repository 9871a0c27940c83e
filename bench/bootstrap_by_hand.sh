#!/bin/sh
# What the launcher's distribution bootstrap of figure 4 does, by hand with
# Info-ZIP unzip and cp: expand the four staged components into a scratch
# directory, copy the core's prepared tree, start the runtime's java, wait,
# and remove the scratch directory.
#   bootstrap_by_hand.sh STAGE SCRATCH JAVA-ARGS...
set -e
stage=$1 scratch=$2
shift 2
mkdir -p "$scratch"
unzip -qqqo "$stage/quelta.swd.jre/17.0.0.0.0/1/DataFiles/*.jar" -d "$scratch"
unzip -qqqo "$stage/quelta.swd.qti/4.2.0.1.0/1/DataFiles/*.jar" -d "$scratch"
cp -r "$stage/quelta.swd.qti.core/4.2.0.1.0/1/DataFiles/Expanded/." "$scratch/"
unzip -qqqo "$stage/quelta.swd.qti.core/4.2.0.1.0/1/DataFiles/*.jar" -d "$scratch"
unzip -qqqo "$stage/quelta.swd.mendra/4.2.0.1.0/1/DataFiles/*.jar" -d "$scratch"
"$scratch/jre/jre17/bin/java" "$@"
rm -rf "$scratch"

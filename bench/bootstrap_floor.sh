#!/bin/sh
# The floor of figure 4: the same staged jars inflated and their files written,
# and the core's prepared tree copied, by the minimal programs of figures F and
# 2f on every core, then the runtime's java started and waited for and the
# scratch directory removed. Nothing is checked and no mode is kept, so java
# is made executable by hand.
#   bootstrap_floor.sh BENCH_BIN STAGE SCRATCH JAVA-ARGS...
set -e
bin=$1 stage=$2 scratch=$3
shift 3
"$bin/qel_bench_copy_floor" "$stage/quelta.swd.qti.core/4.2.0.1.0/1/DataFiles/Expanded" "$scratch"
"$bin/qel_bench_floor" "$scratch" "$stage"/*/*/1/DataFiles/*.jar
chmod +x "$scratch/jre/jre17/bin/java"
"$scratch/jre/jre17/bin/java" "$@"
rm -rf "$scratch"

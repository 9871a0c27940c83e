# Figures 4 and 5, sourced by run.sh: a bootstrap from a distribution medium
# (four staged components, expanded by the shipped unzip tool into the
# scratch directory), against the same work done by a shell script, and the
# launcher's own peak memory during it.

say "4. whole bootstrap: staging four components ..."
D=$WORK/medium
S=$D/stage/Components
python3 "$BENCH/make_inputs.py" jre-jars "$S/quelta.swd.jre/17.0.0.0.0/1/DataFiles" "$WORK/tinyjava" 54
python3 "$BENCH/make_inputs.py" jars "$S/quelta.swd.qti/4.2.0.1.0/1/DataFiles" 6 26 21 qti/jlib/
python3 "$BENCH/make_inputs.py" jars "$S/quelta.swd.qti.core/4.2.0.1.0/1/DataFiles" 10 20 22 qti/core/
python3 "$BENCH/make_inputs.py" jars "$S/quelta.swd.mendra/4.2.0.1.0/1/DataFiles" 4 8 23 Mendra/jlib/
# The core's prepared tree, copied by CopyTree before its expansion.
expanded=$S/quelta.swd.qti.core/4.2.0.1.0/1/DataFiles/Expanded/qti/lib
mkdir -p "$expanded"
for i in $(seq 200); do head -c $((4096 + i * 97)) /dev/urandom >"$expanded/lib$i.so"; done
stage_mb=$(du -smc "$S"/*/*/1/DataFiles/*.jar | tail -1 | cut -f1)
stage_entries=$(for j in "$S"/*/*/1/DataFiles/*.jar; do unzip -Z1 "$j"; done | wc -l)

mkdir -p "$D/install" "$WORK/bscratch"
cp "$BL/setup" "$BL/unzip" "$D/install/"
cp -r "$BL/resource" "$D/install/"
write_param "$D/install/qelparam.ini" Linux "$OS_VERSION" "$WORK/no-such-runtime" "" "" "" \
  DISTRIBUTION=TRUE BOOTSTRAP=TRUE BOOTSTRAP_SIZE=2000 WAIT_FOR_COMPLETION=TRUE QTI_VERSION=4.2.0.1.0
# write_param names the three installer locations; the medium's defaults must
# stand, so those lines go.
sed -i '/^QTI_LOCATION=$/d; /^QTI_CORE_LOCATION=$/d; /^MENDRA_LOCATION=$/d' "$D/install/qelparam.ini"
BOOT_ARGS=(-SILENT -SCRATCHPATH "$WORK/bscratch")
(cd "$D/install" && QEL_BENCH_ARGS_OUT=$WORK/bjava.args ./setup "${BOOT_ARGS[@]}" </dev/null >"$WORK/boot.out" 2>&1) ||
  { cat "$WORK/boot.out" >&2; say "recorded bootstrap run failed"; exit 1; }
[ -s "$WORK/bjava.args" ] || { cat "$WORK/boot.out" >&2; say "the bootstrapped java was not started"; exit 1; }
[ -z "$(ls -A "$WORK/bscratch")" ] || { say "the scratch directory was left behind"; exit 1; }
mapfile -d '' BJAVA_ARGS <"$WORK/bjava.args"
say "4. whole bootstrap: timing ..."
(cd "$D/install" && abtime -w 1 -n 5 -p "sync" -- ./setup "${BOOT_ARGS[@]}" ::: \
  /bin/sh "$BENCH/bootstrap_by_hand.sh" "$S" "$WORK/hscratch" "${BJAVA_ARGS[@]}")
r=$(awk '$1 == "ratio" { print $2 }' "$WORK/ab")
row "4 whole bootstrap vs sh + Info-ZIP unzip + cp (4 components, $stage_mb MB, $stage_entries entries)" \
  "$(field A 1) ms" "$(field B 1) ms" "x$r" "<= x0.5" "$(verdict "$r" 0.5)"
wait4_kib=$(field A 4)
# The floor of the whole bootstrap: the minimal copy and expansion programs of
# 2f and F do the same work on every core, then the same java is started.
(cd "$D/install" && abtime -w 1 -n 5 -p "sync" -- ./setup "${BOOT_ARGS[@]}" ::: \
  /bin/sh "$BENCH/bootstrap_floor.sh" "$BL" "$S" "$WORK/fscratch" "${BJAVA_ARGS[@]}")
r=$(awk '$1 == "ratio" { print $2 }' "$WORK/ab")
row "4f whole bootstrap vs its floor (the minimal programs of 2f and F, java, rm -rf)" "$(field A 1) ms" \
  "$(field B 1) ms" "x$r" "(information)" "-"

say "5. the launcher's peak memory ..."
peak_kib=0
for _ in 1 2 3; do
  read -r kib status < <(cd "$D/install" && "$BL/qel_bench_peakrss" ./setup "${BOOT_ARGS[@]}" </dev/null 2>/dev/null | tail -1)
  [ "$status" = 0 ] || { say "traced bootstrap run failed ($status)"; exit 1; }
  [ "$kib" -gt "$peak_kib" ] && peak_kib=$kib
done
time_kib=$(cd "$D/install" && /usr/bin/time -f '%M' ./setup "${BOOT_ARGS[@]}" </dev/null 2>&1 >/dev/null | tail -1)
peak_mib=$(awk -v k="$peak_kib" 'BEGIN { printf "%.2f", k / 1024 }')
row "5 launcher peak RSS during 4 (own VmHWM at exit; time -v / wait4 say $time_kib / $wait4_kib KiB)" \
  "$peak_kib KiB" "-" "$peak_mib MiB" "<= 4 MiB" "$(verdict "$peak_mib" 4)"

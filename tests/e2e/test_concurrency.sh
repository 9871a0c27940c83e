#!/usr/bin/env bash
# Many launcher runs started at once from scripts share one TEMP: each gets a
# scratch directory of its own and a complete actions log.
source "$(dirname "$0")/lib.sh"

TS=2026-03-04_05-06-07AM

test_fifty_runs_at_once_share_temp() {
  local runs=50
  [ "$QEL_KIND" = wine ] && runs=12
  make_dist dist
  write_param dist/qelparam.ini "INSTALL_CLASS=demo.Main"
  mkdir -p "$WORK/scratch"
  local pids=() i
  for i in $(seq 1 $runs); do
    if [ "$QEL_KIND" = wine ]; then
      (cd dist && wine setup.exe -SILENT -HELP -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")" \
         </dev/null >"$WORK/out.$i" 2>&1; echo $? >"$WORK/rc.$i") &
    else
      (cd dist && ./setup -SILENT -HELP -rtimestamp $TS -SCRATCHPATH "$WORK/scratch" \
         </dev/null >"$WORK/out.$i" 2>&1; echo $? >"$WORK/rc.$i") &
    fi
    pids+=($!)
  done
  wait "${pids[@]}"
  local dirs
  dirs=$(ls -d "$WORK/scratch/QelInstall$TS"* | wc -l)
  expect_eq "$dirs" "$runs" "scratch directories"
  local d
  for d in "$WORK/scratch/QelInstall$TS"*; do
    expect_file_has "$d/installActions$TS.log" "Using the parameter file"
  done
  for i in $(seq 1 $runs); do
    [ "$(cat "$WORK/rc.$i")" -lt 128 ] || fail "run $i ended with $(cat "$WORK/rc.$i")"
  done
}

e2e_main "$@"

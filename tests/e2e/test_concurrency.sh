#!/usr/bin/env bash
# Many launcher runs started at once from scripts share one TEMP: each gets a
# scratch directory of its own and a complete actions log.
source "$(dirname "$0")/lib.sh"

TS=2026-03-04_05-06-07AM

test_fifty_runs_at_once_share_temp() {
  local runs=50
  [ "$QEL_KIND" = wine ] && runs=12
  # Bootstrapped and not waited for: each scratch directory stays, with the
  # run's copies and its actions log.
  make_product "$WORK" "BOOTSTRAP=TRUE"
  : >"$WORK/qti/jlib/QelInstaller.jar"
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
    expect_exists "$d/qti/jlib/QelInstaller.jar"
  done
  # The runs' registry probes neither failed nor left anything behind.
  if [ "$QEL_KIND" = linux ]; then
    expect_eq "$(ls -A "$QEL_REGISTRY_ROOT/HKEY_LOCAL_MACHINE/SOFTWARE")" "" "probe leftovers"
  fi
  # Started and still running (259), or already ended with 0.
  for i in $(seq 1 $runs); do
    case "$(cat "$WORK/rc.$i")" in 0 | 3 | 259) ;; *) fail "run $i ended with $(cat "$WORK/rc.$i")" ;; esac
  done
}

e2e_main "$@"

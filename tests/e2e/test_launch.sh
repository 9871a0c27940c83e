#!/usr/bin/env bash
# Handing over to the installer: the Java command line the installer gets,
# the exit code passed back, waiting or not, the scratch directory's end, and
# every way the runtime choice or the registry probe stops the launch.
source "$(dirname "$0")/lib.sh"

TS=2026-03-04_05-06-07AM
# Class-path separator of the launcher under test.
CPSEP=:
[ "$QEL_KIND" = wine ] && CPSEP=';'

# The product lies where blanks and a non-ASCII letter are in every path.
BASE=
setup_product() {
  BASE="$WORK/prod uct ä"
  make_product "$BASE" "$@"
}

SCRATCH_ROOT=
launch() {
  SCRATCH_ROOT=$WORK/scratch
  run_setup "$BASE/dist" "$@" -rtimestamp $TS -SCRATCHPATH "$(native_path "$SCRATCH_ROOT")"
}


# The class path for a run without ADDTO_CLASSPATH, ext jars and thin JDBC
# jar, from the one list of the class path's jars: no entry that Java reads
# as the working directory or a root.
expected_class_path() {
  local scratch=$1 core=$2 mendra=$3 qti=$4 s=$SEP c=$CPSEP out j
  jars() { sed -n "s/^$1 //p" "$E2E_DIR/../data/class_path_jars.txt"; }
  out="$scratch$c"
  for j in $(jars core); do out+="$core$s$j$c"; done
  for j in $(jars patch); do out+="$mendra$s$j$c"; done
  for j in $(jars before); do out+="$qti$s$j$c"; done
  for j in $(jars after); do out+="$qti$s$j$c"; done
  printf '%s' "${out%"$c"}"
}

test_plain_installation_gets_the_exact_command_line() {
  setup_product
  launch
  expect_rc 0
  local java=java s=$SEP
  [ "$QEL_KIND" = wine ] && java=javaw.exe
  local n_base n_jre n_core n_scratch
  n_base=$(native_path "$BASE")
  n_scratch=$(native_path "$SCRATCH_ROOT/QelInstall$TS")
  {
    printf '%s\n' "$n_base${s}jre${s}bin$s$java" \
      "-Dquelta.installer.library_loc=$n_base${s}core${s}lib${s}win32" \
      "-Dquelta.installer.qti_loc=$n_base${s}core" \
      "-Dquelta.installer.bootstrap=FALSE" \
      "-Dquelta.installer.startup_location=$n_base${s}dist" \
      "-Dquelta.installer.jre_loc=$(native_path "$(dirname "$BASE")/jre")" \
      "-Dquelta.installer.exec_location=$n_base${s}dist${s}setup$EXE" \
      "-Dquelta.installer.nlsEnabled=TRUE" \
      "-Dquelta.installer.prereqConfigLoc=" \
      "-cp" \
      "$(expected_class_path "$n_scratch" "$n_base${s}core${s}jlib" "$n_base${s}mendra${s}jlib" "$n_base${s}qti${s}jlib")" \
      "demo.Main" "-scratchPath" "$n_scratch" "-sourceType" "network" "-timestamp" "$TS" \
      "-rtimestamp" "$TS" "-SCRATCHPATH" "$(native_path "$SCRATCH_ROOT")"
  } >want
  fake_java_args "$BASE/jre/bin" >got
  diff want got >diff.txt || fail "installer arguments differ: $(cat diff.txt)"
  # Not bootstrapped: the launcher waited, so the scratch directory is gone.
  expect_absent "$SCRATCH_ROOT/QelInstall$TS"
  expect_out_has "Starting Trevanic Installer..."
}

test_mode_options_shape_the_command_line() {
  # 200 words in the 1023 characters a setting holds.
  local words="" i
  for i in $(seq 1 199); do words+="-v "; done
  words+="-Xend"
  setup_product "JRE_MEMORY_OPTIONS=$words" "COPY_THREADS=4" "SOURCE=http://media.example/x" \
    "THIN_JDBC_FILENAME=thin.jar"
  # The -J text runs to the end of the tail.
  SCRATCH_ROOT=$WORK/scratch
  run_setup "$BASE/dist" -SILENT -DEBUG -MEMORY -rtimestamp $TS -SCRATCHPATH "$(native_path "$SCRATCH_ROOT")" \
    -J-mx512m -J-Dx=y
  expect_rc 0
  fake_java_args "$BASE/jre/bin" >got
  local java=java
  [ "$QEL_KIND" = wine ] && java=java.exe
  expect_eq "$(head -1 got)" "$(native_path "$BASE/jre")${SEP}bin$SEP$java" "console Java under -DEBUG"
  grep -qx -- "-Dquelta.installer.copythreads=4" got || fail "copythreads property missing"
  # -J holds -mx: the memory options are left out; the -J text follows, converted.
  ! grep -qx -- "-Xend" got || fail "memory options despite -mx in -J"
  grep -A1 -x -- "-mx512m" got | tail -1 | grep -qx -- "-Dx=y" || fail "-J text not converted"
  grep -A1 -x -- "-Dx=y" got | tail -1 | grep -qx -- "-verbose:gc" || fail "-verbose:gc not after -J"
  grep -A1 -x -- "-sourceLoc" got | tail -1 | grep -qx -- "http://media.example/x" || fail "web source changed"
  grep -A1 -x -- "-cp" got | tail -1 | grep -q "thin.jar$" || fail "thin JDBC jar not last"
  expect_out_has "Library path: "

  # Without -mx in -J, all 200 memory words arrive in order.
  rm -f "$BASE/jre/bin/fakejava.log"
  launch -SILENT
  fake_java_args "$BASE/jre/bin" >got
  [ "$(grep -c -x -- '-v' got)" -eq 199 ] || fail "memory words: $(grep -c -x -- '-v' got)"
  grep -A1 -x -- "-Xend" got | tail -1 | grep -qx -- "-cp" || fail "memory options not before -cp"
}

test_exit_code_of_the_installer_is_passed_on() {
  setup_product
  local code
  for code in 7 -3 0; do
    printf '%s' "$code" >"$BASE/jre/bin/fakejava.exit"
    launch -SILENT
    expect_rc "$code"
  done
}

test_missing_java_executable() {
  setup_product
  rm -rf "$BASE/jre"
  printf '\n' >"$WORK/enter"
  STDIN=$WORK/enter launch -SILENT
  expect_rc -1
  expect_out_has "The Java runtime $(native_path "$BASE/jre")${SEP}bin${SEP}java$EXE was not found. The installer needs Java runtime version 1.3.1 or later."
  expect_out_has "Press Enter to exit..."
  expect_absent "$SCRATCH_ROOT/QelInstall$TS"
}

test_runtime_of_the_wrong_kind_is_refused() {
  local setting kind
  for setting in USEJREONLY USEJDKONLY; do
    setup_product "$setting=TRUE"
    kind="Java runtime (JRE)"
    if [ $setting = USEJDKONLY ]; then
      kind="Java development kit (JDK)"
      mkdir -p "$BASE/jre/lib" && : >"$BASE/jre/lib/rt.jar"
    fi
    launch -SILENT -jreLoc "$(native_path "$BASE/jre")"
    expect_rc -1
    expect_out_has "The location given is not a $kind home."
    [ ! -f "$BASE/jre/bin/fakejava.log" ] || fail "$setting: the installer was started"
  done
}

test_registry_without_write_access_stops_the_launch() {
  if [ "$QEL_KIND" = wine ]; then
    echo "    (skipped under Wine: its registry cannot refuse an administrator)"
    return
  fi
  setup_product
  # A store root that is a file cannot take the probe's key.
  : >"$WORK/registry"
  launch -SILENT
  expect_rc -1
  expect_out_has "You do not have write access to the registry"
  [ ! -f "$BASE/jre/bin/fakejava.log" ] || fail "the installer was started"
}

test_java_killed_by_a_signal() {
  if [ "$QEL_KIND" = wine ]; then
    echo "    (Linux only: Windows has no signals)"
    return
  fi
  setup_product
  printf '20000' >"$BASE/jre/bin/fakejava.sleep"
  (launch -SILENT; exit "$RC") &
  local launcher=$! pid="" i
  for i in $(seq 1 200); do
    pid=$(pgrep -f "^$BASE/jre/bin/java" | head -1)
    [ -n "$pid" ] && break
    sleep 0.05
  done
  [ -n "$pid" ] && kill -9 "$pid"
  wait $launcher
  RC=$?
  expect_rc 137
  expect_absent "$SCRATCH_ROOT/QelInstall$TS"
}

# A bootstrapped product without a known runtime: the user is asked.
setup_prompting_product() {
  setup_product "BOOTSTRAP=TRUE" "$@"
  sed -i '/^JRE_LOCATION=/d' "$BASE/dist/qelparam.ini"
}

test_prompt_loop_then_start_without_waiting() {
  setup_prompting_product
  printf '%s\n%s\n' "$(native_path "$WORK/nowhere")" "$(native_path "$BASE/jre")" >"$WORK/answers"
  printf '3000' >"$BASE/jre/bin/fakejava.sleep"
  STDIN=$WORK/answers launch
  # Bootstrapped and not asked to wait: the installer still runs.
  expect_rc 259
  expect_out_has "Enter the location of a Java runtime (JRE or JDK home): "
  expect_out_has "That is not a Java runtime location. Enter a valid JRE or JDK home: "
  expect_out_has "Preparing to launch the installer from $(native_path "$SCRATCH_ROOT/QelInstall$TS"). Please wait..."
  rm -f "$BASE/jre/bin/fakejava.sleep"
  local i
  for i in $(seq 1 100); do [ -f "$BASE/jre/bin/fakejava.log" ] && break; sleep 0.05; done
  fake_java_args "$BASE/jre/bin" >got
  grep -qx -- "-Dquelta.installer.extjre=true" got || fail "runtime from the prompt not marked external"
  grep -qx -- "-Dquelta.installer.bootstrap=TRUE" got || fail "bootstrap not announced"
  expect_exists "$SCRATCH_ROOT/QelInstall$TS/qti"
}

test_nobody_to_ask_for_a_runtime_ends_the_run() {
  setup_prompting_product
  # Standard input ends at the prompt.
  launch
  expect_rc -1
  expect_out_has "Enter the location of a Java runtime (JRE or JDK home): "
  expect_out_has "No Java runtime location is known."

  setup_prompting_product "DISABLE_JRE_PROMPT=TRUE"
  launch
  expect_rc -1
  expect_out_lacks "Enter the location"
  expect_file_has "$SCRATCH_ROOT/QelInstall$TS/installActions$TS.log" "No Java runtime location is known."

  setup_prompting_product
  launch -SILENT -NOCONSOLE
  expect_rc -1
  [ ! -f "$BASE/jre/bin/fakejava.log" ] || fail "the installer was started"
}

test_prompt_disabled_only_by_upper_case_true() {
  setup_prompting_product "DISABLE_JRE_PROMPT=true"
  launch
  expect_rc -1
  expect_out_has "Enter the location of a Java runtime (JRE or JDK home): "
}

test_bootstrap_size_out_of_range_runs_without_bootstrap() {
  setup_product "BOOTSTRAP=TRUE" "BOOTSTRAP_SIZE=2048"
  launch -SILENT
  expect_out_has "BOOTSTRAP_SIZE in qelparam.ini must be a number of megabytes from 0 to 2047."
  # The installer is not told of a bootstrap that did not happen, and the
  # launcher waits for it as for any run from the medium.
  expect_rc 0
  fake_java_args "$BASE/jre/bin" >got
  grep -qx -- "-Dquelta.installer.bootstrap=FALSE" got || fail "bootstrap claimed"
  expect_absent "$SCRATCH_ROOT/QelInstall$TS"
}

e2e_main "$@"

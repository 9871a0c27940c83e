#!/usr/bin/env bash
# The launcher's first phases as a user meets them: catalogue, options,
# console texts, parameter-file search, scratch directory and actions log.
source "$(dirname "$0")/lib.sh"

TS=2026-01-02_03-04-05PM

test_no_catalogue_ends_with_1() {
  mkdir -p dist
  cp "$QEL_BIN_DIR/setup$EXE" dist/
  run_setup "$WORK/dist" -SILENT
  expect_rc 1
  printf '\nERROR: Could not read any NLS message catalogue!\n' >want
  cmp -s want "$WORK/err" || fail "stderr: $(od -c "$WORK/err" | head -5)"
  [ ! -s "$WORK/out" ] || fail "stdout not empty"
}

test_missing_param_file_in_silent_mode() {
  make_dist dist
  printf 'x\n' >"$WORK/answer"
  STDIN=$WORK/answer run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -2
  expect_out_has "The parameter file qelparam.ini could not be found."
  expect_out_has "Starting Trevanic Installer..."
  expect_out_has "Press Enter to exit..."
  # The error comes first, the start message after the parameter file was sought.
  local order
  order=$(plain "$WORK/out" | grep -n -e 'could not be found' -e 'Starting Trevanic' | cut -d: -f1 | tr '\n' ' ')
  [ "${order%% *}" -lt "$(echo "$order" | awk '{print $2}')" ] || fail "message order: $order"
  local log="$WORK/scratch/QelInstall$TS/installActions$TS.log"
  expect_file_has "$log" "Parameter file not found at $(native_path "$WORK/dist")${SEP}qelparam.ini"
  expect_file_has "$log" "Parameter file not found at $(native_path "$WORK/dist")${SEP}..${SEP}qelparam.ini"
  expect_file_has "$log" "The parameter file qelparam.ini could not be found."
  [ "$(plain "$log" | grep -c 'Parameter file not found at')" -eq 4 ] || fail "four candidates expected"
}

test_user_language_and_base_language_log() {
  make_dist dist
  LC_ALL=de_DE.UTF-8 run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -2
  expect_out_has "Die Parameterdatei qelparam.ini wurde nicht gefunden."
  expect_out_has "Trevanic Installer wird gestartet..."
  expect_out_has "Zum Beenden die Eingabetaste drücken..."
  expect_file_has "$WORK/scratch/QelInstall$TS/installActions$TS.log" "The parameter file qelparam.ini could not be found."
}

test_scratch_directory_suffix_on_collision() {
  make_dist dist
  put_fake_java "$WORK/jre"
  write_param dist/qelparam.ini "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$WORK/jre")"
  mkdir -p "$WORK/scratch/QelInstall$TS"
  run_setup "$WORK/dist" -SILENT -HELP -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")" \
    -PREREQLOGLOC "$(native_path "$WORK/plogs")"
  expect_rc 0
  fake_java_args "$WORK/jre/bin" | grep -A1 -x -- -scratchPath | tail -1 >got
  expect_eq "$(cat got)" "$(native_path "$WORK/scratch/QelInstall${TS}_1")" "scratch directory"
  expect_file_has "$WORK/plogs/logs/installActions$TS.log" \
    "Using the parameter file $(native_path "$WORK/dist")${SEP}qelparam.ini"
  # The launcher waited for the installer, so it removed its own scratch
  # directory, and only that one.
  expect_absent "$WORK/scratch/QelInstall${TS}_1"
  expect_exists "$WORK/scratch/QelInstall$TS"
}

test_requested_param_file_missing_falls_back() {
  make_dist dist
  write_param dist/qelparam.ini "INSTALL_CLASS=demo.Main"
  run_setup "$WORK/dist" -SILENT -HELP -paramFile "$(native_path "$WORK/nowhere.ini")" \
    -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_out_has "The parameter file $(native_path "$WORK/nowhere.ini") was not found."
  expect_out_has "Using the parameter file $(native_path "$WORK/dist")${SEP}qelparam.ini instead."
}

test_actions_log_goes_to_inventory_logs_named_by_mode() {
  make_dist dist
  write_param dist/qelparam.ini "INSTALL_CLASS=demo.Main"
  mkdir -p "$WORK/inventory"
  reg_set_inventory "$WORK/inventory"
  run_setup "$WORK/dist" -HELP -DETACHHOME -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  reg_clear_inventory
  expect_exists "$WORK/inventory/logs/DetachHome$TS.log"
  expect_absent "$WORK/scratch/QelInstall$TS/DetachHome$TS.log"
}

test_mode_refused_on_distribution_medium() {
  make_dist dist
  write_param dist/qelparam.ini "DISTRIBUTION=TRUE"
  run_setup "$WORK/dist" -updateNodeList -x -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_out_has 'The command "'
  expect_out_has "-UPDATENODELIST -X -RTIMESTAMP $TS"
}

test_prereq_checker_needs_a_location() {
  make_dist dist
  write_param dist/qelparam.ini "INSTALL_CLASS=demo.Main"
  run_setup "$WORK/dist" -PREREQCHECKER -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_out_has "The prerequisite checker needs a prerequisite configuration location"
  # The assignment runs to the end of the tail, so it comes last.
  run_setup "$WORK/dist" -PREREQCHECKER -rtimestamp $TS "PREREQ_CONFIG_LOCATION=$(native_path "$WORK/none")"
  expect_rc -1
  expect_out_has "The prerequisite configuration location $(native_path "$WORK/none") does not exist."
}

test_no_console_and_no_standard_output() {
  make_dist dist
  # A Wine child started with standard output closed loses its connection to
  # the Wine server, so under Wine the run ends at the missing runtime.
  [ "$QEL_KIND" = wine ] || put_fake_java "$WORK/jre"
  write_param dist/qelparam.ini "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$WORK/jre")"
  if [ "$QEL_KIND" = wine ]; then
    (cd dist && wine setup.exe -NOCONSOLE -SILENT -HELP -SCRATCHPATH "$(native_path "$WORK/scratch")" >&- 2>"$WORK/err" </dev/null)
  else
    (cd dist && TEMP=$WORK/temp ./setup -NOCONSOLE -SILENT -HELP >&- 2>"$WORK/err" </dev/null)
  fi
  RC=$?
  if [ "$QEL_KIND" = wine ]; then
    expect_rc -1
  else
    expect_rc 0
    expect_exists "$WORK/jre/bin/fakejava.log"
  fi
  [ ! -s "$WORK/err" ] || fail "stderr: $(head -c 300 "$WORK/err")"
}

test_long_command_line_is_safe() {
  make_dist dist
  local long
  long=$(head -c 9000 /dev/zero | tr '\0' 'a')
  run_setup "$WORK/dist" -SILENT "-paramFile" "$long" "BOOTSTRAP_LOC=$long" "-J-D$long" -rtimestamp $TS \
    -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -2
  expect_out_has "could not be found"
}

e2e_main "$@"

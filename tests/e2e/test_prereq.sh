#!/bin/bash
# End-to-end tests of the prerequisite checks: the passes, the prompts and
# their answers, the flags, and the actions log they leave.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The version the launcher under test reports, spelled as a certified list
# spells it, and the family that names the version sections.
running_version() {
  if [ "$QEL_KIND" = wine ]; then
    echo 6.1
  else
    uname -r | sed -E 's/^([0-9]+)\.([0-9]+).*/\1.\2/'
  fi
}
family() { if [ "$QEL_KIND" = wine ]; then echo Windows; else echo Linux; fi; }

EXIT_TEXT="The installer is exiting. The log of this run is "
PROMPT="Continue? (y/n) [n]: "
FAILING_GENERIC=("[Generic Prereqs]" "CPU=999999")

# dist LINE...: a distribution whose parameter file holds the lines.
dist() {
  make_dist "$WORK/dist"
  write_param "$WORK/dist/qelparam.ini" "$@"
}
# answers TEXT: standard input for the next run (printf format).
answers() {
  printf "$1" >"$WORK/answers"
  STDIN=$WORK/answers
}
# The actions log that the exit message names, as a path of this machine.
exit_log() {
  local path
  path=$(plain "$WORK/out" | sed -n "s/.*${EXIT_TEXT}//p" | head -1)
  [ -n "$path" ] || return
  if [ "$QEL_KIND" = wine ]; then winepath -u "$path" 2>/dev/null; else printf '%s' "$path"; fi
}
count_out() { plain "$WORK/out" | grep -cF -- "$1"; }
expect_stopped() {
  expect_rc -1
  expect_out_has "$EXIT_TEXT"
  local log
  log=$(exit_log)
  expect_file_has "$log" "$EXIT_TEXT"
}
expect_went_on() { expect_out_lacks "$EXIT_TEXT"; }

test_failing_check_answered_yes() {
  dist "${FAILING_GENERIC[@]}"
  answers 'y\n'
  run_setup "$WORK/dist"
  expect_out_has "Checking the processor speed: must be at least 999999 MHz"
  expect_out_has "Some required prerequisite checks failed."
  expect_out_has "$PROMPT"
  expect_out_has "Ignoring the failed required prerequisite checks."
  expect_went_on
}

test_failing_check_answered_no() {
  dist "${FAILING_GENERIC[@]}"
  answers 'n\n'
  run_setup "$WORK/dist"
  expect_stopped
  local log
  log=$(exit_log)
  expect_file_has "$log" "Checking the processor speed: must be at least 999999 MHz"
  expect_file_has "$log" "Failed <<<<"
  expect_file_has "$log" "$PROMPT"
}

test_failing_check_empty_answer_stops() {
  dist "${FAILING_GENERIC[@]}"
  answers '\n'
  run_setup "$WORK/dist"
  expect_stopped
}

test_failing_check_asks_again_after_other_answer() {
  dist "${FAILING_GENERIC[@]}"
  answers 'x\ny\n'
  run_setup "$WORK/dist"
  expect_eq "$(count_out "$PROMPT")" 2 "prompts"
  expect_went_on
}

test_failing_check_end_of_input_answers_no() {
  dist "${FAILING_GENERIC[@]}"
  STDIN=/dev/null
  run_setup "$WORK/dist"
  expect_stopped
  expect_eq "$(count_out "$PROMPT")" 1 "prompts"
}

test_silent_stops_without_prompt() {
  dist "${FAILING_GENERIC[@]}"
  answers 'y\n'
  run_setup "$WORK/dist" -SILENT
  expect_stopped
  expect_out_lacks "$PROMPT"
}

test_ignore_goes_on() {
  dist "${FAILING_GENERIC[@]}"
  run_setup "$WORK/dist" -IGNORESYSPREREQS
  expect_out_has "Ignoring the failed required prerequisite checks."
  expect_out_lacks "$PROMPT"
  expect_went_on
}

test_execute_stops_after_generic_pass() {
  dist "PLATFORM_PREREQS=TRUE" "[Generic Prereqs]" "CPU=1" "[Certified Versions]" "$(family)=$(running_version)"
  run_setup "$WORK/dist" -EXECUTESYSPREREQS
  expect_stopped
  expect_out_has "Passed"
  expect_out_lacks "Checking the required prerequisites"
}

test_certified_version_runs_required_section() {
  local version
  version=$(running_version)
  dist "PLATFORM_PREREQS=TRUE" "[Certified Versions]" "$(family)=1.0,$version" \
    "[$(family)-$version-required]" "CPU=1" "[$(family)-$version-optional]" "CPU=999999"
  answers 'y\n'
  run_setup "$WORK/dist"
  expect_out_has "Checking the operating system version: must be 1.0 or $version.    Actual $version"
  expect_out_has "at least 1 MHz"
  expect_out_has "All required prerequisites passed."
  expect_out_has "Some optional prerequisite checks failed."
  expect_went_on
}

test_platform_prereqs_off_skips_version_check() {
  dist "PLATFORM_PREREQS=true" "[Certified Versions]" "$(family)=1.0"
  run_setup "$WORK/dist"
  expect_out_lacks "Checking the required prerequisites"
  expect_went_on
}

test_uncertified_version_with_warn_asks() {
  dist "PLATFORM_PREREQS=TRUE" "[Certified Versions]" "$(family)=1.0" "CERTIFIED_VERSION_WARN=TRUE" \
    "CERTIFIED_VERSION_LOCATION=the release notes"
  answers 'maybe\ny\n'
  run_setup "$WORK/dist"
  expect_out_has "The version of this operating system is not certified.Check 'the release notes' for a list of certified versions."
  expect_eq "$(count_out "Do you want to continue? (y/n) [n]: ")" 2 "prompts"
  expect_out_has "Continuing with the install..."
  expect_went_on

  answers 'n\n'
  run_setup "$WORK/dist"
  expect_out_has "Quitting the install..."
  expect_stopped
  expect_file_has "$(exit_log)" "Quitting the install..."
}

test_uncertified_version_without_warn_stops() {
  dist "PLATFORM_PREREQS=TRUE" "[Certified Versions]" "$(family)=1.0" "CERTIFIED_VERSION_WARN=true"
  answers 'y\n'
  run_setup "$WORK/dist"
  expect_stopped
  expect_out_lacks "Do you want to continue?"
}

e2e_main "$@"

#!/usr/bin/env bash
# The component bootstrap from a distribution medium: jar archives in a staged
# component area are expanded into the scratch directory with the unzip
# program beside the launcher, and the installer (fake Java) is started from
# there.
source "$(dirname "$0")/lib.sh"

TS=2026-05-06_07-08-09PM
VERSIONS="4.2.0.1.0 10.0.0.0.0 9.9.9.9.9"
JAVA_NAMES=java
[ "$QEL_KIND" = wine ] && JAVA_NAMES="java.exe javaw.exe"

# data_dir COMPONENT VERSION: the component's staged data directory.
data_dir() { printf '%s' "$WORK/medium/stage/Components/$1/$2/1/DataFiles"; }

# runtime_jar VERSION EXTRA...: the runtime archive: jre/1.8.0 with the fake
# Java (and EXTRA entries).
runtime_jar() {
  local version=$1 entries=() name
  shift
  for name in $JAVA_NAMES; do entries+=("jre/1.8.0/bin/$name=@$QEL_BIN_DIR/fakejava$EXE"); done
  mkjar "$(data_dir quelta.swd.jre "$version")/jre.jar" "${entries[@]}" \
    "jre/1.8.0/version-$version=$version" "$@"
}

# A medium: launcher in medium/install, every step's component staged in
# three versions (10.0.0.0.0 the highest only when compared numerically), an
# extra component and a directory of extra jars. $1...: extra parameter lines.
make_medium() {
  make_dist medium/install
  local v
  for v in $VERSIONS; do
    mkjar "$(data_dir quelta.swd.qti "$v")/qti.jar" "qti/jlib/installer.jar=i" "qti/version-$v=$v"
    mkjar "$(data_dir quelta.swd.qti.core "$v")/core.jar" "qti/jlib/core.jar=c" "qti/lib/win32/native.dll=n"
    mkjar "$(data_dir quelta.swd.mendra "$v")/mendra.jar" "Mendra/jlib/patch.jar=p" "Mendra/version-$v=$v"
    runtime_jar "$v" "jre/1.8.0/bin/fakejava.sleep=5000"
  done
  mkdir -p "$(data_dir quelta.swd.qti 10.0.0.0.0)/Expanded/qti"
  echo e >"$(data_dir quelta.swd.qti 10.0.0.0.0)/Expanded/qti/expanded-tree"
  mkjar "$(data_dir extras 1.0)/extras.jar" "extras/readme=x"
  mkdir -p extjlib
  echo j >extjlib/extra-lib.jar
  write_param medium/install/qelparam.ini "DISTRIBUTION=TRUE" "BOOTSTRAP=TRUE" \
    "INSTALL_CLASS=demo.Main" "JRE_VERSION=1.8.0" \
    "JRE_LOCATION=$(native_path "$WORK/no-such-runtime")" \
    "EXT_JLIB=$(native_path "$WORK/extjlib")" "$@"
}

S_DIR=  # the scratch directory of the run
run_medium() {
  S_DIR=$WORK/scratch/QelInstall$TS
  run_setup "$WORK/medium/install" -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")" "$@"
}
S() { native_path "$S_DIR${1:+/$1}"; }
LOG() { printf '%s' "$S_DIR/installActions$TS.log"; }

# java_args: the recorded argv of the fake Java of the scratch runtime, once
# it has written it; ends its wait.
java_args() {
  local log=$S_DIR/jre/1.8.0/bin/fakejava.log i
  for i in $(seq 1 100); do
    grep -q '^end' "$log" 2>/dev/null && break
    sleep 0.1
  done
  rm -f "$S_DIR/jre/1.8.0/bin/fakejava.sleep"
  [ -f "$log" ] || { fail "the installer was not started"; return; }
  plain "$log" | sed -n 's/^arg=//p' >"$WORK/java_args"
}
expect_arg() { grep -qxF -- "$1" "$WORK/java_args" || fail "java argument missing: $1"; }
expect_arg_has() { grep -qF -- "$1" "$WORK/java_args" || fail "no java argument holds: $1"; }

test_every_step_takes_the_highest_version_and_the_installer_runs_from_scratch() {
  make_medium
  run_medium -PRINTTIME
  expect_rc 259  # the launcher does not wait: the scratch directory stays
  java_args
  expect_exists "$S_DIR/qti/version-10.0.0.0.0"
  expect_absent "$S_DIR/qti/version-9.9.9.9.9"
  expect_exists "$S_DIR/Mendra/version-10.0.0.0.0"
  expect_exists "$S_DIR/jre/1.8.0/version-10.0.0.0.0"
  expect_exists "$S_DIR/qti/expanded-tree"
  expect_exists "$S_DIR/ext/jlib/extra-lib.jar"
  expect_absent "$S_DIR/extras"  # not listed
  expect_arg "-Dquelta.installer.jre_loc=$(S jre${SEP}1.8.0)"
  expect_arg "-Dquelta.installer.library_loc=$(S qti${SEP}lib${SEP}win32)"
  expect_arg "-Dquelta.installer.qti_loc=$(S qti)"
  expect_arg "-Dquelta.installer.bootstrap=TRUE"
  expect_arg_has "$(S ext${SEP}jlib${SEP}extra-lib.jar)"
  expect_arg_has "$(S Mendra${SEP}jlib)"
  expect_arg_has "$(S qti${SEP}jlib)"
  local launcher_dir unzip
  launcher_dir=$(native_path "$WORK/medium/install")
  for c in quelta.swd.jre quelta.swd.qti quelta.swd.qti.core quelta.swd.mendra; do
    unzip="$launcher_dir${SEP}unzip -qqqo ..${SEP}stage${SEP}Components${SEP}$c${SEP}10.0.0.0.0${SEP}1${SEP}DataFiles/\"*.jar\" -d \"$(S)\" "
    expect_file_has "$(LOG)" "$unzip"
  done
  expect_file_has "$(LOG)" "Expanding archives with the command line:"
  # jre: the Java programs, the version marker and the fake Java's sleep file.
  local jre_files=$(($(echo $JAVA_NAMES | wc -w) + 2))
  expect_file_has "$(LOG)" "Number of files bootstrapped in jre: $jre_files"
  expect_file_has "$(LOG)" "Number of files bootstrapped in qti: 5"
  expect_file_has "$S_DIR/launcherTiming$TS.log" "Time taken for bootstrapping quelta.swd.mendra is "
}

test_listed_components_with_a_version_and_an_extra() {
  make_medium "BOOTSTRAP_COMPS=quelta.swd.qti:4.2.0.1.0,quelta.swd.jre,extras"
  run_medium
  expect_rc 259
  java_args
  expect_exists "$S_DIR/qti/version-4.2.0.1.0"
  expect_absent "$S_DIR/qti/version-10.0.0.0.0"
  expect_exists "$S_DIR/extras/readme"
  expect_absent "$S_DIR/Mendra"  # not listed: no step of its own
  expect_absent "$S_DIR/qti/jlib/core.jar"
  expect_file_has "$(LOG)" "extras${SEP}1.0${SEP}1${SEP}DataFiles/\"*.jar\""
  expect_arg "-Dquelta.installer.jre_loc=$(S jre${SEP}1.8.0)"
}

test_nobootstrap_moves_locations_without_expanding() {
  make_medium
  mkdir -p myjre/bin
  for name in $JAVA_NAMES; do cp "$QEL_BIN_DIR/fakejava$EXE" "myjre/bin/$name"; done
  echo 5000 >myjre/bin/fakejava.sleep
  run_medium -NOBOOTSTRAP -jreLoc "$(native_path "$WORK/myjre")"
  expect_rc 259
  local i
  for i in $(seq 1 100); do
    grep -q '^end' myjre/bin/fakejava.log 2>/dev/null && break
    sleep 0.1
  done
  rm -f myjre/bin/fakejava.sleep
  [ -f myjre/bin/fakejava.log ] || { fail "the installer was not started"; return; }
  plain myjre/bin/fakejava.log | sed -n 's/^arg=//p' >"$WORK/java_args"
  expect_arg "-Dquelta.installer.qti_loc=$(S qti)"
  expect_arg "-Dquelta.installer.library_loc=$(S qti${SEP}lib${SEP}win32)"
  expect_arg "-Dquelta.installer.jre_loc=$(native_path "$WORK/myjre")"
  expect_exists "$S_DIR/qti/expanded-tree"  # the Expanded trees are still copied
  expect_absent "$S_DIR/qti/jlib"
  expect_absent "$S_DIR/ext"
  ! grep -q "Expanding archives" "$(LOG)" || fail "archives expanded"
}

test_corrupt_archive_fails_the_run() {
  make_medium
  echo "no zip at all" >"$(data_dir quelta.swd.mendra 10.0.0.0.0)/mendra.jar"
  run_medium
  expect_rc -1
  expect_exists "$S_DIR"
  expect_file_has "$(LOG)" "quelta.swd.mendra${SEP}10.0.0.0.0"
  expect_absent "$S_DIR/jre/1.8.0/bin/fakejava.log"
}

test_ship_home_elsewhere_on_the_medium() {
  # Started from a ship home beside the install directory: the named steps
  # run from the launcher's directory with its unzip program, and the
  # installer is told the ship home as its startup location.
  make_medium
  mkdir -p medium/ship
  S_DIR=$WORK/scratch/QelInstall$TS
  run_in "$WORK/medium/ship" "$WORK/medium/install/setup" -SILENT -rtimestamp $TS \
    -SCRATCHPATH "$(native_path "$WORK/scratch")" -shipHomeLoc "$(native_path "$WORK/medium/ship")"
  expect_rc 259
  java_args
  expect_arg "-Dquelta.installer.startup_location=$(native_path "$WORK/medium/ship")"
  expect_arg "-Dquelta.installer.qti_loc=$(S qti)"
  ! grep -q -- "-shipHomeLoc" "$WORK/java_args" || fail "-shipHomeLoc passed on"
  expect_file_has "$(LOG)" "$(native_path "$WORK/medium/install")${SEP}unzip -qqqo ..${SEP}stage${SEP}Components${SEP}quelta.swd.mendra${SEP}10.0.0.0.0"
}

test_unzip_program_missing_or_dying_fails_the_run() {
  make_medium
  rm "$WORK/medium/install/unzip$EXE"
  run_medium -SILENT
  expect_rc -1
  expect_out_has "Could not copy the installer files to"
  expect_file_has "$(LOG)" "unzip -qqqo"
  expect_absent "$S_DIR/jre/1.8.0/bin/fakejava.log"

  # An unzip program that dies: killed by a signal on Linux, an access
  # violation's status on Windows.
  rm -rf "$S_DIR"
  if [ "$QEL_KIND" = wine ]; then
    cp "$QEL_BIN_DIR/fakejava.exe" "$WORK/medium/install/unzip.exe"
    echo -1073741819 >"$WORK/medium/install/fakejava.exit"
  else
    printf '#!/bin/sh\nkill -9 $$\n' >"$WORK/medium/install/unzip"
    chmod +x "$WORK/medium/install/unzip"
  fi
  run_medium -SILENT
  expect_rc -1
  expect_out_has "Could not copy the installer files to"
  expect_absent "$S_DIR/jre/1.8.0/bin/fakejava.log"
}

test_archive_entry_escaping_the_scratch_directory_is_refused() {
  # The runtime is bootstrapped first, so the run can only fail because the
  # unzip program refused the archive (its status 1), not for want of Java.
  make_medium "BOOTSTRAP_COMPS=quelta.swd.jre,evil"
  mkjar "$(data_dir evil 1.0)/evil.jar" "fine=f" "../../evil=x" "../evil=x"
  run_medium -SILENT
  expect_rc -1
  expect_out_has "Could not copy the installer files to"
  expect_out_lacks "not found"
  expect_file_has "$(LOG)" "evil${SEP}1.0${SEP}1${SEP}DataFiles"
  expect_out_lacks "Java"
  expect_absent "$WORK/evil"
  expect_absent "$WORK/scratch/evil"
  expect_absent "$S_DIR/jre/1.8.0/bin/fakejava.log"  # nothing started
}

test_bootstrap_only_fills_the_named_directory() {
  make_medium
  local target
  target=$(native_path "$WORK/target")
  run_in "$WORK/medium/install" "$WORK/medium/install/setup" -rtimestamp $TS -BOOTSTRAPONLY "BOOTSTRAP_LOC=$target"
  expect_rc 0
  expect_out_has "BootStrap To $target Completed"
  expect_exists "$WORK/target/qti/version-10.0.0.0.0"
  expect_exists "$WORK/target/Mendra/jlib/patch.jar"
  expect_absent "$WORK/target/jre/1.8.0/bin/fakejava.log"  # nothing started
}

# -BOOTSTRAPONLY must fill a directory of its own or say that it did not: a
# script relaunches with -rscratchPath on success.
test_bootstrap_only_refuses_a_missing_or_relative_location_and_a_bootstrap_that_is_off() {
  make_medium
  (cd "$WORK/medium/install" && find . | sort >"$WORK/before")
  run_in "$WORK/medium/install" "$WORK/medium/install/setup" -rtimestamp $TS -BOOTSTRAPONLY
  expect_rc -1
  expect_out_has "Not Done: BOOTSTRAP_LOC must name an absolute directory"
  expect_out_lacks "Completed"
  run_in "$WORK/medium/install" "$WORK/medium/install/setup" -rtimestamp $TS -BOOTSTRAPONLY "BOOTSTRAP_LOC=target"
  expect_rc -1
  (cd "$WORK/medium/install" && find . | sort >"$WORK/after")
  cmp -s "$WORK/before" "$WORK/after" || fail "the medium changed: $(diff "$WORK/before" "$WORK/after" | head -5)"
  # A "-J" inside the path would cut it to a directory nobody named.
  run_in "$WORK/medium/install" "$WORK/medium/install/setup" -rtimestamp $TS -BOOTSTRAPONLY \
    "BOOTSTRAP_LOC=$(native_path "$WORK/my-Jdir")"
  expect_rc -1
  expect_out_has "Not Done: BOOTSTRAP_LOC was cut"
  expect_eq "$(ls -d "$WORK"/my* 2>/dev/null)" "" "directories made for the cut location"

  local target
  target=$(native_path "$WORK/target")
  printf 'BOOTSTRAP_SIZE=4000\n' >>"$WORK/medium/install/qelparam.ini"  # out of range: no bootstrap
  run_in "$WORK/medium/install" "$WORK/medium/install/setup" -rtimestamp $TS -BOOTSTRAPONLY "BOOTSTRAP_LOC=$target"
  expect_rc -1
  expect_out_has "BootStrap To $target Not Done: the bootstrap is off"
  expect_absent "$WORK/target/qti"
}

test_waiting_launcher_removes_the_scratch_directory() {
  make_medium "WAIT_FOR_COMPLETION=TRUE"
  runtime_jar 10.0.0.0.0 "jre/1.8.0/bin/fakejava.exit=7"
  run_medium
  expect_rc 7
  expect_absent "$S_DIR"
}

test_a_medium_below_a_path_with_a_blank_runs_only_its_own_unzip() {
  # Unquoted, the program path would be cut at the blank and a program
  # planted there would run with the launcher's rights.
  make_medium
  mkdir -p "$WORK/My Setup"
  mv "$WORK/medium" "$WORK/My Setup/medium"
  if [ "$QEL_KIND" = wine ]; then
    cp "$QEL_BIN_DIR/fakejava.exe" "$WORK/My.exe"  # it would write $WORK/fakejava.log
  else
    printf '#!/bin/sh\ntouch "%s/planted"\n' "$WORK" >"$WORK/My"
    chmod +x "$WORK/My"
  fi
  S_DIR=$WORK/scratch/QelInstall$TS
  run_setup "$WORK/My Setup/medium/install" -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc 259
  java_args
  expect_absent "$WORK/planted"
  expect_absent "$WORK/fakejava.log"
  expect_exists "$S_DIR/qti/version-10.0.0.0.0"
  expect_file_has "$(LOG)" "\"$(native_path "$WORK/My Setup/medium/install")${SEP}unzip\" -qqqo .."
}

test_the_default_locations_of_a_medium_with_a_version() {
  # Without component locations a medium's defaults are built from
  # QTI_VERSION and end with a separator, to which the unzip pattern is
  # joined with "/": the unzip program must take that form.
  make_medium "QTI_VERSION=9.9.9.9.9"
  run_medium
  expect_rc 259
  java_args
  expect_exists "$S_DIR/qti/version-9.9.9.9.9"
  expect_exists "$S_DIR/Mendra/version-9.9.9.9.9"
  expect_file_has "$(LOG)" "quelta.swd.qti${SEP}9.9.9.9.9${SEP}1${SEP}DataFiles${SEP}/\"*.jar\""
  expect_arg "-Dquelta.installer.qti_loc=$(S qti)"
}

test_info_zip_unzip_serves_as_well() {
  [ "$QEL_KIND" = linux ] || return 0
  local system_unzip
  system_unzip=$(command -v unzip) || { echo "    (no Info-ZIP unzip installed: skipped)"; return 0; }
  make_medium "BOOTSTRAP_COMPS=quelta.swd.qti,quelta.swd.jre,extras"
  cp "$system_unzip" medium/install/unzip
  run_medium
  expect_rc 259
  java_args
  expect_exists "$S_DIR/qti/version-10.0.0.0.0"
  expect_exists "$S_DIR/extras/readme"
  expect_arg "-Dquelta.installer.jre_loc=$(S jre${SEP}1.8.0)"
}

e2e_main "$@"

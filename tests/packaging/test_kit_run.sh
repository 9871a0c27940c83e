#!/usr/bin/env bash
# A distribution medium made from an unpacked kit: the kit's install/
# directory with its own qelparam.ini edited as a product team would, and a
# staged component area beside it. The launcher bootstraps the components
# with the kit's unzip program and starts the (fake) installer.
#
# Set by CTest besides lib.sh's variables:
#   QEL_KIT_PACKAGES  the folder scripts/package.sh wrote
#   QEL_KIT_FORMAT    zip (Windows kit, under Wine), tar or deb (Linux kit)
#   QEL_KIT_WINDOWS   win32 (default) or win64: which Windows kit the zip is
# QEL_BIN_DIR names the build whose fake Java program is staged as the runtime.
source "$(dirname "$0")/../e2e/lib.sh"
: "${QEL_KIT_PACKAGES:?QEL_KIT_PACKAGES must name the packages folder}"
: "${QEL_KIT_FORMAT:?QEL_KIT_FORMAT must be zip, tar or deb}"

TS=2026-01-02_03-04-05AM
JAVA_NAMES=java
[ "$QEL_KIND" = wine ] && JAVA_NAMES="java.exe javaw.exe"

# package PATTERN: the one package of the folder that matches.
package() {
  local found=("$QEL_KIT_PACKAGES"/$1)
  [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || { echo "no single package $1" >&2; return 1; }
  printf '%s' "${found[0]}"
}

# unpack_kit: the kit unpacked as its users unpack it; sets MEDIUM, the
# directory that holds install/.
MEDIUM=
unpack_kit() {
  case $QEL_KIT_FORMAT in
    zip) MEDIUM=$WORK/medium; python3 -m zipfile -e "$(package "*-${QEL_KIT_WINDOWS:-win32}.zip")" "$MEDIUM" ;;
    tar) MEDIUM=$WORK/medium; mkdir -p "$MEDIUM"; tar xzf "$(package '*-linux-*.tar.gz')" -C "$MEDIUM" ;;
    deb) dpkg-deb -x "$(package '*.deb')" "$WORK/root"; MEDIUM=$WORK/root/opt/qelsetup ;;
  esac
  [ -f "$MEDIUM/install/qelparam.ini" ] || fail "no install/qelparam.ini in the unpacked kit"
}

data_dir() { printf '%s' "$MEDIUM/stage/Components/$1/$2/1/DataFiles"; }

# stage: the installer, its core, the patch tool and a runtime whose Java
# program ends with 42; an older runtime beside it.
stage() {
  mkjar "$(data_dir quelta.swd.qti 1.0.0.0.0)/qti.jar" "qti/jlib/installer.jar=i"
  mkjar "$(data_dir quelta.swd.qti.core 1.0.0.0.0)/core.jar" "qti/jlib/QelInstaller.jar=c"
  mkjar "$(data_dir quelta.swd.mendra 1.0.0.0.0)/mendra.jar" "Mendra/jlib/mendra.jar=p"
  local entries=() name
  for name in $JAVA_NAMES; do entries+=("jre/2.0/bin/$name=@$QEL_BIN_DIR/fakejava$EXE"); done
  mkjar "$(data_dir quelta.swd.jre 2.0.0.0.0)/jre.jar" "${entries[@]}" "jre/2.0/bin/fakejava.exit=42"
  mkjar "$(data_dir quelta.swd.jre 1.0.0.0.0)/jre.jar" "jre/1.0/bin/old=o"
}

# set_key KEY VALUE: the sample's line of KEY, commented or set, becomes
# KEY=VALUE, its line end kept.
set_key() {
  python3 - "$MEDIUM/install/qelparam.ini" "$1" "$2" <<'PY' || fail "the kit's qelparam.ini has no line ;$1="
import re, sys
path, key, value = sys.argv[1:]
text = open(path, "rb").read().decode()
text, n = re.subn(r"(?m)^;?" + key + r"=[^\r\n]*", lambda m: key + "=" + value, text)
open(path, "wb").write(text.encode())
sys.exit(n != 1)
PY
}

# A medium that a product team makes from the kit, as its README says.
make_medium() {
  unpack_kit
  stage
  set_key DISTRIBUTION TRUE
  set_key JRE_LOCATION "..${SEP}stage${SEP}Components${SEP}quelta.swd.jre${SEP}2.0.0.0.0${SEP}1${SEP}DataFiles"
  set_key WAIT_FOR_COMPLETION TRUE
}

# run_kit: the launcher of the medium in debug mode (its actions log lists
# the installer's command line), the log in $WORK/logs.
LOG=
run_kit() {
  LOG=$WORK/logs/installActions$TS.log
  run_setup "$MEDIUM/install" -SILENT -DEBUG -rtimestamp $TS \
    -SCRATCHPATH "$(native_path "$WORK/scratch")" -PREREQLOGLOC "$(native_path "$WORK")"
}

test_a_medium_made_from_the_kit_installs() {
  make_medium
  run_kit
  expect_rc 42  # the staged runtime's Java program ran, and the launcher waited for it
  local scratch
  scratch=$(native_path "$WORK/scratch/QelInstall$TS")
  expect_absent "$WORK/scratch/QelInstall$TS"
  expect_file_has "$LOG" "$(native_path "$MEDIUM/install")${SEP}unzip -o ..${SEP}stage${SEP}Components${SEP}quelta.swd.jre${SEP}2.0.0.0.0${SEP}1${SEP}DataFiles/\"*.jar\" -d \"$scratch\""
  expect_file_has "$LOG" "${SEP}unzip -o ..${SEP}stage${SEP}Components${SEP}quelta.swd.mendra${SEP}1.0.0.0.0${SEP}1${SEP}DataFiles/"
  expect_file_has "$LOG" "Number of files bootstrapped in jre: $(($(echo $JAVA_NAMES | wc -w) + 1))"
  expect_file_has "$LOG" "Number of files bootstrapped in qti: 2"
  expect_file_has "$LOG" "\"$scratch${SEP}jre${SEP}2.0${SEP}bin${SEP}java$EXE\""
  expect_file_has "$LOG" "-Dquelta.installer.bootstrap=TRUE"
  expect_file_has "$LOG" "quelta.admkit.qsi.qsic.QsicInstaller"
}

test_the_sample_parameter_file_states_the_launchers_defaults() {
  # Every key uncommented, with the value the sample gives as its default,
  # must leave the run exactly as it was with the key left out.
  make_medium
  run_kit
  local first_rc=$RC
  [ -f "$LOG" ] || { fail "no actions log"; return; }
  mv "$WORK/logs" "$WORK/logs-commented"
  local keys
  keys=$(grep -c '^;[A-Z_]*=' "$MEDIUM/install/qelparam.ini")
  [ "$keys" -ge 25 ] || fail "only $keys commented keys in the sample"
  sed -i 's/^;\([A-Z_]*=\)/\1/' "$MEDIUM/install/qelparam.ini"
  run_kit
  expect_eq "$RC" "$first_rc" "exit status with every default spelt out"
  if ! diff -u "$WORK/logs-commented/installActions$TS.log" "$LOG" >"$WORK/diff"; then
    fail "the run changed when the sample's defaults were set:"
    sed 's/^/      /' "$WORK/diff" >&2
  fi
}

test_the_kits_checker_names_what_the_kit_lacks_and_finds_a_medium_made_from_it_clean() {
  unpack_kit
  run_in "$MEDIUM/install" "$MEDIUM/install/qelcheck"
  expect_rc 2  # the sample is a medium's file: the stage is still to fill
  expect_out_has "..${SEP}stage${SEP}Components: error: "
  expect_out_has "error: JRE_LOCATION: "
  make_medium
  run_in "$MEDIUM/install" "$MEDIUM/install/qelcheck"
  expect_rc 0
  expect_eq "$(cat "$WORK/out" "$WORK/err")" "" "the checker's lines on the medium"
  set_key BOOTSTRAP_SIZE 4096
  run_in "$MEDIUM/install" "$MEDIUM/install/qelcheck" --quiet
  expect_rc 2
  expect_out_has ": error: BOOTSTRAP_SIZE=4096 is outside 0 to 2047: the launcher runs without the bootstrap"
}

e2e_main "$@"

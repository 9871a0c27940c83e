#!/usr/bin/env bash
# Paths in any language: a TEMP, a medium, a runtime given on the command
# line or typed at the prompt, and archive entries whose names hold letters
# of several scripts reach the installer exactly and are logged in UTF-8.
# Media written in Windows-1252 still work. Under Wine also: the process code
# page, message boxes and the 64-bit registry view.
source "$(dirname "$0")/lib.sh"

TS=2026-07-08_09-10-11AM
# Letters no single ANSI code page holds, with blanks.
NAME="Łukasz 中文 Ελληνικά"
# The same kind of path for a Windows-1252 medium: letters that code page has.
LEGACY="Jürgen Ärger café"

# The Java program of a run with and without -SILENT.
JAVA=java JAVA_SILENT=java CPSEP=:
[ "$QEL_KIND" = wine ] && JAVA=javaw.exe JAVA_SILENT=java.exe CPSEP=";"

# arg_after WHAT FILE: the argument that follows WHAT in an argument list.
arg_after() { grep -A1 -x -- "$1" "$2" | sed -n 2p; }

# installer_args BINDIR: the last recorded argv of the fake Java in BINDIR
# into $WORK/args, once it has written it.
installer_args() {
  local i
  for i in $(seq 1 100); do
    grep -q '^end' "$1/fakejava.log" 2>/dev/null && break
    sleep 0.1
  done
  rm -f "$1/fakejava.sleep"
  fake_java_args "$1" >"$WORK/args"
}

test_a_temp_in_any_language_holds_the_scratch_directory() {
  local base="$WORK/$NAME" temp="$WORK/$NAME/temp" scratch
  make_product "$base/prod"
  mkdir -p "$temp"
  # The actions log outlives the scratch directory in the inventory.
  reg_set_inventory "$base/inventory"
  printf 7 >"$base/prod/jre/bin/fakejava.exit"
  RUN_TEMP=$temp run_setup "$base/prod/dist" -SILENT -rtimestamp $TS
  reg_clear_inventory
  expect_rc 7
  scratch=$(native_path "$temp/QelInstall$TS")
  installer_args "$base/prod/jre/bin"
  expect_eq "$(arg_after -scratchPath "$WORK/args")" "$scratch" "scratch path"
  grep -A1 -x -- -cp "$WORK/args" | tail -1 | grep -qF "$scratch$CPSEP" || fail "class path: scratch directory"
  expect_absent "$temp/QelInstall$TS"  # made, and removed after the installer
  expect_file_has "$base/inventory/logs/installActions$TS.log" \
    "Using the parameter file $(native_path "$base/prod/dist/qelparam.ini")"
}

test_a_medium_in_any_language_gives_the_installer_its_paths() {
  local base="$WORK/$NAME"
  make_product "$base"
  run_setup "$base/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc 0
  installer_args "$base/jre/bin"
  local n
  n=$(native_path "$base")
  expect_eq "$(head -1 "$WORK/args")" "$n${SEP}jre${SEP}bin$SEP$JAVA_SILENT" "Java program"
  grep -qxF -- "-Dquelta.installer.exec_location=$n${SEP}dist${SEP}setup$EXE" "$WORK/args" ||
    fail "launcher location not passed exactly"
  grep -qxF -- "-Dquelta.installer.startup_location=$n${SEP}dist" "$WORK/args" || fail "startup location"
  grep -qF -- "$n${SEP}core${SEP}jlib${SEP}QelInstaller.jar" "$WORK/args" || fail "class path"
  if [ "$QEL_KIND" = wine ]; then
    # What a Unicode program reads of the command line, not only its split.
    plain "$base/jre/bin/fakejava.log" | grep -qF "cmdline=\"$n${SEP}jre${SEP}bin$SEP$JAVA_SILENT\"" ||
      fail "command line of the installer: $(plain "$base/jre/bin/fakejava.log" | grep cmdline=)"
  fi
}

test_a_runtime_in_any_language_from_the_command_line_or_the_prompt() {
  make_product "$WORK/prod" "BOOTSTRAP=TRUE"
  sed -i '/^JRE_LOCATION=/d' "$WORK/prod/dist/qelparam.ini"
  local jre="$WORK/$NAME/jre" scratch=$WORK/scratch/QelInstall$TS
  put_fake_java "$jre"
  # The installer runs on while the launcher ends (259), until its sleep
  # file is removed.
  printf 30000 >"$jre/bin/fakejava.sleep"
  run_setup "$WORK/prod/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")" \
    -jreLoc "$(native_path "$jre")"
  expect_rc 259
  installer_args "$jre/bin"
  expect_eq "$(head -1 "$WORK/args")" "$(native_path "$jre")${SEP}bin$SEP$JAVA_SILENT" "Java from -jreLoc"

  rm -rf "$scratch" "$jre/bin/fakejava.log"
  printf 30000 >"$jre/bin/fakejava.sleep"
  printf '%s\n' "$(native_path "$jre")" >"$WORK/answer"
  STDIN=$WORK/answer run_setup "$WORK/prod/dist" -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc 259
  expect_out_has "Enter the location of a Java runtime (JRE or JDK home): "
  installer_args "$jre/bin"
  expect_eq "$(head -1 "$WORK/args")" "$(native_path "$jre")${SEP}bin$SEP$JAVA" "Java from the answer"
  grep -qxF -- "-Dquelta.installer.extjre=true" "$WORK/args" || fail "answer not taken as the runtime"
}

# at_terminal COLUMNS ANSWER ARGS...: runs the launcher of $WORK/prod/dist
# with ARGS in a terminal COLUMNS wide (Wine makes it the launcher's
# console). ANSWER, unless empty, is typed once the Java question shows, and
# Enter ends it as a Linux terminal and a Windows console each take it. Sets
# RC and writes what the terminal showed to $WORK/out.
at_terminal() {
  local columns=$1 answer=$2 program=("$WORK/prod/dist/setup") enter=LF
  shift 2
  [ "$QEL_KIND" = wine ] && program=(wine setup.exe) enter=CR
  WORK=$WORK python3 "$E2E_DIR/terminal.py" "$WORK/prod/dist" "$columns" "$answer" $enter "" "$WORK/out" \
    -- "${program[@]}" "$@" >"$WORK/rc"
  RC=$(cat "$WORK/rc")
}

test_an_answer_in_any_language_typed_at_a_console() {
  make_product "$WORK/prod" "BOOTSTRAP=TRUE" "WAIT_FOR_COMPLETION=TRUE"
  sed -i '/^JRE_LOCATION=/d' "$WORK/prod/dist/qelparam.ini"
  local jre="$WORK/$NAME/jre"
  put_fake_java "$jre"
  at_terminal 80 "$(native_path "$jre")" -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_eq "$RC" 0 "launcher status"
  [ -f "$jre/bin/fakejava.log" ] || { fail "the installer was not started from the answer"; return; }
  installer_args "$jre/bin"
  expect_eq "$(head -1 "$WORK/args")" "$(native_path "$jre")${SEP}bin$SEP$JAVA" "Java from the typed answer"
}

# jar_with_names OUT NAME...: a jar with the named entries. A name is stored
# in UTF-8 with the flag that says so; one written "437:NAME" in code page
# 437 without it, as old archivers wrote names.
jar_with_names() {
  mkdir -p "$(dirname "$1")"
  python3 - "$@" <<'PY'
import sys, zipfile

class Cp437Name(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp437"), self.flag_bits & ~0x800

with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in sys.argv[2:]:
        kind = Cp437Name if name.startswith("437:") else zipfile.ZipInfo
        z.writestr(kind(name.removeprefix("437:")), b"x")
for info in zipfile.ZipFile(sys.argv[1]).infolist():
    assert bool(info.flag_bits & 0x800) == ("437:" + info.filename not in sys.argv), info
PY
}

test_archive_entry_names_in_any_language_are_expanded_by_their_flag() {
  make_dist "$WORK/medium/install"
  local data=$WORK/medium/stage/Components/quelta.swd.qti/1.0/1/DataFiles
  # Linux names are bytes: only the flagged names have one meaning there.
  local unflagged=()
  [ "$QEL_KIND" = wine ] && unflagged=("437:qti/Müller-Äß.txt")
  jar_with_names "$data/qti.jar" "qti/$NAME/flagged.txt" "${unflagged[@]}"
  write_param "$WORK/medium/install/qelparam.ini" "DISTRIBUTION=TRUE" "BOOTSTRAP=TRUE" \
    "INSTALL_CLASS=demo.Main" "BOOTSTRAP_COMPS=quelta.swd.qti" "JRE_LOCATION=$(native_path "$WORK/no-jre")"
  run_in "$WORK/medium/install" "$WORK/medium/install/setup" -rtimestamp $TS -BOOTSTRAPONLY \
    "BOOTSTRAP_LOC=$(native_path "$WORK/target")"
  expect_rc 0
  expect_exists "$WORK/target/qti/$NAME/flagged.txt"
  if [ "$QEL_KIND" = wine ]; then
    expect_exists "$WORK/target/qti/Müller-Äß.txt"
    expect_eq "$(ls "$WORK/target/qti" | grep -c '^M')" 1 "files named from the code page 437 entry"
  fi

  # An escape is refused under its decoded name as under an ASCII one.
  rm -rf "$WORK/target"
  jar_with_names "$data/up.jar" "qti/../../$NAME.txt" "437:qti/../../Ä.txt"
  run_in "$WORK/medium/install" "$WORK/medium/install/setup" -rtimestamp $TS -BOOTSTRAPONLY \
    "BOOTSTRAP_LOC=$(native_path "$WORK/target")"
  expect_absent "$WORK/$NAME.txt"
  expect_absent "$WORK/Ä.txt"
  expect_absent "$WORK/target/$NAME.txt"
}

test_a_windows_1252_medium_still_names_its_paths() {
  local jre="$WORK/$LEGACY/jre" encoding family=Linux encodings=utf8
  # Linux passes a file's bytes through: a Windows-1252 medium is Windows only.
  [ "$QEL_KIND" = wine ] && family=Windows encodings="cp1252 utf8"
  put_fake_java "$jre"
  for encoding in $encodings; do
    make_dist "$WORK/dist"
    local lines=("INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$jre")" "PLATFORM_PREREQS=TRUE"
                 "[Certified Versions]" "$family=1.0" "CERTIFIED_VERSION_WARN=TRUE"
                 "CERTIFIED_VERSION_LOCATION=$(native_path "$WORK/$LEGACY/notes")")
    if [ $encoding = cp1252 ]; then
      write_param_cp1252 "$WORK/dist/qelparam.ini" "${lines[@]}"
      ! iconv -f UTF-8 -t UTF-8 "$WORK/dist/qelparam.ini" >/dev/null 2>&1 || fail "the file is UTF-8"
    else
      write_param "$WORK/dist/qelparam.ini" "${lines[@]}"
    fi
    rm -f "$jre/bin/fakejava.log"
    printf 'y\n' >"$WORK/answer"
    STDIN=$WORK/answer run_setup "$WORK/dist" -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
    expect_rc 0
    # The prerequisite reader's value, shown in UTF-8.
    expect_out_has "Check '$(native_path "$WORK/$LEGACY/notes")' for a list of certified versions."
    installer_args "$jre/bin"
    expect_eq "$(head -1 "$WORK/args")" "$(native_path "$jre")${SEP}bin$SEP$JAVA" "$encoding: Java program"
  done
}

# ---------------------------------------------------------------------------
# Windows only

test_the_launcher_runs_in_utf8_and_shows_message_boxes_in_utf16() {
  [ "$QEL_KIND" = wine ] || return 0
  make_dist "$WORK/dist"
  write_param "$WORK/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$WORK/$NAME")"
  # Wine's relay trace of the calls named: arguments and results.
  wine_reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
    /d 'kernel32.GetACP;user32.MessageBoxA;user32.MessageBoxW' /f
  (cd "$WORK/dist" && WINEDEBUG=+relay wine setup.exe -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")" \
    </dev/null >"$WORK/out" 2>"$WORK/trace")
  RC=$?
  expect_rc -1
  # The C runtime asks for the code page as it starts: 65001, from the manifest.
  grep -q 'Ret  KERNEL32.GetACP() retval=0000fde9' "$WORK/trace" ||
    fail "code page: $(grep -m1 'GetACP() retval' "$WORK/trace")"
  # The runtime-not-found message names the path in UTF-16 ("Ł" is U+0141).
  local call
  call=$(grep -m1 'Call user32.MessageBox' "$WORK/trace")
  case "$call" in
    *MessageBoxW*'\0141ukasz \4e2d\6587 \0395\03bb\03bb\03b7\03bd\03b9\03ba\03ac'*) ;;
    *) fail "message box: $call" ;;
  esac
}

test_the_console_is_80_columns_wide_in_a_wider_window() {
  [ "$QEL_KIND" = wine ] || return 0
  # Windows 10 opens consoles 120 columns wide; the window must narrow
  # before the buffer can. A line longer than 80 columns shows the width.
  make_product "$WORK/prod" "BOOTSTRAP=TRUE" "WAIT_FOR_COMPLETION=TRUE"
  at_terminal 120 "" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch/$(printf 'x%.0s' {1..40})")"
  expect_eq "$RC" 0 "launcher status"
  local first
  first=$(sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g' "$WORK/out" | grep -m1 '^Preparing to launch')
  expect_eq "${#first}" 80 "width of the first line of a long message"
}

# legacy_dist DIR: a launcher directory whose setup.exe lacks the manifest's
# UTF-8 code page entry (the element renamed, so the system passes it over),
# as on Windows before 10 1903. Its code page is then the locale's: 1252 in
# the C.UTF-8 locale Wine runs in here (Wine takes the code page of a locale
# like pl_PL.UTF-8 for 1250, but without that locale installed it cannot
# name the files).
legacy_dist() {
  make_dist "$1"
  python3 - "$1/setup.exe" <<'PY'
import sys
program = open(sys.argv[1], "rb").read()
assert program.count(b"activeCodePage") == 2
open(sys.argv[1], "wb").write(program.replace(b"activeCodePage", b"activeCodePagX"))
PY
}

test_without_the_utf8_code_page_a_utf8_medium_names_what_the_code_page_holds() {
  [ "$QEL_KIND" = wine ] || return 0
  # Letters code page 1252 holds, and letters it lacks.
  local held="$WORK/$LEGACY" lacked="$WORK/Łódź 中文"
  put_fake_java "$held/jre"
  put_fake_java "$lacked/jre"
  legacy_dist "$WORK/dist"
  write_param "$WORK/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$held/jre")"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc 0
  installer_args "$held/jre/bin"
  # What the installer received, read in UTF-16, is the path as written.
  expect_eq "$(head -1 "$WORK/args")" "$(native_path "$held/jre")${SEP}bin${SEP}java.exe" "Java program"

  write_param "$WORK/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$lacked/jre")"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_absent "$lacked/jre/bin/fakejava.log"
  expect_out_has "The Java runtime $(native_path "$WORK/?ód? ??/jre" | iconv -f UTF-8 -t CP1252)${SEP}bin${SEP}java.exe was not found."
}

test_without_the_utf8_code_page_no_letter_becomes_a_look_alike() {
  [ "$QEL_KIND" = wine ] || return 0
  # Code page 1252 lacks "Ł"; its best fit is "L". Each path has a twin
  # spelt with the look-alike, which must never be used.
  local real="$WORK/Łukasz Nowak" twin="$WORK/Lukasz Nowak" held="$WORK/$LEGACY"
  mkdir -p "$real/temp" "$twin/temp" "$held/temp"
  put_fake_java "$real/jre"
  put_fake_java "$twin/jre"
  put_fake_java "$held/jre"
  make_product "$WORK/prod"
  rm -rf "$WORK/prod/dist"
  legacy_dist "$WORK/prod/dist"
  write_param "$WORK/prod/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$WORK/prod/jre")"

  # A TEMP the code page cannot hold is unusable, like an invalid one: the
  # scratch directory goes to C:\TEMP, and the waited run removes it again.
  RUN_TEMP=$real/temp run_setup "$WORK/prod/dist" -SILENT -rtimestamp $TS
  expect_rc 0
  installer_args "$WORK/prod/jre/bin"
  expect_eq "$(arg_after -scratchPath "$WORK/args")" "C:\\TEMP\\QelInstall$TS" "scratch directory"
  expect_eq "$(ls -A "$twin/temp")" "" "the look-alike temp root"
  # One it holds is taken.
  rm "$WORK/prod/jre/bin/fakejava.log"
  RUN_TEMP=$held/temp run_setup "$WORK/prod/dist" -SILENT -rtimestamp $TS
  installer_args "$WORK/prod/jre/bin"
  expect_eq "$(arg_after -scratchPath "$WORK/args")" "$(native_path "$held/temp")\\QelInstall$TS" "scratch directory"

  # The command tail: the runtime is not found, and the message shows where
  # the letter was lost.
  run_setup "$WORK/prod/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")" \
    -jreLoc "$(native_path "$real/jre")"
  expect_rc -1
  expect_absent "$twin/jre/bin/fakejava.log"
  expect_absent "$real/jre/bin/fakejava.log"
  expect_out_has "The Java runtime $(native_path "$WORK/?ukasz Nowak/jre")${SEP}bin${SEP}java.exe was not found."
  # Letters the code page holds pass as they are.
  run_setup "$WORK/prod/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")" \
    -jreLoc "$(native_path "$held/jre")"
  expect_rc 0
  installer_args "$held/jre/bin"
  expect_eq "$(head -1 "$WORK/args")" "$(native_path "$held/jre")${SEP}bin${SEP}java.exe" "Java from -jreLoc"

  # A parameter file in UTF-16, which the profile service would give back
  # with the look-alike.
  write_param "$WORK/prod/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$real/jre")"
  iconv -f UTF-8 -t UTF-16 "$WORK/prod/dist/qelparam.ini" >"$WORK/utf16" && mv "$WORK/utf16" "$WORK/prod/dist/qelparam.ini"
  rm -f "$twin/jre/bin/fakejava.log"
  run_setup "$WORK/prod/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_absent "$twin/jre/bin/fakejava.log"
  expect_out_has "The Java runtime $(native_path "$WORK/?ukasz Nowak/jre")${SEP}bin${SEP}java.exe was not found."
}

test_without_the_utf8_code_page_the_launcher_and_the_inventory_take_no_look_alike() {
  [ "$QEL_KIND" = wine ] || return 0
  # The launcher below a directory whose name code page 1252 cannot hold,
  # beside a twin spelt with the look-alike that holds another medium.
  local real="$WORK/Łukasz Nowak" twin="$WORK/Lukasz Nowak"
  make_product "$real"
  make_product "$twin"
  rm -rf "$real/dist"
  legacy_dist "$real/dist"
  write_param "$real/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$real/jre")"
  run_setup "$real/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_out_has "The call GetCurrentDir() failed with system error 1113."
  expect_absent "$twin/jre/bin/fakejava.log"

  # An inventory location it cannot hold counts as absent: the actions log
  # never goes to the twin's inventory.
  mkdir -p "$twin/inventory"
  legacy_dist "$WORK/dist"
  write_param "$WORK/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$WORK/no-jre")"
  reg_set_inventory "$real/inventory"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  reg_clear_inventory
  expect_rc -1
  expect_eq "$(ls -A "$twin/inventory")" "" "the look-alike inventory"
}

test_the_inventory_is_found_in_the_64_bit_registry_view() {
  [ "$QEL_KIND" = wine ] || return 0
  local wine64=/usr/lib/wine/wine64
  [ -x $wine64 ] || { echo "    (no 64-bit Wine loader: skipped)"; return 0; }
  # A prefix of its own: a 64-bit system, where the 32-bit launcher's own
  # view of SOFTWARE is WOW6432Node.
  export WINEPREFIX=$WORK/prefix64
  WINEARCH=win64 $wine64 wineboot -i >/dev/null 2>&1
  local view inv
  for view in 64 32; do
    make_product "$WORK/prod"
    inv="$WORK/inventory $view"
    $wine64 reg delete 'HKLM\SOFTWARE\QUELTA' /f /reg:64 >/dev/null 2>&1
    $wine64 reg delete 'HKLM\SOFTWARE\QUELTA' /f /reg:32 >/dev/null 2>&1
    $wine64 reg add 'HKLM\SOFTWARE\QUELTA' /v inst_loc /t REG_SZ /d "$(native_path "$inv")" /f /reg:$view \
      >/dev/null 2>&1
    run_setup "$WORK/prod/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
    expect_rc 0
    expect_exists "$inv/logs/installActions$TS.log"
  done
  wineserver -k >/dev/null 2>&1
}

e2e_main "$@"

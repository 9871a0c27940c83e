#!/usr/bin/env bash
# Faults injected from outside: volumes that are read-only or full, paths
# beyond the launcher's limits, programs that vanish or die, a parameter file
# that changes under a running launcher. Each must end with a clear outcome,
# lose nothing and write nothing outside the launcher's own directories.
source "$(dirname "$0")/lib.sh"

TS=2026-05-06_07-08-09PM

# mount_tmpfs DIR SIZE [ro]: a small volume of its own, or 1 (skip) when the
# test cannot mount (not root, or no mount rights in this container).
mount_tmpfs() {
  mkdir -p "$1"
  local opts="size=$2"
  [ "${3:-}" = ro ] && opts+=",ro"
  mount -t tmpfs -o "$opts" qeltest "$1" 2>/dev/null
}
MOUNTS=()
unmount_all() { local m; for m in "${MOUNTS[@]}"; do umount "$m" 2>/dev/null; done; }

setup_product() { make_product "$WORK" "$@"; }

# What stands at a path that is read may be anything: a directory, a FIFO, a
# device. It is a file that cannot be read: never a crash, never a hang.
test_odd_files_where_the_parameter_file_and_catalogue_stand() {
  setup_product "PLATFORM_PREREQS=TRUE"
  mkdir -p "$WORK/dir.ini"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -paramFile "$(native_path "$WORK/dir.ini")"
  [ "$RC" -lt 128 ] || [ "$RC" -eq 255 ] || [ "$RC" -eq 254 ] || fail "ended by a signal: $RC"
  expect_out_lacks "terminate called"
  plain "$WORK/err" | grep -q "terminate called" && fail "an exception ended the launcher"
  [ "$QEL_KIND" = linux ] || return 0

  mkfifo "$WORK/fifo.ini"
  (cd "$WORK/dist" && TEMP=$WORK/temp timeout 60 ./setup -SILENT -rtimestamp $TS -paramFile "$WORK/fifo.ini" \
     </dev/null >"$WORK/out" 2>"$WORK/err")
  RC=$?
  [ "$RC" -ne 124 ] || fail "the launcher hung on a FIFO as its parameter file"
  [ "$RC" -lt 128 ] || [ "$RC" -ge 254 ] || fail "ended by a signal: $RC"

  rm "$WORK/dist/resource/cons.nls"
  ln -s /dev/zero "$WORK/dist/resource/cons.nls"
  (cd "$WORK/dist" && TEMP=$WORK/temp timeout 60 ./setup -SILENT -rtimestamp $TS </dev/null >"$WORK/out" 2>"$WORK/err")
  RC=$?
  [ "$RC" -ne 124 ] || fail "the launcher read /dev/zero as its catalogue for ever"
  expect_rc 1
  expect_err_has "Could not read any NLS message catalogue"
}

test_temp_on_a_read_only_volume() {
  if ! mount_tmpfs "$WORK/ro" 1m ro; then
    echo "    (skipped: cannot mount a read-only volume here)"
    return
  fi
  MOUNTS+=("$WORK/ro")
  setup_product
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/ro")"
  unmount_all
  expect_rc -1
  expect_out_has "Cannot create or write to the directory $(native_path "$WORK/ro")"
  [ ! -f "$WORK/jre/bin/fakejava.log" ] || fail "the installer was started"
}

test_scratch_volume_full_during_the_bootstrap() {
  if ! mount_tmpfs "$WORK/small" 1m; then
    echo "    (skipped: cannot mount a small volume here)"
    return
  fi
  MOUNTS+=("$WORK/small")
  # The space test passes (nothing required), then the runtime copy fills
  # the volume.
  setup_product "BOOTSTRAP=TRUE" "BOOTSTRAP_SIZE=0"
  head -c 3000000 /dev/urandom >"$WORK/jre/lib.bin"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/small")"
  local left
  left=$(ls -A "$WORK/small")
  unmount_all
  expect_rc -1
  expect_out_has "Could not copy the installer files to $(native_path "$WORK/small/QelInstall$TS")."
  expect_eq "$left" "QelInstall$TS" "what the run left on the volume"
  [ ! -f "$WORK/jre/bin/fakejava.log" ] || fail "the installer was started"
}

test_unreadable_file_in_a_copied_tree() {
  setup_product "BOOTSTRAP=TRUE"
  # A socket cannot be opened for reading; file permissions would not stop
  # the root user these tests may run as.
  python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$WORK/qti/jlib/socket.jar"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_out_has "Could not copy the installer files to"
  [ ! -f "$WORK/jre/bin/fakejava.log" ] || fail "the installer was started"
  # What could be copied stays for inspection; the source is untouched.
  expect_exists "$WORK/scratch/QelInstall$TS/jre/bin"
  [ -S "$WORK/qti/jlib/socket.jar" ] || fail "the source tree was changed"
}

test_runtime_location_that_is_a_file() {
  setup_product "BOOTSTRAP=TRUE"
  echo "not a runtime" >"$WORK/jre.txt"
  sed -i "s|^JRE_LOCATION=.*|JRE_LOCATION=$(native_path "$WORK/jre.txt" | sed 's/\\/\\\\/g')|" "$WORK/dist/qelparam.ini"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_out_has "$(native_path "$WORK/scratch/QelInstall$TS/jre/bin/java$EXE") was not found."
  expect_eq "$(cat "$WORK/jre.txt")" "not a runtime" "the file named as runtime"
}

test_paths_beyond_the_limits() {
  setup_product
  local long
  long=$WORK/$(head -c 1100 /dev/zero | tr '\0' 'd')
  # A scratch root too long for a path is passed over, never cut: the run
  # uses TEMP instead and creates nothing at a shortened name.
  mkdir -p "$WORK/temp"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$long")" \
    -PREREQLOGLOC "$(native_path "$WORK/plogs")"
  expect_rc 0
  [ "$(ls "$WORK" | grep -c '^ddd')" -eq 0 ] || fail "a directory was made at a cut name"
  # A runtime location beyond 1023 characters is cut and then not found.
  setup_product
  sed -i "s|^JRE_LOCATION=.*|JRE_LOCATION=$(native_path "$long" | sed 's/\\/\\\\/g')|" "$WORK/dist/qelparam.ini"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_out_has "was not found. The installer needs Java runtime version 1.3.1 or later."
  # A runtime directory that fits, whose program's path would not: cut, it
  # names the bin directory or a stranger's file, never the runtime's program.
  setup_product
  local jre=$WORK/j native
  native=$(native_path "$jre")
  while [ $((${#native} + 201)) -lt 1019 ]; do
    jre=$jre/$(head -c 200 /dev/zero | tr '\0' 'j')
    native=$(native_path "$jre")
  done
  jre=$jre/$(head -c $((1019 - ${#native} - 1)) /dev/zero | tr '\0' 'k')
  mkdir -p "$jre/bin"
  sed -i "s|^JRE_LOCATION=.*|JRE_LOCATION=$(native_path "$jre" | sed 's/\\/\\\\/g')|" "$WORK/dist/qelparam.ini"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_out_has "was not found. The installer needs Java runtime version 1.3.1 or later."
}

test_parameter_file_changes_while_the_launcher_waits_at_a_prompt() {
  setup_product "BOOTSTRAP=TRUE" "WAIT_FOR_COMPLETION=TRUE" "SOURCE=first"
  sed -i '/^JRE_LOCATION=/d' "$WORK/dist/qelparam.ini"
  mkfifo "$WORK/answers"
  # The launcher blocks at the Java prompt; meanwhile the file is replaced.
  (
    exec 3>"$WORK/answers"
    for _ in $(seq 1 200); do
      grep -q "Enter the location" "$WORK/out" 2>/dev/null && break
      sleep 0.05
    done
    write_param "$WORK/dist/qelparam.ini" "SOURCE=second" "INSTALL_CLASS=other.Main"
    printf '%s\n' "$(native_path "$WORK/jre")" >&3
  ) &
  local writer=$!
  STDIN=$WORK/answers run_setup "$WORK/dist" -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  wait $writer
  # The run goes on with the values read before the change and reads the
  # later ones from the new file; it neither crashes nor stops.
  expect_rc 0
  fake_java_args "$WORK/jre/bin" >got
  grep -qx -- "demo.Main" got || fail "installer class read before the change was lost"
  grep -A1 -x -- "-sourceLoc" got | tail -1 | grep -q "second$" || fail "SOURCE read after the change: $(grep -A1 -x -- -sourceLoc got | tail -1)"
  expect_absent "$WORK/scratch/QelInstall$TS"
}

e2e_main "$@"

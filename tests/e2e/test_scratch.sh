#!/usr/bin/env bash
# The scratch directory against other users of the machine: the installer
# runs code from it with the launcher's rights, so nobody else may get to put
# anything there, and the launcher never works in a directory that took its
# place.
source "$(dirname "$0")/lib.sh"

TS=2026-05-06_07-08-09PM
SCRATCH=  # the scratch directory of the run

run_product() {
  SCRATCH=$1/QelInstall$TS
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$1")"
}

test_a_temp_root_others_may_write_needs_the_sticky_bit() {
  [ "$QEL_KIND" = linux ] || { echo "    (skipped: Linux permission bits)"; return; }
  make_product "$WORK"
  mkdir -p "$WORK/shared"
  chmod 0777 "$WORK/shared"
  run_product "$WORK/shared"
  expect_rc -1
  expect_out_has "Cannot create or write to the directory $WORK/shared"
  expect_absent "$WORK/jre/bin/fakejava.log"
  expect_eq "$(ls -A "$WORK/shared")" "" "what the refused run left in the root"

  chmod 1777 "$WORK/shared"  # as /tmp: others may not rename what is ours
  run_product "$WORK/shared"
  expect_rc 0
  expect_exists "$WORK/jre/bin/fakejava.log"
}

test_a_link_at_the_scratch_name_counts_as_taken() {
  [ "$QEL_KIND" = linux ] || { echo "    (skipped: links made from Linux are no Windows links)"; return; }
  make_product "$WORK" "WAIT_FOR_COMPLETION=TRUE"
  mkdir -p "$WORK/root"
  ln -s "$WORK/nowhere" "$WORK/root/QelInstall$TS"
  run_product "$WORK/root"
  expect_rc 0
  expect_exists "$WORK/jre/bin/fakejava.log"
  expect_file_has "$WORK/jre/bin/fakejava.log" "arg=$WORK/root/QelInstall${TS}_1"
  expect_absent "$WORK/nowhere"
}

test_a_scratch_directory_swapped_while_the_installer_runs_is_not_deleted() {
  [ "$QEL_KIND" = linux ] || { echo "    (skipped: swapped with Linux links)"; return; }
  # What another user would do in a root without the sticky bit, played
  # here by the test in a trusted root: the scratch directory renamed away
  # and a link to the victim's files put in its place.
  make_product "$WORK"
  echo 60000 >"$WORK/jre/bin/fakejava.sleep"
  mkdir -p "$WORK/root" "$WORK/victim/sub"
  echo keep >"$WORK/victim/sub/file"
  (cd "$WORK/dist" && TEMP=$WORK/temp ./setup -SILENT -rtimestamp $TS -SCRATCHPATH "$WORK/root" \
     </dev/null >"$WORK/out" 2>"$WORK/err") &
  local pid=$!
  wait_for "$WORK/jre/bin/fakejava.log" end || fail "the installer was not started"
  mv "$WORK/root/QelInstall$TS" "$WORK/root/moved"
  ln -s "$WORK/victim" "$WORK/root/QelInstall$TS"
  rm -f "$WORK/jre/bin/fakejava.sleep"
  wait "$pid"
  RC=$?
  expect_rc 0  # the installer's own status
  expect_out_has "Cannot create or write to the directory $WORK/root/QelInstall$TS"
  expect_file_has "$WORK/victim/sub/file" keep
  expect_exists "$WORK/root/moved"
}

# -rscratchPath names the scratch directory an earlier -BOOTSTRAPONLY filled:
# without a value, or relative, it would name the medium's own directory,
# and the bootstrap would fill that.
test_a_reused_scratch_directory_must_be_named_absolutely() {
  make_product "$WORK" "BOOTSTRAP=TRUE"
  (cd "$WORK/dist" && find . | sort >"$WORK/before")
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -rscratchPath
  expect_rc -1
  expect_out_has "Cannot create or write to the directory"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -rscratchPath scratch
  expect_rc -1
  expect_out_has "Cannot create or write to the directory scratch"
  expect_absent "$WORK/jre/bin/fakejava.log"
  (cd "$WORK/dist" && find . | sort >"$WORK/after")
  cmp -s "$WORK/before" "$WORK/after" || fail "the medium changed: $(diff "$WORK/before" "$WORK/after" | head -5)"
}

e2e_main "$@"

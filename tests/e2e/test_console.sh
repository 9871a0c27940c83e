#!/usr/bin/env bash
# The console as users and scripts meet it off the happy path: an output
# pipe whose reader has gone, Ctrl-C while the launcher waits for the
# installer, keys typed before the Java prompt appears.
source "$(dirname "$0")/lib.sh"

TS=2026-05-06_07-08-09PM

linux_only() {
  [ "$QEL_KIND" = linux ] && return 0
  echo "    (skipped: $1)"
  return 1
}

test_a_closed_output_pipe_does_not_stop_the_run() {
  linux_only "Wine ends a program whose standard output is a closed pipe" || return
  make_product "$WORK"
  # The pipe's reader is gone before the launcher writes its first byte.
  python3 - "$WORK/dist/setup" -SILENT -rtimestamp $TS >"$WORK/rc" <<'EOF'
import os, subprocess, sys
r, w = os.pipe()
os.close(r)
print(subprocess.run(sys.argv[1:], stdout=w, stderr=w, stdin=subprocess.DEVNULL,
                     env=dict(os.environ, TEMP=os.environ["WORK"] + "/temp")).returncode)
EOF
  expect_eq "$(cat "$WORK/rc")" 0 "launcher status"
  expect_file_has "$WORK/jre/bin/fakejava.log" "done"
  # The installer gets the usual SIGPIPE, whatever the launcher made of it.
  expect_file_has "$WORK/jre/bin/fakejava.log" "signals=SIGPIPE=default"
  expect_absent "$WORK/temp/QelInstall$TS"
}
export WORK

test_ctrl_c_ends_the_launcher_and_not_the_installer_it_waits_for() {
  linux_only "signals" || return
  make_product "$WORK"
  echo 60000 >"$WORK/jre/bin/fakejava.sleep"
  # A session of its own, so that the test can signal the launcher's group as
  # a terminal's Ctrl-C does; the signals as a terminal's shell would leave
  # them (a shell without job control ignores them for a command in the
  # background).
  (cd "$WORK/dist" && TEMP=$WORK/temp exec setsid env --default-signal=INT,QUIT ./setup -SILENT \
     -rtimestamp $TS </dev/null >"$WORK/out" 2>&1) &
  local pid=$!
  wait_for "$WORK/jre/bin/fakejava.log" end || fail "the installer was not started"
  kill -INT -- "-$pid"
  wait "$pid"
  RC=$?
  expect_rc 130
  expect_file_has "$WORK/jre/bin/fakejava.log" "signals=SIGPIPE=default SIGINT=ignored SIGQUIT=ignored"
  rm -f "$WORK/jre/bin/fakejava.sleep"
  wait_for "$WORK/jre/bin/fakejava.log" done || fail "the installer did not run to its end"
}

test_ctrl_c_while_the_installer_runs_is_the_installers_to_decide() {
  [ "$QEL_KIND" = wine ] || { echo "    (skipped: the Windows console)"; return; }
  # A terminal's Ctrl-C reaches Wine as SIGINT to the foreground group and
  # becomes the console's Ctrl-C in its processes. A shell of the same group
  # notes the signal; once it has, the launcher has it too, and must wait
  # on for the installer (which decides for itself: in a group of its own it
  # starts with Ctrl-C off), remove the scratch directory and pass the
  # installer's status on. (Wine gives no Ctrl-Break and no closing console;
  # tests/unit/windows_rules_test.cpp has them.)
  make_product "$WORK"
  local bin=$WORK/jre/bin
  printf 7 >"$bin/fakejava.exit"
  printf 60000 >"$bin/fakejava.sleep"
  (cd "$WORK/dist" && exec setsid bash -c '
     trap "touch \"$0\"" INT
     env --default-signal=INT wine setup.exe "$@" &
     pid=$! status=129
     while [ $status -gt 128 ] && kill -0 $pid 2>/dev/null; do wait $pid; status=$?; done
     exit $status' "$WORK/interrupted" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")" \
     </dev/null >"$WORK/out" 2>&1) &
  local pid=$!
  wait_for "$bin/fakejava.log" end || fail "the installer was not started"
  kill -INT -- "-$pid"
  local i
  for i in $(seq 1 300); do [ -e "$WORK/interrupted" ] && break; sleep 0.1; done
  expect_exists "$WORK/interrupted"
  rm -f "$bin/fakejava.sleep"
  wait "$pid"
  RC=$?
  expect_rc 7
  expect_file_has "$bin/fakejava.log" "done"
  expect_absent "$WORK/scratch/QelInstall$TS"
}

test_an_installer_the_launcher_does_not_wait_for_keeps_the_usual_signals() {
  linux_only "signals" || return
  # Not waited for: the installer runs in a session of its own, with the
  # signals it would get from a shell. It sleeps until the launcher has
  # ended, so that the launcher reports it as still running.
  make_product "$WORK" "BOOTSTRAP=TRUE"
  echo 60000 >"$WORK/jre/bin/fakejava.sleep"
  (cd "$WORK/dist" && TEMP=$WORK/temp env --default-signal=INT,QUIT ./setup -SILENT -rtimestamp $TS \
     </dev/null >"$WORK/out" 2>&1)
  RC=$?
  expect_rc 259
  local bin=$WORK/temp/QelInstall$TS/jre/bin
  wait_for "$bin/fakejava.log" end || fail "the installer was not started"
  rm -f "$bin/fakejava.sleep"
  wait_for "$bin/fakejava.log" done || fail "the installer did not end"
  expect_file_has "$bin/fakejava.log" "signals=SIGPIPE=default SIGINT=default SIGQUIT=default"
}

test_keys_typed_before_the_java_prompt_answer_nothing() {
  linux_only "the Windows console cannot be driven here" || return
  make_dist "$WORK/dist"
  put_fake_java "$WORK/typed-jre"
  put_fake_java "$WORK/answer-jre"
  mkdir -p "$WORK/qti" "$WORK/core" "$WORK/mendra"
  write_param "$WORK/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "BOOTSTRAP=TRUE" \
    "WAIT_FOR_COMPLETION=TRUE" "QTI_LOCATION=$WORK/qti" "QTI_CORE_LOCATION=$WORK/core" \
    "MENDRA_LOCATION=$WORK/mendra"
  # A terminal with a whole valid answer already typed when the launcher
  # starts; the real answer is typed once the question shows.
  WORK=$WORK python3 "$E2E_DIR/terminal.py" "$WORK/dist" 80 "$WORK/answer-jre" LF "$WORK/typed-jre
" "$WORK/out" -- "$WORK/dist/setup" -SILENT -rtimestamp TS >"$WORK/rc"
  expect_eq "$(cat "$WORK/rc")" 0 "launcher status"
  expect_exists "$WORK/answer-jre/bin/fakejava.log"
  expect_absent "$WORK/typed-jre/bin/fakejava.log"
}

e2e_main "$@"

#!/usr/bin/env bash
# Tree walks over hostile media: names that a code page maps onto "." and
# "\" or cannot show at all, paths beyond the old length limit, and links
# that make cycles or lead out of the tree. The bootstrap must copy them,
# the waited run must remove the scratch directory whole, and nothing
# outside it may change.
source "$(dirname "$0")/lib.sh"

TS=2026-05-06_07-08-09PM
FW_UP='．．＼'  # full-width ".." and "\": one name, whatever a code page makes of it

# A product whose run is bootstrapped into $WORK/scratch and waited for,
# and a victim directory beside the scratch directory.
setup() {
  make_product "$WORK" "BOOTSTRAP=TRUE" "$@"
  S_DIR=$WORK/scratch/QelInstall$TS
  mkdir -p "$WORK/scratch/victim/sub"
  echo important >"$WORK/scratch/victim/important.txt"
  echo kept >"$WORK/scratch/victim/sub/kept.txt"
}
run() { run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"; }

# A listing of everything below DIR with sizes, to compare before and after.
snapshot() { (cd "$1" && find . -printf '%y %s %p -> %l\n' | LC_ALL=C sort); }

# A chain of DEPTH directories of 24-character names below DIR, with a file
# at its end; its path is longer than the 260 characters of the old limit.
deep_chain() {
  local path=$1 i
  for i in $(seq 1 "$2"); do path+=/level-$(printf '%02d' "$i")-deep-directory; done
  mkdir -p "$path"
  echo bottom >"$path/bottom.txt"
}

test_waited_run_removes_unicode_and_deep_names_and_nothing_outside() {
  setup "WAIT_FOR_COMPLETION=TRUE"
  echo 7 >"$WORK/jre/bin/fakejava.exit"
  # Names a best-fit code page turns into ..\..\victim\...
  echo payload >"$WORK/qti/${FW_UP}${FW_UP}victim＼important.txt"
  mkdir -p "$WORK/qti/${FW_UP}${FW_UP}victim/sub"
  echo payload >"$WORK/qti/${FW_UP}${FW_UP}victim/sub/kept.txt"
  echo payload >"$WORK/qti/${FW_UP}${FW_UP}victim/important.txt"
  # Names outside any single-byte code page.
  echo nihongo >"$WORK/qti/日本語.txt"
  mkdir -p "$WORK/qti/jlib/日本語"
  echo nihongo >"$WORK/qti/jlib/日本語/ファイル.jar"
  deep_chain "$WORK/mendra/jlib" 14
  local before
  before=$(snapshot "$WORK/scratch/victim")
  run
  expect_rc 7
  expect_absent "$WORK/jre/bin/fakejava.log"  # it ran from the scratch directory
  expect_absent "$S_DIR"
  expect_eq "$(snapshot "$WORK/scratch/victim")" "$before" "the victim beside the scratch directory"
  expect_eq "$(ls -A "$WORK/scratch")" "victim" "what the run left in the scratch root"
}

test_unicode_and_deep_names_arrive_in_the_scratch_directory() {
  mkdir -p "$WORK/extjlib"
  echo good >"$WORK/extjlib/good.jar"
  echo evil >"$WORK/extjlib/${FW_UP}${FW_UP}evil.jar"
  setup "EXT_JLIB=$(native_path "$WORK/extjlib")"
  echo 5000 >"$WORK/jre/bin/fakejava.sleep"
  echo payload >"$WORK/qti/${FW_UP}${FW_UP}victim＼important.txt"
  mkdir -p "$WORK/qti/${FW_UP}${FW_UP}victim"
  echo payload >"$WORK/qti/${FW_UP}${FW_UP}victim/important.txt"
  echo nihongo >"$WORK/qti/日本語.txt"
  deep_chain "$WORK/mendra/jlib" 14
  run
  expect_rc 259
  rm -f "$S_DIR/jre/bin/fakejava.sleep"
  expect_eq "$(cat "$S_DIR/qti/${FW_UP}${FW_UP}victim＼important.txt" 2>&1)" payload "full-width name copied"
  expect_eq "$(cat "$S_DIR/qti/${FW_UP}${FW_UP}victim/important.txt" 2>&1)" payload "full-width directory copied"
  expect_eq "$(cat "$S_DIR/qti/日本語.txt" 2>&1)" nihongo "Japanese name copied"
  expect_eq "$(cd "$S_DIR/Mendra" && find . -name bottom.txt | wc -l)" 1 "file at the end of the deep chain"
  expect_file_has "$S_DIR/installActions$TS.log" "Number of files bootstrapped in qti: 3"
  expect_eq "$(cat "$WORK/scratch/victim/important.txt")" important "the victim"
  # The class path names the extra jars in the process code page (UTF-8 on
  # every build here): the name as it is, never a best-fit ..\..\evil.jar.
  local log=$S_DIR/jre/bin/fakejava.log i class_path
  for i in $(seq 1 100); do
    grep -q '^end' "$log" 2>/dev/null && break
    sleep 0.1
  done
  class_path=$(fake_java_args "$S_DIR/jre/bin" | grep -A1 -x -- -cp | tail -1)
  case "$class_path" in *good.jar*) ;; *) fail "class path lacks good.jar: $class_path" ;; esac
  case "$class_path" in *"$SEP..$SEP..${SEP}evil.jar"*) fail "class path holds ..${SEP}..${SEP}evil.jar" ;; esac
  case "$class_path" in *"$SEP${FW_UP}${FW_UP}evil.jar"*) ;; *) fail "class path lacks the one name: $class_path" ;; esac
}

# deep_levels DIR LEVELS NAME: a chain of LEVELS directories NAME below DIR,
# made a level at a time (its path is far beyond what a system call takes),
# with bottom.txt at its end.
deep_levels() {
  python3 - "$@" <<'PY'
import os, sys
root, levels, name = sys.argv[1], int(sys.argv[2]), sys.argv[3]
os.makedirs(root, exist_ok=True)
fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
for _ in range(levels):
    os.mkdir(name, dir_fd=fd)
    fd, old = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd), fd
    os.close(old)
with open(os.open("bottom.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd), "w") as f:
    f.write("bottom\n")
PY
}

# read_deep DIR LEVELS NAME: bottom.txt at the end of such a chain.
read_deep() {
  python3 - "$@" <<'PY'
import os, sys
root, levels, name = sys.argv[1], int(sys.argv[2]), sys.argv[3]
fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
for _ in range(levels):
    fd, old = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd), fd
    os.close(old)
print(open(os.open("bottom.txt", os.O_RDONLY, dir_fd=fd)).read(), end="")
PY
}

# What one deep archive entry expands to: thousands of levels of long names
# on Linux (a walk that kept each directory's path, or a descriptor per
# level, runs out of the memory and descriptors the run is given here);
# under Wine as deep as its Unix paths allow.
DEEP_LEVELS=3000
DEEP_NAME=$(printf 'n%.0s' $(seq 1 200))
if [ "$QEL_KIND" = wine ]; then
  DEEP_LEVELS=150
  DEEP_NAME=level-directory-nnnnn
fi
# run_bounded: run, with few descriptors and little memory on Linux (the
# memory bound only where no sanitizer needs its shadow memory).
run_bounded() {
  if [ "$QEL_KIND" = linux ]; then
    local memory=393216
    [ "${QEL_SANITIZED:-0}" = 1 ] && memory=unlimited
    (ulimit -n 64 -v "$memory" && export QEL_COPY_THREADS=2 && run && exit "$RC")
    RC=$?
  else
    run
  fi
}

test_a_tree_thousands_deep_arrives_counted_in_the_scratch_directory() {
  setup
  echo 5000 >"$WORK/jre/bin/fakejava.sleep"
  deep_levels "$WORK/qti/jlib" $DEEP_LEVELS "$DEEP_NAME"
  run_bounded
  expect_rc 259
  rm -f "$S_DIR/jre/bin/fakejava.sleep"
  expect_eq "$(read_deep "$S_DIR/qti/jlib" $DEEP_LEVELS "$DEEP_NAME" 2>&1)" bottom "the file at the end of the chain"
  expect_file_has "$S_DIR/installActions$TS.log" "Number of files bootstrapped in qti: 1"
}

test_waited_run_removes_a_tree_thousands_deep_and_nothing_outside() {
  setup "WAIT_FOR_COMPLETION=TRUE"
  echo 6 >"$WORK/jre/bin/fakejava.exit"
  deep_levels "$WORK/qti/jlib" $DEEP_LEVELS "$DEEP_NAME"
  local victim
  victim=$(snapshot "$WORK/scratch/victim")
  run_bounded
  expect_rc 6
  expect_absent "$S_DIR"
  expect_eq "$(snapshot "$WORK/scratch/victim")" "$victim" "the victim beside the scratch directory"
  expect_eq "$(ls -A "$WORK/scratch")" "victim" "what the run left in the scratch root"
}

# Links that loop back into the tree, climb out of it, lead to an outside
# directory or to nothing. Returns 1 when this system cannot make them.
make_links() {
  local qti=$WORK/qti
  mkdir -p "$WORK/outside/dir"
  echo outside >"$WORK/outside/dir/file.txt"
  echo target >"$qti/jlib/real.jar"
  ln -s . "$qti/loop" && ln -s .. "$qti/jlib/up" && ln -s ../.. "$qti/jlib/upup" &&
    ln -s "$WORK/outside/dir" "$qti/jlib/outside" && ln -s real.jar "$qti/jlib/alias.jar" &&
    ln -s nowhere "$qti/jlib/dangling" && ln -s "$WORK/scratch" "$qti/scratch"
}

test_link_cycles_end_and_nothing_outside_is_touched() {
  setup
  make_links || { echo "    (skipped: cannot make links here)"; return; }
  echo 5000 >"$WORK/jre/bin/fakejava.sleep"
  local before
  before=$(snapshot "$WORK/outside")
  run
  expect_rc 259
  rm -f "$S_DIR/jre/bin/fakejava.sleep"
  expect_eq "$(cat "$S_DIR/qti/jlib/alias.jar" 2>&1)" target "a link to a file arrives as the file"
  [ ! -L "$S_DIR/qti/jlib/alias.jar" ] || fail "a link to a file was copied as a link"
  # Nothing was copied twice through a loop: the directories are only the real ones.
  expect_eq "$(cd "$S_DIR/qti" && find . -type d | LC_ALL=C sort | tr '\n' ' ')" ". ./jlib " "directories copied"
  if [ "$QEL_KIND" = linux ]; then
    expect_eq "$(readlink "$S_DIR/qti/loop")" . "the loop made again as a link"
    expect_eq "$(readlink "$S_DIR/qti/jlib/outside")" "$WORK/outside/dir" "the outside link made again"
    expect_eq "$(readlink "$S_DIR/qti/jlib/dangling")" nowhere "the dangling link made again"
  else
    # Wine shows a link to a directory as a reparse point: passed over, logged.
    local name
    for name in loop scratch jlib/outside jlib/up jlib/upup; do
      expect_file_has "$S_DIR/installActions$TS.log" \
        "WARNING: link to a directory not copied: $(native_path "$WORK/qti/$name")"
    done
  fi
  # Counted once, links to directories not at all: real.jar, alias.jar and,
  # on Linux, the dangling link.
  local files=2
  [ "$QEL_KIND" = linux ] && files=3
  expect_file_has "$S_DIR/installActions$TS.log" "Number of files bootstrapped in qti: $files"
  expect_eq "$(snapshot "$WORK/outside")" "$before" "the directory the links lead to"
}

test_waited_run_with_link_cycles_removes_the_scratch_directory_only() {
  setup "WAIT_FOR_COMPLETION=TRUE"
  make_links || { echo "    (skipped: cannot make links here)"; return; }
  echo 3 >"$WORK/jre/bin/fakejava.exit"
  local outside victim medium
  outside=$(snapshot "$WORK/outside")
  victim=$(snapshot "$WORK/scratch/victim")
  medium=$(snapshot "$WORK/qti")
  run
  expect_rc 3
  expect_absent "$S_DIR"
  expect_eq "$(snapshot "$WORK/outside")" "$outside" "the directory the links lead to"
  expect_eq "$(snapshot "$WORK/scratch/victim")" "$victim" "the victim beside the scratch directory"
  expect_eq "$(snapshot "$WORK/qti")" "$medium" "the medium's tree"
}

# Many files in many directories, for the copy's threads.
many_files() {
  local d i
  for d in $(seq 1 12); do
    mkdir -p "$1/p$d"
    for i in $(seq 1 40); do printf 'class %d.%d\n' "$d" "$i" >"$1/p$d/C$i.class"; done
  done
}

test_a_file_that_cannot_be_read_ends_a_copy_on_eight_threads() {
  setup
  many_files "$WORK/qti/jlib"
  # A socket cannot be opened for reading; permissions would not stop root.
  python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$WORK/qti/jlib/p6/socket.jar"
  export QEL_COPY_THREADS=8
  run
  expect_rc -1
  expect_out_has "Could not copy the installer files to"
  [ ! -f "$WORK/jre/bin/fakejava.log" ] || fail "the installer was started"
  # What was copied stays, each file whole; the source is untouched.
  expect_absent "$S_DIR/qti/jlib/p6/socket.jar"
  local copied=0 file
  while IFS= read -r file; do
    cmp -s "$S_DIR/qti/$file" "$WORK/qti/$file" || fail "not the source's file: $file"
    copied=$((copied + 1))
  done < <(cd "$S_DIR/qti" && find . -type f)
  echo "    ($copied files copied before the copy ended)"
  [ -S "$WORK/qti/jlib/p6/socket.jar" ] || fail "the source tree was changed"
}

# The installer bootstrapped on one thread and on eight: the same trees, with
# many files in many directories, large and read-only ones, and links.
test_threads_make_the_trees_one_thread_makes() {
  setup
  local jlib=$WORK/qti/jlib
  many_files "$jlib"
  head -c 3000000 /dev/urandom >"$jlib/big.jar"
  head -c 2000000 /dev/urandom >"$WORK/mendra/jlib/big.jar"
  chmod 444 "$jlib/p3/C7.class" "$WORK/mendra/jlib/big.jar"
  chmod 555 "$jlib/p4/C1.class"
  make_links || echo "    (no links: this system cannot make them)"
  export QEL_COPY_THREADS=1
  run_in "$WORK/dist" "$WORK/dist/setup" -rtimestamp $TS -BOOTSTRAPONLY "BOOTSTRAP_LOC=$(native_path "$WORK/one")"
  expect_rc 0
  export QEL_COPY_THREADS=8
  run_in "$WORK/dist" "$WORK/dist/setup" -rtimestamp $TS -BOOTSTRAPONLY "BOOTSTRAP_LOC=$(native_path "$WORK/many")"
  expect_rc 0
  unset QEL_COPY_THREADS
  expect_eq "$(cd "$WORK/many/qti/jlib" && find . -type f | wc -l)" $((12 * 40 + 3)) "files copied"
  local tree='%y %m %s %p -> %l\n'
  expect_eq "$(cd "$WORK/many" && find . -printf "$tree" | LC_ALL=C sort)" \
    "$(cd "$WORK/one" && find . -printf "$tree" | LC_ALL=C sort)" "the trees made on eight threads and on one"
  diff -r --no-dereference "$WORK/one" "$WORK/many" >/dev/null || fail "the copies' contents differ"
}

# A bootstrap into a location that already holds a second name (a hard
# link) of a file outside it: the copy replaces the name and leaves the
# outside file as it was.
test_a_hard_link_in_the_destination_is_replaced_not_written_through() {
  setup
  echo target >"$WORK/qti/jlib/real.jar"
  mkdir -p "$WORK/outside" "$WORK/loc/qti/jlib"
  echo outside >"$WORK/outside/keep.txt"
  ln "$WORK/outside/keep.txt" "$WORK/loc/qti/jlib/real.jar" || { echo "    (skipped: no hard links here)"; return; }
  run_in "$WORK/dist" "$WORK/dist/setup" -rtimestamp $TS -BOOTSTRAPONLY "BOOTSTRAP_LOC=$(native_path "$WORK/loc")"
  expect_rc 0
  expect_eq "$(cat "$WORK/loc/qti/jlib/real.jar")" target "the copy"
  expect_eq "$(cat "$WORK/outside/keep.txt")" outside "the file outside the destination"
}

e2e_main "$@"

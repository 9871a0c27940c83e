# End-to-end test library: runs the built launcher as a user would, on Linux
# natively or setup.exe under Wine, and checks what it leaves behind.
#
# Set by CTest:
#   QEL_KIND      linux | wine
#   QEL_BIN_DIR   directory of the build under test: setup[.exe], resource/,
#                 unzip[.exe] and the test helpers (fakejava[.exe] ...)
#   WINEPREFIX    (wine) the prefix shared by the Wine tests
#
# A test script sources this file, defines functions named test_*, and ends
# with e2e_main "$@". Each test runs in a subshell inside a fresh $WORK.

set -u

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${QEL_KIND:=linux}"
: "${QEL_BIN_DIR:?QEL_BIN_DIR must name the build directory}"
export WINEDEBUG=-all
# Wine turns the names and arguments it is given into UTF-16 by the locale's
# character set: non-ASCII paths need a UTF-8 one.
[ -n "${LC_ALL:-}${LC_CTYPE:-}${LANG:-}" ] || export LANG=C.UTF-8

if [ "$QEL_KIND" = wine ]; then
  EXE=.exe
else
  EXE=
fi

# The path as the launcher under test spells it: unchanged on Linux, the
# Z: drive form under Wine.
native_path() {
  if [ "$QEL_KIND" = wine ]; then
    printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"
  else
    printf '%s' "$1"
  fi
}

# The separator of the launcher under test.
SEP=/
[ "$QEL_KIND" = wine ] && SEP='\'

# make_dist DIR: a directory holding the launcher and its catalogues.
make_dist() {
  mkdir -p "$1"
  cp "$QEL_BIN_DIR/setup$EXE" "$1/"
  cp -r "$QEL_BIN_DIR/resource" "$1/"
  if [ -f "$QEL_BIN_DIR/unzip$EXE" ]; then cp "$QEL_BIN_DIR/unzip$EXE" "$1/"; fi
}

# put_fake_java DIR: a Java home whose launchers are the fake Java program
# (it records its arguments in DIR/bin/fakejava.log).
put_fake_java() {
  mkdir -p "$1/bin"
  if [ "$QEL_KIND" = wine ]; then
    cp "$QEL_BIN_DIR/fakejava.exe" "$1/bin/java.exe"
    cp "$QEL_BIN_DIR/fakejava.exe" "$1/bin/javaw.exe"
  else
    cp "$QEL_BIN_DIR/fakejava" "$1/bin/java"
  fi
}

# fake_java_args BINDIR: the arguments of the fake Java program's last
# start, one per line.
fake_java_args() {
  plain "$1/fakejava.log" | awk '/^run$/{n=0; delete a} /^arg=/{a[n++]=substr($0,5)} END{for(i=0;i<n;i++) print a[i]}'
}

# make_product BASE LINE...: a plain product below BASE: dist/ with the
# launcher, jre/ with the fake Java program, the component trees qti/, core/
# and mendra/, and a parameter file naming them, followed by the extra
# KEY=VALUE lines given.
make_product() {
  local base=$1
  shift
  make_dist "$base/dist"
  put_fake_java "$base/jre"
  mkdir -p "$base/qti/jlib" "$base/core/jlib" "$base/mendra/jlib"
  write_param "$base/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" \
    "JRE_LOCATION=$(native_path "$base/jre")" "QTI_LOCATION=$(native_path "$base/qti")" \
    "QTI_CORE_LOCATION=$(native_path "$base/core")" "MENDRA_LOCATION=$(native_path "$base/mendra")" "$@"
}

# write_param FILE LINE...: a parameter file with section [Quelta] followed
# by the given lines (KEY=VALUE), CRLF-free, in UTF-8.
write_param() {
  local file=$1
  shift
  mkdir -p "$(dirname "$file")"
  {
    echo "[Quelta]"
    for line in "$@"; do echo "$line"; done
  } >"$file"
}

# write_param_cp1252 FILE LINE...: the same in Windows-1252, as media made
# for the ANSI code page are (the lines must fit that code page).
write_param_cp1252() {
  local file=$1
  shift
  write_param "$file" "$@"
  iconv -f UTF-8 -t CP1252 "$file" >"$file.cp1252" && mv "$file.cp1252" "$file"
}

# Text as the launcher under test reads and writes it: UTF-8 on both builds
# (the Windows build declares the UTF-8 process code page). Kept for the
# scripts that still say so.
to_ansi() { cat; }
from_ansi() { cat; }

# run_in DIR PROGRAM ARGS...: runs the launcher at PROGRAM (a path without
# .exe) with the current directory DIR. Standard input comes from $STDIN (a
# file; /dev/null when unset). Sets RC (0-255), and writes $WORK/out and
# $WORK/err. $RUN_TEMP, when set, is the run's TEMP (a Linux path); Wine sets
# TEMP from its registry, so there cmd sets it on the way (and a status of
# 259 comes back as 0 through Wine's cmd).
run_in() {
  local dir=$1 program=$2
  shift 2
  local input=${STDIN:-/dev/null}
  if [ "$QEL_KIND" = wine ] && [ -n "${RUN_TEMP:-}" ]; then
    (cd "$dir" && wine cmd /c set "TEMP=$(native_path "$RUN_TEMP")" '&&' "$(native_path "$program.exe")" "$@" \
      <"$input" >"$WORK/out" 2>"$WORK/err")
  elif [ "$QEL_KIND" = wine ]; then
    (cd "$dir" && wine "$program.exe" "$@" <"$input" >"$WORK/out" 2>"$WORK/err")
  else
    (cd "$dir" && TEMP=${RUN_TEMP:-${TEMP:-$WORK/temp}} "$program" "$@" <"$input" >"$WORK/out" 2>"$WORK/err")
  fi
  RC=$?
}

# run_setup DIST ARGS...: the launcher of DIST, started from DIST.
run_setup() {
  local dist=$1
  shift
  run_in "$dist" "$dist/setup" "$@"
}

# wine_reg ARGS...: "reg" inside the shared prefix (Wine only).
wine_reg() { wine reg "$@" >/dev/null 2>&1; }

# Registry helpers that work on both builds. The Linux store lives in
# $QEL_REGISTRY_ROOT, a fresh directory per test.
reg_set_inventory() {
  if [ "$QEL_KIND" = wine ]; then
    wine_reg add 'HKLM\SOFTWARE\QUELTA' /v inst_loc /t REG_SZ /d "$(native_path "$1")" /f
  else
    mkdir -p "$QEL_REGISTRY_ROOT/HKEY_LOCAL_MACHINE/SOFTWARE/QUELTA"
    printf '%s' "$1" >"$QEL_REGISTRY_ROOT/HKEY_LOCAL_MACHINE/SOFTWARE/QUELTA/inst_loc"
  fi
}
reg_clear_inventory() {
  if [ "$QEL_KIND" = wine ]; then
    wine_reg delete 'HKLM\SOFTWARE\QUELTA' /f
  else
    rm -rf "$QEL_REGISTRY_ROOT/HKEY_LOCAL_MACHINE/SOFTWARE/QUELTA"
  fi
}

# ---------------------------------------------------------------------------
# Checks. Each failing check prints why and makes the test fail.

E2E_FAILURES=0
fail() {
  echo "    FAIL: $*" >&2
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

# expect_rc N: N is the launcher's status as a signed or unsigned number.
expect_rc() {
  local want=$(($1 & 255))
  [ "$RC" -eq "$want" ] || fail "exit status $RC, expected $want ($1)"
}

# Output files with Windows line ends turned into plain ones.
plain() { tr -d '\r' <"$1"; }

# wait_for FILE TEXT: true once a line of FILE begins with TEXT, false after
# 30 s (a bound for a program that never gets there, not a timing).
wait_for() {
  local i
  for i in $(seq 1 300); do
    plain "$1" 2>/dev/null | grep -q "^$2" && return 0
    sleep 0.1
  done
  return 1
}

expect_out_has() { plain "$WORK/out" | LC_ALL=C grep -qF -- "$1" || fail "stdout lacks: $1"; }
expect_out_lacks() { ! plain "$WORK/out" | grep -qF -- "$1" || fail "stdout holds: $1"; }
expect_err_has() { plain "$WORK/err" | grep -qF -- "$1" || fail "stderr lacks: $1"; }
expect_file_has() {
  [ -f "$1" ] || { fail "missing file $1"; return; }
  plain "$1" | grep -qF -- "$2" || fail "$1 lacks: $2"
}
expect_exists() { [ -e "$1" ] || fail "missing: $1"; }
expect_absent() { [ ! -e "$1" ] || fail "present: $1"; }
# expect_eq ACTUAL EXPECTED [WHAT]
expect_eq() { [ "$1" = "$2" ] || fail "${3:-value}: got [$1], expected [$2]"; }

# ---------------------------------------------------------------------------

e2e_main() {
  local only=${1:-}
  local passed=0 failed=0 names
  names=$(declare -F | awk '{print $3}' | grep '^test_' || true)
  for name in $names; do
    [ -n "$only" ] && [ "$name" != "$only" ] && continue
    local work
    work=$(mktemp -d "${TMPDIR:-/tmp}/qel_e2e.XXXXXX")
    (
      WORK=$work
      E2E_FAILURES=0
      export QEL_REGISTRY_ROOT=$WORK/registry
      mkdir -p "$WORK/temp"
      cd "$WORK"
      "$name"
      exit $((E2E_FAILURES > 0))
    )
    if [ $? -eq 0 ]; then
      passed=$((passed + 1))
      echo "  ok   $name ($QEL_KIND)"
    else
      failed=$((failed + 1))
      echo "  FAIL $name ($QEL_KIND)"
    fi
    chmod -R u+rwX "$work" 2>/dev/null
    rm -rf "$work"
  done
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# mkjar OUT NAME=TEXT | NAME=@FILE ...: a jar whose entries hold TEXT or the
# bytes of FILE (then executable).
mkjar() {
  mkdir -p "$(dirname "$1")"
  python3 - "$@" <<'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for entry in sys.argv[2:]:
        name, _, value = entry.partition("=")
        if value.startswith("@"):
            data, mode = open(value[1:], "rb").read(), 0o755
        else:
            data, mode = value.encode(), 0o644
        info = zipfile.ZipInfo(name)
        info.create_system = 3
        info.external_attr = (0o100000 | mode) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data)
EOF
}

#!/usr/bin/env bash
# Authenticode signing of the Windows programs (scripts/sign.sh, and the
# package command when QEL_SIGN_PKCS12 is set), with a throwaway self-signed
# code-signing certificate. A signed setup.exe must verify against that
# certificate only, keep its version resource and still run under Wine.
#
# Set by CTest: lib.sh's variables for the Windows build under Wine, and
# QEL_KIT_BUILDS, the directory holding the three builds.
source "$(dirname "$0")/../e2e/lib.sh"
SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
PASSWORD='pa ss;word"$x'

# make_signer NAME: NAME.pem (certificate) and NAME.p12 (key and
# certificate, protected by $PASSWORD) in $WORK.
make_signer() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kit test $1" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
    -keyout "$WORK/$1.key" -out "$WORK/$1.pem" 2>/dev/null || fail "no certificate"
  openssl pkcs12 -export -inkey "$WORK/$1.key" -in "$WORK/$1.pem" -out "$WORK/$1.p12" \
    -passout "pass:$PASSWORD" || fail "no PKCS#12 file"
}

sign() { QEL_SIGN_PKCS12=$WORK/$1.p12 QEL_SIGN_PASSWORD=$2 bash "$SOURCE_DIR/scripts/sign.sh" "${@:3}"; }
verifies() { osslsigncode verify -CAfile "$WORK/$1.pem" -in "$2" >"$WORK/verify.log" 2>&1; }

test_a_signed_setup_verifies_and_runs_as_before() {
  make_signer signer
  make_signer stranger
  make_dist unsigned
  make_dist signed
  sign signer "$PASSWORD" signed/setup.exe >/dev/null || fail "sign.sh failed"
  verifies signer signed/setup.exe || { fail "signature not verified"; cat "$WORK/verify.log" >&2; }
  ! verifies stranger signed/setup.exe || fail "verified against a certificate that did not sign it"
  ! verifies signer unsigned/setup.exe || fail "an unsigned program verified"
  python3 "$SOURCE_DIR/tests/packaging/pe_resources.py" signed/setup.exe >"$WORK/resources.json" ||
    fail "the signed program's resources cannot be read"
  grep -q '"OriginalFilename": "setup.exe"' "$WORK/resources.json" || fail "version resource lost"

  # Without a parameter file both end the same way: -2 and the message.
  local dir
  for dir in unsigned signed; do
    run_setup "$WORK/$dir" -SILENT
    expect_rc -2
    expect_out_has "The parameter file qelparam.ini could not be found"
    plain "$WORK/out" >"$WORK/$dir.out"
  done
  cmp -s "$WORK/unsigned.out" "$WORK/signed.out" || fail "the signed program says something else"
}

test_a_wrong_password_leaves_the_program_unsigned() {
  make_signer signer
  make_dist dist
  cp dist/setup.exe original.exe
  ! sign signer wrong dist/setup.exe 2>/dev/null || fail "signed with a wrong password"
  cmp -s original.exe dist/setup.exe || fail "the program changed"
}

test_the_package_command_signs_the_windows_kit() {
  make_signer signer
  QEL_SIGN_PKCS12=$WORK/signer.p12 QEL_SIGN_PASSWORD=$PASSWORD \
    bash "$SOURCE_DIR/scripts/package.sh" --no-build --builds "${QEL_KIT_BUILDS:-$SOURCE_DIR/build}" \
      --out "$WORK/packages" >/dev/null || fail "package.sh failed"
  python3 -m zipfile -e "$WORK"/packages/*-win32.zip kit || { fail "no Windows kit"; return; }
  local program
  for program in setup.exe unzip.exe qelcheck.exe; do
    verifies signer "kit/install/$program" || fail "$program in the kit is not signed"
  done
}

e2e_main "$@"

#!/usr/bin/env bash
# Signs Windows programs in place with an Authenticode signature
# (osslsigncode, SHA-256).
#
#   QEL_SIGN_PKCS12         the PKCS#12 file holding the code-signing key and
#                           its certificate chain
#   QEL_SIGN_PASSWORD       its password (handed over through a pipe, never
#                           on a command line)
#   QEL_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamp server, so the
#                           signature outlives the certificate
#
# Usage: bash scripts/sign.sh FILE.exe...
# scripts/package.sh signs the programs of the Windows kit this way when
# QEL_SIGN_PKCS12 is set.
set -euo pipefail
: "${QEL_SIGN_PKCS12:?QEL_SIGN_PKCS12 must name a PKCS#12 file}"
[ -r "$QEL_SIGN_PKCS12" ] || { echo "sign.sh: cannot read $QEL_SIGN_PKCS12" >&2; exit 1; }
[ $# -gt 0 ] || { echo "usage: sign.sh FILE..." >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for file in "$@"; do
  args=(sign -pkcs12 "$QEL_SIGN_PKCS12" -readpass /dev/stdin -h sha256
        -n "Quelta Setup Launcher" -in "$file" -out "$work/signed")
  if [ -n "${QEL_SIGN_TIMESTAMP_URL:-}" ]; then args+=(-ts "$QEL_SIGN_TIMESTAMP_URL"); fi
  if ! printf '%s' "${QEL_SIGN_PASSWORD-}" | osslsigncode "${args[@]}" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "sign.sh: could not sign $file" >&2
    exit 1
  fi
  # The signed copy replaces the file, with the file's own permissions.
  chmod --reference="$file" "$work/signed"
  mv "$work/signed" "$file"
  echo "signed $file"
done

#!/usr/bin/env bash
# Two builds of one commit give the same packages, byte for byte. The first
# is the test command's: its builds packed by kit_packages. The second is
# scripts/package.sh building everything again from a copy of the source
# tree in another directory, minutes later: as a customer checks a release.
# When a package differs, diffoscope (if installed) or a file-by-file
# comparison of the unpacked packages says where.
#
# Set by CTest: QEL_KIT_PACKAGES, the folder kit_packages wrote.
set -uo pipefail
: "${QEL_KIT_PACKAGES:?QEL_KIT_PACKAGES must name the packages folder}"
SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qel_repro.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# The time package.sh stamped on the first set; the copy has no git history.
SOURCE_DATE_EPOCH=$(git -C "$SOURCE_DIR" log -1 --format=%ct 2>/dev/null) ||
  { echo "not a git checkout: skipped"; exit 0; }
export SOURCE_DATE_EPOCH

# The tree as it is, uncommitted changes included (the first set was built
# from them too), without build directories or ignored files.
mkdir -p "$WORK/source"
(cd "$SOURCE_DIR" && git ls-files -z --cached --others --exclude-standard |
   while IFS= read -r -d '' f; do [ -f "$f" ] && printf '%s\0' "$f"; done |
   tar --null -T - -cf -) | tar -xf - -C "$WORK/source" || { echo "FAIL: cannot copy the source tree"; exit 1; }

echo "Second build in $WORK (progress of scripts/package.sh):"
if ! bash "$WORK/source/scripts/package.sh" --builds "$WORK/builds" --out "$WORK/packages" >"$WORK/package.log" 2>&1; then
  tail -40 "$WORK/package.log"
  echo "FAIL: scripts/package.sh failed"
  exit 1
fi
grep '^==>' "$WORK/package.log"

# where_they_differ NAME: what differs between the two copies of package NAME.
where_they_differ() {
  local a=$QEL_KIT_PACKAGES/$1 b=$WORK/packages/$1
  if command -v diffoscope >/dev/null; then
    diffoscope --max-report-size 20000 --text - "$a" "$b" | head -80
    return
  fi
  mkdir -p "$WORK/a" "$WORK/b"
  case $1 in
    *.zip) python3 -m zipfile -e "$a" "$WORK/a"; python3 -m zipfile -e "$b" "$WORK/b" ;;
    *.tar.gz) tar xzf "$a" -C "$WORK/a"; tar xzf "$b" -C "$WORK/b" ;;
    *.deb) dpkg-deb -R "$a" "$WORK/a"; dpkg-deb -R "$b" "$WORK/b" ;;
  esac
  diff -rq "$WORK/a" "$WORK/b" || echo "    (the files are the same: the difference is in the packing)"
  rm -rf "$WORK/a" "$WORK/b"
}

status=0
if ! diff "$QEL_KIT_PACKAGES/SHA256SUMS" "$WORK/packages/SHA256SUMS"; then
  status=1
  while read -r _ name; do
    name=${name#\*}
    if ! cmp -s "$QEL_KIT_PACKAGES/$name" "$WORK/packages/$name"; then
      echo "FAIL: $name differs:"
      where_they_differ "$name"
    fi
  done <"$WORK/packages/SHA256SUMS"
fi
[ "$status" = 0 ] && echo "ok: the same SHA-256 for every package:" && sed 's/^/  /' "$WORK/packages/SHA256SUMS"
exit $status

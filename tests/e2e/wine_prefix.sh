# Creates the Wine prefix the Wine end-to-end tests share (first start ~10 s).
set -eu
# A server left from an earlier run may still be writing into the old prefix.
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX" 2>/dev/null || { sleep 1; rm -rf "$WINEPREFIX"; }
# The Wine tests run in a 32-bit prefix, whatever loaders are installed;
# the 64-bit registry view has a test with a prefix of its own, and the
# 64-bit build's tests one made with QEL_WINEARCH=win64.
WINEARCH=${QEL_WINEARCH:-win32} wineboot -i >/dev/null 2>&1
wineserver -w
echo "Wine prefix ready at $WINEPREFIX"

# Creates the Wine prefix the Wine end-to-end tests share (first start ~10 s).
set -eu
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
echo "Wine prefix ready at $WINEPREFIX"

#!/bin/sh
# Makes docs/option-dialog.png: the options dialog as Wine draws it, opened by the stand-in
# host on simulated drives D: and E:. Rerun it after changing the dialog.
# Usage: tools/screenshot/dialog-screenshot.sh [build folder]   (as root it installs what is missing)
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
winerun="$build/winerun"
out="$top/docs/option-dialog.png"

missing=""
for package in imagemagick fonts-ipafont-gothic x11-utils; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q " installed$" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

shot="$build/screenshot"
rm -rf "$shot"
mkdir -p "$shot"
cp "$build/tools/quillon-host/full/Quillon.exe" "$build/Kestrune.dll" "$shot/"
printf '[Option]\r\nDrive=D:\\\r\nRunOn=1\r\nCloseOn=1\r\n' >"$shot/Kestrune.ini"

"$winerun" --prepare
export DISPLAY=":$(cat "$build/wine/xvfb.display")"
KESTRUNE_DRIVES=DE "$winerun" "$shot/Quillon.exe" setup >/dev/null 2>&1 &

caption="Kestrune オプション設定"
window=""
tries=0
while [ -z "$window" ]; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && { echo "dialog-screenshot: the dialog did not appear" >&2; "$winerun" --stop; exit 1; }
    sleep 0.1
    window=$(xwininfo -root -tree 2>/dev/null | grep "\"$caption\"" | awk '{print $1}' | head -n 1)
done
# Taken again until Wine has drawn the controls (a blank window has two colours).
tries=0
while :; do
    rm -f "$out"
    import -window "$window" "$out" 2>/dev/null || true
    [ -s "$out" ] && [ "$(identify -format %k "$out")" -gt 8 ] && break
    tries=$((tries + 1))
    [ $tries -gt 50 ] && { echo "dialog-screenshot: the dialog stayed blank" >&2; break; }
    sleep 0.2
done
"$winerun" --stop
wait || true
echo "wrote $out"

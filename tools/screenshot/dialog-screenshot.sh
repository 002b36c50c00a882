#!/bin/sh
# Makes docs/option-dialog.png: the options dialog as Wine draws it, opened by the stand-in
# host on simulated drives D: and E:. Rerun it after changing the dialog.
# Usage: tools/screenshot/dialog-screenshot.sh [build folder]
# What it needs beyond the build is installed by tools/root-steps/root-steps.sh: through sudo
# from an account, which it asks first.
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
    sudo=
    if [ "$(id -u)" != 0 ]; then
        echo "dialog-screenshot: asking sudo to run tools/root-steps/root-steps.sh, which will install$missing"
        sudo=sudo
    fi
    # shellcheck disable=SC2086 # one word a package
    $sudo /bin/sh "$top/tools/root-steps/root-steps.sh" install $missing
fi

shot="$build/screenshot"
rm -rf "$shot"
mkdir -p "$shot"
cp "$build/tools/quillon-host/full/Quillon.exe" "$build/Kestrune.dll" "$shot/"
printf '[Option]\r\nDrive=D:\\\r\nRunOn=1\r\nCloseOn=1\r\n' >"$shot/Kestrune.ini"

"$winerun" --prepare
trap '"$winerun" --stop' EXIT
DISPLAY=":$(cat "$build/wine/xvfb.display")"
export DISPLAY
KESTRUNE_DRIVES=DE "$winerun" "$shot/Quillon.exe" setup >"$shot/host.out" 2>&1 &

caption="Kestrune オプション設定"
window=""
tries=0
while [ -z "$window" ]; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && { echo "dialog-screenshot: the dialog did not appear" >&2; cat "$shot/host.out" >&2; exit 1; }
    sleep 0.1
    window=$(xwininfo -root -tree 2>/dev/null | grep "\"$caption\"" | awk '{print $1}' | head -n 1)
done
# Taken again until Wine has drawn the controls (a blank window has two colours); the
# tracked picture is replaced only by a good one.
picture="$shot/option-dialog.png"
tries=0
until [ -s "$picture" ] && [ "$(identify -format %k "$picture")" -gt 8 ]; do
    tries=$((tries + 1))
    [ $tries -gt 50 ] && { echo "dialog-screenshot: the dialog stayed blank; $out is unchanged" >&2; exit 1; }
    sleep 0.2
    rm -f "$picture"
    import -window "$window" "$picture" 2>/dev/null || true
done
mv -f "$picture" "$out"
echo "wrote $out"

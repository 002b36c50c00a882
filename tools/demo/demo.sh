#!/bin/sh
# Shows Kestrune at work in the stand-in host, on simulated optical drives D: and E:.
# Usage: tools/demo/demo.sh <build folder>
set -eu
build=$(cd "$1" && pwd)
winerun="$build/winerun"
demo="$build/demo"

rm -rf "$demo"
mkdir -p "$demo"
cp "$build/tools/quillon-host/full/Quillon.exe" "$build/Kestrune.dll" "$demo/"
log="$demo/mci.log"
export KESTRUNE_MCI_LOG="Z:$(printf '%s' "$log" | tr '/' '\\')"
export KESTRUNE_DRIVES=DE

# What the recording driver was told, in words.
explain() {
    if [ ! -s "$log" ]; then
        echo "    (nothing was sent to any drive)"
        return
    fi
    sed -e 's/^open default->\([A-Z]:\) flags=\(.*\)$/    \1  open the default cdaudio device, which is drive \1 (MCI_OPEN, flags \2)/' \
        -e 's/^open \([^ ]*\) flags=\([^ ]*\) refused$/    \1  open refused: not an optical drive (MCI_OPEN, flags \2)/' \
        -e 's/^open \([^ ]*\) flags=\(.*\)$/    \1  open the cdaudio device for this drive (MCI_OPEN, flags \2)/' \
        -e 's/^set \([^ ]*\) door-closed flags=\(.*\)$/    \1  draw the tray in (MCI_SET door closed, flags \2)/' \
        -e 's/^set \([^ ]*\) door-open flags=\(.*\)$/    \1  slide the tray out (MCI_SET door open, flags \2)/' \
        -e 's/^close \([^ ]*\) flags=\(.*\)$/    \1  close the device (MCI_CLOSE, flags \2)/' "$log"
}

# $1: "moves" when the scene must send commands to the drives, "still" when it must not;
# the rest: the host's command line.
run_host() {
    expect=$1
    shift
    rm -f "$log"
    echo "  Quillon.exe $*"
    status=0
    "$winerun" "$demo/Quillon.exe" "$@" >"$demo/host.out" || status=$?
    sed 's/\r$//; s/^/    host: /' "$demo/host.out"
    echo "  What each tray was told:"
    explain
    echo
    if [ "$status" -ne 0 ]; then
        echo "demo: Quillon.exe ended with status $status (1: the plug-in refused to load, or Wine could not start it, as said above)" >&2
        exit 1
    fi
    if [ "$expect" = moves ] && [ ! -s "$log" ]; then
        echo "demo: this retrieval brought mail, but nothing reached the drives" >&2
        exit 1
    fi
    if [ "$expect" = still ] && [ -s "$log" ]; then
        echo "demo: this retrieval brought no mail, but commands reached the drives" >&2
        exit 1
    fi
}

trap '"$winerun" --stop' EXIT

echo "== 1. Kestrune.ini: Drive=全て, RunOn=1, CloseOn=1"
printf '[Option]\r\nDrive=全て\r\nRunOn=1\r\nCloseOn=1\r\n' | iconv -f UTF-8 -t CP932 >"$demo/Kestrune.ini"
run_host moves name retrieve 3

echo "== 2. The default run: no Kestrune.ini"
rm -f "$demo/Kestrune.ini"
run_host moves retrieve 1

echo "== 3. A retrieval that brings no mail moves nothing"
run_host still retrieve 0

#!/bin/sh
# Shows Kestrune at work in the stand-in host, on simulated optical drives D: and E:.
# Usage: tools/demo/demo.sh <build folder> [--in-session]
# --in-session: the Wine session is the caller's (a test run's), so it is left running.
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

# What one tray is told: $1 the device as the driver logs its open ("D:", "default->D:"), $2 the
# open's flags, $3 "in" to draw the tray in first.
tray() {
    echo "open $1 flags=$2"
    if [ "${3:-}" = in ]; then echo "set ${1#default->} door-closed flags=0x202"; fi
    echo "set ${1#default->} door-open flags=0x102"
    echo "close ${1#default->} flags=0x2"
}

# $1: what the scene must tell the drives, one command a line, or nothing; the rest: the
# host's command line.
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
    if [ "$(cat "$log" 2>/dev/null || true)" != "$expect" ]; then
        printf 'demo: the drives were not told what this scene says:\n%s\n' "${expect:-(nothing)}" >&2
        exit 1
    fi
}

[ "${2:-}" = --in-session ] || trap '"$winerun" --stop' EXIT

echo "== 1. Kestrune.ini: Drive=全て, RunOn=1, CloseOn=1"
printf '[Option]\r\nDrive=全て\r\nRunOn=1\r\nCloseOn=1\r\n' | iconv -f UTF-8 -t CP932 >"$demo/Kestrune.ini"
run_host "$(tray D: 0x2202 in; tray E: 0x2202 in)" name retrieve 3

echo "== 2. The default run: no Kestrune.ini"
rm -f "$demo/Kestrune.ini"
run_host "$(tray 'default->D:' 0x2002)" retrieve 1

echo "== 3. A retrieval that brings no mail moves nothing"
run_host "" retrieve 0

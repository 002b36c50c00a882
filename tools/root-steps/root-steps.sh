#!/bin/sh
# Everything the project's scripts need root for, and nothing else. Run as root only; the steps
# to take are its arguments, in this order:
#   root-steps.sh [i386-auto | i386-native | i386-emulate] [install PACKAGE...]
# install: adds dpkg's i386 architecture if a package is an :i386 one, then installs those of
#   the packages that are missing. apt shows what it installs or upgrades, keeps existing
#   configuration files, and removes nothing: a conflict stops the step with a sentence.
# i386-MODE: leaves 32-bit x86 programs running natively, or through qemu-i386 registered in
#   binfmt_misc (auto: natively where the kernel can; see docs/32-bit.md).
# It reads nothing of its caller's but these arguments: not the environment (it starts again
# in an empty one), not the build folder. The 32-bit program it runs to test the kernel is one
# it writes itself into a folder that only root can write. At the end it says how to undo each
# lasting change to the machine.
set -eu
if [ "${1:-}" != --clean ]; then
    exec /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 /bin/sh "$0" --clean "$@"
fi
shift
umask 022
cd /
me=root-steps.sh
[ "$(id -u)" = 0 ] || { echo "$me: run it as root" >&2; exit 1; }

# The same names as in tools/wine-run/i386.sh, which the build's scripts read.
binfmt=/proc/sys/fs/binfmt_misc
handler=$binfmt/kestrune-i386
emulator=/usr/bin/qemu-i386
backports=/etc/apt/sources.list.d/kestrune-backports.sources

undo=
undo() { undo="$undo
    $1"; }
fail() { echo "$me: $*" >&2; exit 1; }

# What a run cut short leaves as it was: a registration switched off only for the probe, and
# an apt source added for qemu-user that did not install.
switched_off=
added_source=
restore() {
    if [ -n "$switched_off" ]; then echo 1 >"$handler"; fi
    switched_off=
    if [ -n "$added_source" ]; then rm -f "$backports"; apt-get update -qq || true; fi
    added_source=
}
# However the run ends, it says how to undo what it changed.
finish() {
    restore
    if [ -f "$backports" ]; then
        undo "the apt source for qemu-user: rm $backports && apt-get update"
    fi
    if [ -n "$undo" ]; then
        echo "$me: to undo what is left on the machine, as root:$undo"
    fi
}
trap finish EXIT
trap 'exit 130' INT TERM HUP

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q ' installed$'
}

apt_install() {
    # Tried first without acting: apt would remove a package that conflicts (another Wine
    # build, say) to make room, and that is the machine owner's call.
    removals=$(apt-get install -s --no-install-recommends "$@" 2>/dev/null | sed -n 's/^Remv \([^ ]*\).*/\1/p' | tr '\n' ' ')
    if [ -n "$removals" ]; then
        asked="$*"
        fail "installing ${asked#-t * } would remove ${removals% }, which conflicts with it, so nothing" \
             "was installed; remove or replace that yourself if you want, then run this again"
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends --no-remove \
        -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "$@"
}

install_packages() {
    missing=
    for package in "$@"; do
        case "$package" in
        "" | [!a-z0-9]* | *[!a-z0-9+.:-]*) fail "not a package name: '$package'" ;;
        esac
        installed "$package" || missing="$missing $package"
    done
    [ -n "$missing" ] || return 0
    case "$missing " in
    *:i386\ *)
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
            # apt counts libc6:i386 as essential, though the system's own libc6 is another package.
            undo "the i386 architecture: apt-get purge --allow-remove-essential '?installed ?architecture(i386)' && dpkg --remove-architecture i386"
        fi
        ;;
    esac
    apt-get update -q
    # shellcheck disable=SC2086 # one word a package
    apt_install $missing
}

recent() { [ -n "$1" ] && [ "$1" != "(none)" ] && dpkg --compare-versions "$1" ge 1:10; }

backports_are_debians() {
    apt-get indextargets --format '$(CODENAME)|$(ORIGIN)|$(TRUSTED)' | grep -qx 'bookworm-backports|Debian Backports|yes'
}

# qemu-user 10 or later: older ones crash under Wine. Debian 13's own suite has it, Debian 12's
# backports suite too, taken from the mirror of Debian's own that already serves bookworm.
install_emulator() {
    recent "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)" && return 0
    # A source that does not answer is judged below, not here.
    apt-get update -q || true
    if recent "$(apt-cache policy qemu-user | awk '$1 == "Candidate:" { print $2 }')"; then
        apt_install qemu-user
        fresh=
        return 0
    fi
    [ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = bookworm ] ||
        fail "no qemu-user 10 or later is offered for this system, and 32-bit x86 programs need it here"
    # An earlier build.sh took the first mirror that served bookworm, whoever's it was.
    if [ -f "$backports" ] && ! backports_are_debians; then
        rm -f "$backports"
        echo "$me: removed $backports, which did not serve Debian's bookworm-backports"
    fi
    if [ ! -f "$backports" ]; then
        mirror=$(apt-get indextargets --format '$(CODENAME)|$(ORIGIN)|$(LABEL)|$(TRUSTED)|$(REPO_URI)' |
                 awk -F '|' '$1 == "bookworm" && $2 == "Debian" && $3 == "Debian" && $4 == "yes" { print $5; exit }')
        [ -n "$mirror" ] || fail "no apt source of Debian's serves bookworm, so qemu-user cannot come from its backports suite"
        added_source=yes
        printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$mirror" >"$backports"
        apt-get update -q || true
        backports_are_debians || fail "the suite bookworm-backports of $mirror could not be read as Debian's, so it was not added"
    fi
    apt_install -t bookworm-backports qemu-user
    fresh=
    added_source=
}

# A program of 96 bytes that only exits with status 42, run from a folder of root's own.
probe_runs() {
    folder=$(mktemp -d /tmp/kestrune-probe.XXXXXX)
    printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\273\052\000\000\000\270\001\000\000\000\315\200' >"$folder/probe"
    chmod 700 "$folder/probe"
    status=0
    "$folder/probe" >/dev/null 2>&1 || status=$?
    rm -rf "$folder"
    [ "$status" != 126 ] || fail "/tmp does not let programs run, so the kernel could not be tested"
    [ "$status" = 42 ]
}

enabled() { [ -f "$handler" ] && head -n 1 "$handler" | grep -qx enabled; }

# Ours, opened at registration (F), and made since the emulator was last installed: the one
# that runs is then the one installed.
current() {
    installed=$(stat -c %Z "$emulator" 2>/dev/null) && [ -f "$handler" ] && grep -qx "interpreter $emulator" "$handler" &&
        grep -q '^flags: .*F' "$handler" && [ "$(stat -c %Y "$handler")" -ge "$installed" ]
}

register_emulator() {
    if [ -n "$fresh" ]; then
        enabled || echo 1 >"$handler"
        return 0
    fi
    if [ -f "$handler" ]; then echo -1 >"$handler"; fi
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":${handler##*/}:M::$magic:$mask:$emulator:F" >"$binfmt/register"
}

setup_i386() {
    # An earlier build.sh pinned every package of bookworm-backports but qemu-user to -10,
    # which stops their upgrades.
    if [ -f /etc/apt/preferences.d/kestrune-backports ]; then
        rm -f /etc/apt/preferences.d/kestrune-backports
        echo "$me: removed /etc/apt/preferences.d/kestrune-backports, an earlier pin that kept other backports from being upgraded"
    fi
    # A registration stays in force where binfmt_misc is not mounted (a chroot, say), so
    # without it a probe that runs could be emulated.
    if [ ! -f "$binfmt/register" ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt"
        undo "the mount of binfmt_misc: umount $binfmt"
    fi
    # Judged before the probe switches it off and on, which the kernel counts as a change.
    fresh=
    if current; then fresh=yes; fi
    case "$1" in
    auto | native)
        if enabled; then
            switched_off=yes
            echo 0 >"$handler"
        fi
        if probe_runs; then
            switched_off=
            if [ -f "$handler" ]; then echo -1 >"$handler"; fi
            echo "32-bit x86: native (this machine's kernel runs such programs)"
            return 0
        fi
        restore
        [ "$1" = auto ] || fail "this machine cannot run 32-bit x86 programs, and KESTRUNE_I386=native rules out the emulator"
        reason="this machine's kernel cannot run 32-bit x86 programs"
        ;;
    emulate) reason="KESTRUNE_I386=emulate" ;;
    *) fail "unknown step i386-$1" ;;
    esac
    install_emulator
    register_emulator
    undo "the emulator's registration: echo -1 > $handler"
    probe_runs || fail "$reason, and $emulator, registered for them, did not run one either"
    echo "32-bit x86: emulated by $("$emulator" --version | head -n 1) ($reason), registered in" \
         "$handler for every account's 32-bit x86 programs until a reboot, or until a native run" \
         "or an auto one as root finds that the kernel runs them"
}

case "${1:-}" in
i386-*)
    mode=${1#i386-}
    shift
    ;;
*) mode= ;;
esac
if [ -n "${1:-}" ]; then
    [ "$1" = install ] || fail "unknown step '$1' (steps: i386-auto, i386-native, i386-emulate, install PACKAGE...)"
    shift
    install_packages "$@"
fi
[ -z "$mode" ] || setup_i386 "$mode"

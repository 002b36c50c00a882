#!/bin/sh
# Builds Kestrune and its test fixtures (cross, for 32-bit Windows) and runs them under Wine.
#   ./build.sh demo    build everything, then show the demo
#   ./build.sh test    build everything, then run all tests
#   ./build.sh release build everything, then make build/Kestrune-<version>.zip and its
#                      .sha256, the same bytes for the same commit (see docs/release.md)
#   ./build.sh bench   build everything, then run the benchmark
#   ./build.sh soak    build everything, then run the whole soak: 10,000 retrieval ends,
#                      200 dialogs, 2,000 loads (docs/measurements.md has its times)
# On Debian 12 or 13 as root it first installs whatever is missing. Where the kernel cannot run
# 32-bit x86 programs it registers an emulator for them; KESTRUNE_I386=auto (the default),
# native or emulate chooses (see docs/32-bit.md).
set -eu
cd "$(dirname "$0")"
build=${KESTRUNE_BUILD_DIR:-build}
. tools/wine-run/i386.sh

# wine64 too, so that the wine server runs natively even where the Windows programs are
# emulated; zip writes the release package; the IPA Gothic fonts stand in for the dialog's
# Windows font in the test prefixes.
packages="cmake make g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb doctest-dev locales zip fonts-ipafont-gothic"

need_root() {
    if [ "$(id -u)" != 0 ]; then
        echo "build.sh: run as root $1, or do it yourself" >&2
        exit 1
    fi
}

missing_packages() {
    for package in $packages; do
        status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
        case "$status" in
        *" installed") ;;
        *) printf '%s ' "$package" ;;
        esac
    done
}

install_missing() {
    missing=$(missing_packages)
    [ -z "$missing" ] && return 0
    echo "installing: $missing"
    need_root "to install them"
    case " $(dpkg --print-foreign-architectures | tr '\n' ' ') " in
    *" i386 "*) ;;
    *) dpkg --add-architecture i386 ;;
    esac
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# The emulator: qemu-user 10 or later (older ones crash under Wine). Debian 13's own suite has
# it; on Debian 12 it comes from the backports suite of the mirror that already serves
# bookworm, with a pin that keeps every other package of that suite out.
install_emulator() {
    if qemu_user_is_recent "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)"; then
        return 0
    fi
    apt-get update -qq
    if ! qemu_user_is_recent "$(apt-cache policy qemu-user | awk '$1 == "Candidate:" { print $2 }')"; then
        release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
        if [ "$release" != bookworm ]; then
            echo "build.sh: no qemu-user 10 or later is offered for this system" \
                 "($(. /etc/os-release && echo "${PRETTY_NAME:-unknown}")), and 32-bit x86 programs need it here" >&2
            exit 1
        fi
        add_bookworm_backports
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user >/dev/null
}

qemu_user_is_recent() {
    [ -n "$1" ] && [ "$1" != "(none)" ] && dpkg --compare-versions "$1" ge 1:10
}

add_bookworm_backports() {
    mirror=$(apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 2>/dev/null |
             awk '$1 == "bookworm" { print $2; exit }')
    if [ -z "$mirror" ]; then
        echo "build.sh: no apt source serves bookworm, so qemu-user cannot come from its backports suite" >&2
        exit 1
    fi
    cat >/etc/apt/sources.list.d/kestrune-backports.sources <<EOF
Types: deb
URIs: $mirror
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    cat >/etc/apt/preferences.d/kestrune-backports <<EOF
Package: *
Pin: release n=bookworm-backports
Pin-Priority: -10

Package: qemu-user
Pin: release n=bookworm-backports
Pin-Priority: 500
EOF
    apt-get update -qq
}

# Where registrations are seen and made; a chroot may not have it mounted.
mount_binfmt() {
    [ -f "$i386_binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$i386_binfmt"
}

# Registers qemu-i386 for i386 ELF programs; a working registration of ours stays as it is.
register_emulator() {
    mount_binfmt
    if [ -f "$i386_handler" ]; then
        if grep -qx "interpreter $i386_emulator" "$i386_handler" && grep -q '^flags: .*F' "$i386_handler"; then
            i386_handler_enabled || echo 1 >"$i386_handler"
            return 0
        fi
        echo -1 >"$i386_handler"
    fi
    # The interpreter is opened now (F), so it also serves inside other mount namespaces.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":${i386_handler##*/}:M::$magic:$mask:$i386_emulator:F" >"$i386_binfmt/register"
}

unregister_emulator() {
    [ -w "$i386_handler" ] && echo -1 >"$i386_handler"
    return 0
}

# Leaves the machine running 32-bit x86 programs, natively or emulated as KESTRUNE_I386
# says, and tells in one line which and why.
setup_i386() {
    mode=${KESTRUNE_I386:-auto}
    mkdir -p "$build"
    probe="$build/i386-probe"
    i386_write_probe "$probe"
    case "$mode" in
    auto | native)
        # Native whenever the kernel can: a handler of ours is switched off to find out. A
        # registration stays in force where binfmt_misc is not mounted (a chroot, say), so it
        # is mounted first, or the probe could run emulated and be taken for native.
        [ "$(id -u)" = 0 ] && { mount_binfmt 2>/dev/null || true; }
        [ -w "$i386_handler" ] && echo 0 >"$i386_handler"
        # Only root can switch it off: while it stands, every 32-bit program runs emulated,
        # and a probe that runs proves nothing about the kernel.
        if i386_handler_enabled; then
            if [ "$mode" = native ]; then
                echo "build.sh: KESTRUNE_I386=native, but only root can switch off the emulator" \
                     "registered in $i386_handler" >&2
                exit 1
            fi
            i386_used=emulated
            echo "32-bit x86: emulated through the registration in $i386_handler, which only root can switch off"
            return 0
        fi
        if i386_probe_runs "$probe"; then
            unregister_emulator
            i386_used=native
            echo "32-bit x86: native (this machine's kernel runs such programs)"
            return 0
        fi
        if [ "$mode" = native ]; then
            unregister_emulator
            echo "build.sh: this machine cannot run 32-bit x86 programs, and KESTRUNE_I386=native" \
                 "rules out the emulator that would run them" >&2
            exit 1
        fi
        reason="this machine's kernel cannot run 32-bit x86 programs"
        ;;
    emulate)
        reason="KESTRUNE_I386=emulate"
        ;;
    *)
        echo "build.sh: KESTRUNE_I386 is auto, native or emulate, not '$mode'" >&2
        exit 2
        ;;
    esac
    need_root "to set up an emulator for 32-bit x86 programs ($reason)"
    install_emulator
    register_emulator
    if ! i386_probe_runs "$probe"; then
        echo "build.sh: $reason, and the emulator registered for them ($i386_emulator) did not run one either" >&2
        exit 1
    fi
    i386_used=emulated
    echo "32-bit x86: emulated by $($i386_emulator --version | head -n 1) ($reason), registered" \
         "machine-wide until the next auto or native run, or a reboot"
}

# $1: "run" when Wine programs will run afterwards.
build_all() {
    install_missing
    [ "${1:-}" = run ] && setup_i386
    # A configure that failed leaves a cache but no build files: configure again then.
    if [ ! -f "$build/CMakeCache.txt" ] || [ ! -f "$build/Makefile" ]; then
        cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
    fi
    cmake --build "$build" -j "$(nproc)"
}

stop_wine() {
    [ -x "$build/winerun" ] && "$build/winerun" --stop
    return 0
}

case "${1:-}" in
demo)
    build_all run
    tools/demo/demo.sh "$build"
    ;;
test)
    build_all run
    ctest --test-dir "$build" --output-on-failure -j 2
    ;;
bench)
    build_all run
    trap stop_wine EXIT
    echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)," \
         "$(wine --version), 32-bit x86 $i386_used, $(date -u +%Y-%m-%d)"
    KESTRUNE_DRIVES=DE "$build/winerun" "$build/tools/benchmark/kestrune_bench.exe"
    ;;
soak)
    build_all run
    # The whole output goes to a file, so that the soak's own status is the one reported.
    log="$build/soak.log"
    status=0
    KESTRUNE_SOAK_SCALE=10 ctest --test-dir "$build" --output-on-failure -V -R '^soak$' >"$log" 2>&1 || status=$?
    grep -E 'MESSAGE|tests passed|Failed' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "build.sh: the soak failed; its whole output is in $log" >&2
        exit "$status"
    fi
    ;;
release)
    build_all
    cmake --build "$build" --target release-zip
    ;;
*)
    echo "usage: ./build.sh demo | test | release | bench | soak" >&2
    exit 2
    ;;
esac

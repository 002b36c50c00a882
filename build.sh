#!/bin/sh
# Builds Kestrune and its test fixtures (cross, for 32-bit Windows) and runs them under Wine.
#   ./build.sh demo    build everything, then show the demo
#   ./build.sh test    build everything, then run all tests
#   ./build.sh release build everything, then make build/Kestrune-<version>.zip and its
#                      .sha256, the same bytes for the same commit (see docs/release.md)
#   ./build.sh bench   build everything, then run the benchmark
#   ./build.sh soak    build everything, then run the whole soak: 10,000 retrieval ends,
#                      200 dialogs, 2,000 loads (docs/measurements.md has its times)
# On Debian 12 or 13 it first installs whatever is missing. Where the kernel cannot run 32-bit
# x86 programs it registers an emulator for them; KESTRUNE_I386=auto (the default), native or
# emulate chooses (see docs/32-bit.md). Only those steps need root. From another account it
# asks sudo for them, saying which, and only when one is needed; run through sudo, it does
# them as root and everything else as the account that called sudo, leaving build/ to it.
set -eu
cd "$(dirname "$0")"
script=$(pwd -P)/${0##*/}
command=${1:-}
build=${KESTRUNE_BUILD_DIR:-build}
. tools/wine-run/i386.sh

# Run through sudo, the build folder is left to the account that called it.
owner=
if [ "$(id -u)" = 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    owner=$SUDO_USER
fi

# wine64 too, so that the wine server runs natively even where the Windows programs are
# emulated; zip writes the release package; the IPA Gothic fonts stand in for the dialog's
# Windows font in the test prefixes.
packages="cmake make g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb doctest-dev locales zip fonts-ipafont-gothic"

# Root's steps run where this is true, as root. Elsewhere it notes in $root_needs what root
# must do, and the caller stops there: one run through sudo then does it.
as_root() {
    [ "$(id -u)" = 0 ] && return 0
    root_needs=$1
    return 1
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

has_i386_architecture() {
    case " $(dpkg --print-foreign-architectures | tr '\n' ' ') " in
    *" i386 "*) return 0 ;;
    esac
    return 1
}

install_missing() {
    missing=$(missing_packages)
    [ -z "$missing" ] && return 0
    echo "installing: $missing"
    has_i386_architecture || dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# The emulator: qemu-user 10 or later (older ones crash under Wine). Debian 13's own suite has
# it; on Debian 12 it comes from the backports suite of the mirror that already serves
# bookworm, with a pin that keeps every other package of that suite out.
install_emulator() {
    if installed_qemu_user_is_recent; then
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

installed_qemu_user_is_recent() {
    qemu_user_is_recent "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)"
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

# Ours: qemu-i386, opened at registration (F).
registered_as_ours() {
    [ -f "$i386_handler" ] && grep -qx "interpreter $i386_emulator" "$i386_handler" &&
        grep -q '^flags: .*F' "$i386_handler"
}

# Nothing left for root to do: a recent enough qemu-user, registered as ours and switched on.
emulator_in_force() {
    installed_qemu_user_is_recent &&
        registered_as_ours && i386_handler_enabled
}

# Registers qemu-i386 for i386 ELF programs; a working registration of ours stays as it is.
register_emulator() {
    mount_binfmt
    if [ -f "$i386_handler" ]; then
        if registered_as_ours; then
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
# says, and puts in $i386_line which and why. The probe is already in the build folder.
setup_i386() {
    mode=${KESTRUNE_I386:-auto}
    probe="$build/i386-probe"
    case "$mode" in
    auto | native)
        # Native whenever the kernel can: a handler of ours is switched off to find out. A
        # registration stays in force where binfmt_misc is not mounted (a chroot, say), so it
        # is mounted first, or the probe could run emulated and be taken for native.
        if [ ! -f "$i386_binfmt/register" ]; then
            as_root "mount binfmt_misc to see whether an emulator is registered for 32-bit x86 programs (and, if they do not run, install qemu-user and register it)" || return 0
            mount_binfmt 2>/dev/null || true
        fi
        # Only root can switch it off, and while it is off every 32-bit program started on the
        # machine fails where the kernel cannot run them. So a run from another account asks
        # sudo to only when KESTRUNE_I386=native; in auto mode it keeps the registration.
        switch_off=no
        [ "$mode" = native ] && switch_off=yes
        [ "$(id -u)" = 0 ] && [ -z "${KESTRUNE_ROOT_STEPS:-}" ] && switch_off=yes
        if [ "$switch_off" = yes ] && i386_handler_enabled; then
            as_root "switch off the emulator registered in $i386_handler to see whether the kernel runs 32-bit x86 programs (KESTRUNE_I386=native)" || return 0
            echo 0 >"$i386_handler"
        fi
        # While it stands, every 32-bit program runs emulated, and a probe that runs proves
        # nothing about the kernel.
        if i386_handler_enabled; then
            i386_used=emulated
            i386_line="32-bit x86: emulated through the registration in $i386_handler, which only root can switch off"
            return 0
        fi
        if i386_probe_runs "$probe"; then
            unregister_emulator
            i386_used=native
            i386_line="32-bit x86: native (this machine's kernel runs such programs)"
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
    if ! emulator_in_force; then
        wanted="register $i386_emulator in binfmt_misc for 32-bit x86 programs ($reason)"
        if ! installed_qemu_user_is_recent; then
            from=
            [ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = bookworm ] &&
                from=" from bookworm-backports (added as an apt source if need be)"
            wanted="install qemu-user 10 or later$from and $wanted"
        fi
        as_root "$wanted" || return 0
        install_emulator
        register_emulator
    fi
    if ! i386_probe_runs "$probe"; then
        echo "build.sh: $reason, and the emulator registered for them ($i386_emulator) did not run one either" >&2
        exit 1
    fi
    i386_used=emulated
    i386_line="32-bit x86: emulated by $($i386_emulator --version | head -n 1) ($reason), registered machine-wide until a native run, an auto one as root (sudo included), or a reboot"
}

# After root's steps: root leaves a registration of ours in force only where it emulates.
i386_in_use() {
    if i386_handler_enabled; then
        i386_used=emulated
    else
        i386_used=native
    fi
}

# Writes the probe as the account the build folder belongs to, making the folder if need be.
write_probe() {
    as_owner sh -c '. tools/wine-run/i386.sh && mkdir -p "$1" && i386_write_probe "$1/i386-probe"' sh "$build"
}

as_owner() {
    if [ -n "$owner" ]; then
        runuser -u "$owner" -- "$@"
    else
        "$@"
    fi
}

# From an account that is not root: root's steps that are needed, done through sudo in one go.
# $1: "run" when Wine programs will run afterwards.
root_steps_through_sudo() {
    steps=
    what=
    missing=$(missing_packages)
    if [ -n "$missing" ]; then
        steps=packages
        what="install ${missing% }"
        has_i386_architecture || what="add the i386 architecture to dpkg and $what"
    fi
    root_needs=
    if [ "${1:-}" = run ]; then
        setup_i386
        if [ -n "$root_needs" ]; then
            steps="$steps i386"
            what="${what:+$what, and }$root_needs"
        fi
    fi
    if [ -n "$steps" ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "build.sh: root must $what, and sudo is not installed: install sudo and let" \
                 "this account use it, or run ./build.sh $command as root" >&2
            exit 1
        fi
        echo "build.sh: asking sudo to $what"
        if ! sudo -v; then
            echo "build.sh: sudo refused, so none of that was done: let this account use sudo," \
                 "or run ./build.sh $command as root" >&2
            exit 1
        fi
        if ! sudo env KESTRUNE_ROOT_STEPS="$steps" KESTRUNE_I386="${KESTRUNE_I386:-auto}" \
                KESTRUNE_BUILD_DIR="$build" sh "$script" "$command"; then
            echo "build.sh: the steps run through sudo did not complete, as said above" >&2
            exit 1
        fi
    fi
    if [ "${1:-}" = run ]; then
        # Through sudo, root said which.
        if [ -n "$root_needs" ]; then
            i386_in_use
        else
            echo "$i386_line"
        fi
    fi
}

# Stops a run that could not write what an earlier run as root left in the build folder.
check_build_folder() {
    [ -n "$(find "$build/." -user 0 -print -quit 2>/dev/null)" ] || return 0
    again="./build.sh $command"
    [ -n "${KESTRUNE_BUILD_DIR:-}" ] && again="env KESTRUNE_BUILD_DIR=$build $again"
    echo "build.sh: $build holds files of root's, left by an earlier run as root: 'sudo $again'" \
         "hands it to this account, or remove it with 'sudo rm -rf $build'" >&2
    exit 1
}

# A folder an older build.sh made as root: this checkout's build folder (its CMake cache names
# this source folder), or one that holds nothing but the probe.
build_of_this_checkout() {
    home=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
    if [ -n "$home" ]; then
        [ "$(cd "$home" 2>/dev/null && pwd -P)" = "$(pwd -P)" ]
    else
        for entry in "$build"/* "$build"/.[!.]* "$build"/..?*; do
            [ -e "$entry" ] || [ -L "$entry" ] || continue
            [ "$entry" = "$build/i386-probe" ] || return 1
        done
    fi
}

# Run through sudo: the build folder is made as the account that called sudo, and one left to
# root by an older build.sh is handed back to it, but never a folder that is not this
# checkout's (a KESTRUNE_BUILD_DIR pointing elsewhere). Where that account cannot read this
# checkout or make the folder (a checkout in root's home, say), the build stays root's, as in
# a run as root.
leave_build_to_owner() {
    case "$build" in
    /*) folder=$build ;;
    *) folder=$(pwd -P)/$build ;;
    esac
    if ! runuser -u "$owner" -- sh -c 'test -r "$1/CMakeLists.txt" && { test -d "$2" || test -w "${2%/*}"; }' \
            sh "$(pwd -P)" "$folder" 2>/dev/null; then
        echo "build.sh: $owner cannot read this checkout or make $build in it, so $build stays root's"
        owner=
        return 0
    fi
    if [ -n "$(find "$build/." -user 0 -print -quit 2>/dev/null)" ]; then
        if ! build_of_this_checkout; then
            echo "build.sh: $build holds files of root's but is not a build folder of this checkout," \
                 "so it is not handed to $owner: remove it, or choose another KESTRUNE_BUILD_DIR" >&2
            exit 1
        fi
        echo "build.sh: handing $build, left to root by an earlier run, back to $owner (its Wine" \
             "prefixes are made again)"
        # Debian's Wine ties a prefix to a server folder of its maker's under /tmp (the file
        # "wineserver" in it), which no other account may enter: root's session of this folder
        # ends, and its prefixes, display and locale go, to be made again as that account.
        if [ -x "$build/winerun" ]; then
            "$build/winerun" --stop || true
        fi
        rm -rf "$build/wine"
        find "$build/." -user 0 -exec chown -h "$owner:" {} +
    fi
    runuser -u "$owner" -- mkdir -p "$build"
}

# $1: "run" when Wine programs will run afterwards.
build_all() {
    # Functions run here outside && and || lists, where set -e would not stop them at a
    # failed command.
    if [ "$(id -u)" != 0 ]; then
        check_build_folder
        if [ -n "${KESTRUNE_ROOT_DONE:-}" ]; then
            # Root has done its steps, and said which way 32-bit x86 programs run.
            i386_used=${KESTRUNE_I386_USED:-}
        else
            if [ "${1:-}" = run ]; then
                write_probe
            fi
            root_steps_through_sudo "${1:-}"
        fi
    elif [ -n "${KESTRUNE_ROOT_STEPS:-}" ]; then
        # Asked through sudo by a run from another account: just these steps.
        case " $KESTRUNE_ROOT_STEPS " in *" packages "*) install_missing ;; esac
        case " $KESTRUNE_ROOT_STEPS " in
        *" i386 "*)
            setup_i386
            echo "$i386_line"
            ;;
        esac
        exit 0
    else
        if [ -n "$owner" ]; then
            leave_build_to_owner
        fi
        install_missing
        if [ "${1:-}" = run ]; then
            write_probe
            setup_i386
            echo "$i386_line"
        fi
        if [ -n "$owner" ]; then
            # The rest as the account that called sudo, which then owns all it makes.
            export KESTRUNE_ROOT_DONE=1 KESTRUNE_I386_USED="${i386_used:-}"
            exec runuser -u "$owner" -- sh "$script" "$command"
        fi
    fi
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

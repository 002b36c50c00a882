#!/bin/sh
# Builds Kestrune and its test fixtures (cross, for 32-bit Windows) and runs them under Wine.
#   ./build.sh demo    build everything, then show the demo
#   ./build.sh test    build everything, then run all tests
#   ./build.sh release build everything, then make build/Kestrune-<version>.zip and its
#                      .sha256, the same bytes for the same commit (see docs/release.md)
#   ./build.sh bench   build everything, then run the benchmark
#   ./build.sh soak    build everything, then run the whole soak: 10,000 retrieval ends,
#                      200 dialogs, 2,000 loads (docs/measurements.md has its times)
# On Debian 12 or 13 it first has tools/root-steps/root-steps.sh install what is missing and,
# for the commands that run Windows programs, set up 32-bit x86 programs as KESTRUNE_I386 says
# (auto, the default, native or emulate; see docs/32-bit.md). From an account it asks sudo for
# that once, saying what will change, and only when something is needed. As root it runs those
# steps itself, and the build then runs as the account that owns this checkout.
set -eu
cd "$(dirname "$0")"
command=${1:-}
build=${KESTRUNE_BUILD_DIR:-build}
mode=${KESTRUNE_I386:-auto}
root_steps=$(pwd -P)/tools/root-steps/root-steps.sh
. tools/wine-run/i386.sh

# wine64 too, so that the wine server runs natively even where the Windows programs are
# emulated; zip writes the release package and unzip reads its comment; the IPA Gothic fonts
# stand in for the dialog's Windows font in the test prefixes.
packages="cmake make g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb doctest-dev locales zip unzip fonts-ipafont-gothic"

case "$command" in
demo | test | bench | soak) runs=yes ;;
release) runs= ;;
*)
    echo "usage: ./build.sh demo | test | release | bench | soak" >&2
    exit 2
    ;;
esac
case "$mode" in
auto | native | emulate) ;;
*)
    echo "build.sh: KESTRUNE_I386 is auto, native or emulate, not '$mode'" >&2
    exit 2
    ;;
esac

say_quoted() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }

missing_packages() {
    for package in $packages; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$' || printf ' %s' "$package"
    done
}

# Root's own registration, made since qemu-user was last installed, so the one that runs.
emulator_current() {
    installed=$(stat -c %Z "$i386_emulator" 2>/dev/null) && grep -qx "interpreter $i386_emulator" "$i386_handler" &&
        [ "$(stat -c %Y "$i386_handler")" -ge "$installed" ]
}

# Puts in $needs what root must do for 32-bit x86 programs, in words, or nothing.
i386_needs() {
    emulator="register $i386_emulator in binfmt_misc, where it then runs every account's 32-bit x86 programs until a reboot"
    if ! dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)" ge 1:10; then
        from=
        if [ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = bookworm ]; then
            from=" from bookworm-backports"
            [ -f /etc/apt/sources.list.d/kestrune-backports.sources ] || from="$from (adding it as an apt source)"
        fi
        emulator="install qemu-user 10 or later$from and $emulator"
    fi
    needs=
    if [ ! -f "$i386_binfmt/register" ]; then
        needs="mount binfmt_misc to see whether the kernel runs 32-bit x86 programs, and if it cannot, $emulator"
    elif i386_handler_enabled; then
        # In auto mode a registration in force is kept: switching it off to probe the kernel
        # would make every 32-bit program started meanwhile fail, other accounts' too.
        case "$mode" in
        native) needs="switch off and remove the emulator's registration $i386_handler" ;;
        *) emulator_current || needs="register $i386_emulator anew: the registration in force predates the qemu-user installed" ;;
        esac
    elif [ "$mode" = emulate ]; then
        needs=$emulator
    else
        i386_write_probe "$build/i386-probe"
        if ! i386_probe_runs "$build/i386-probe"; then
            [ "$mode" = auto ] || { i386_cannot_run build.sh; exit 1; }
            needs="$emulator (this machine's kernel cannot run 32-bit x86 programs)"
        fi
    fi
}

# Stops a build as an account in a folder holding root's files (an earlier run as root left
# them, or KESTRUNE_BUILD_DIR names a folder of root's).
check_build_folder() {
    [ -n "$(find "$build/." -user 0 -print -quit 2>/dev/null)" ] || return 0
    home=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
    if [ -n "$home" ] && [ "$(cd "$home" 2>/dev/null && pwd -P)" = "$(pwd -P)" ]; then
        echo "build.sh: $build holds files of root's, left by an earlier run as root; remove it, then run" \
             "again:" >&2
        echo "    sudo rm -rf -- $(say_quoted "$(cd "$build" && pwd -P)")" >&2
    else
        echo "build.sh: $build holds files of root's and is not a build folder of this checkout:" \
             "choose another KESTRUNE_BUILD_DIR" >&2
    fi
    exit 1
}

if [ "$(id -u)" = 0 ]; then
    # shellcheck disable=SC2086 # one word a package
    /bin/sh "$root_steps" ${runs:+"i386-$mode"} install $packages
    owner=$(stat -c %U .)
    if [ "$owner" != root ]; then
        [ "$owner" != UNKNOWN ] || { echo "build.sh: this checkout's owner has no account name" >&2; exit 1; }
        echo "build.sh: root's steps are done; the build runs as $owner, who owns this checkout"
        exec runuser -u "$owner" -- /bin/sh ./build.sh "$command"
    fi
else
    check_build_folder
    mkdir -p "$build"
    steps=
    missing=$(missing_packages)
    what=
    if [ -n "$missing" ]; then
        steps="install$missing"
        what="install$missing"
        dpkg --print-foreign-architectures | grep -qx i386 || what="add the i386 architecture to dpkg and $what"
    fi
    needs=
    [ -z "$runs" ] || i386_needs
    if [ -n "$needs" ]; then
        steps="i386-$mode $steps"
        what="${what:+$what, and }$needs"
    fi
    if [ -n "$steps" ]; then
        command -v sudo >/dev/null 2>&1 ||
            { echo "build.sh: root must $what, and sudo is not installed: run ./build.sh $command as root" >&2; exit 1; }
        echo "build.sh: asking sudo to run tools/root-steps/root-steps.sh, which will $what"
        # shellcheck disable=SC2086 # one word a step or package
        sudo /bin/sh "$root_steps" $steps ||
            { echo "build.sh: root's steps did not complete, as said above" >&2; exit 1; }
    fi
    if [ -n "$runs" ] && [ -z "$needs" ]; then
        if i386_handler_enabled; then
            echo "32-bit x86: emulated by $("$i386_emulator" --version | head -n 1), registered by root in $i386_handler"
        else
            echo "32-bit x86: native (this machine's kernel runs such programs)"
        fi
    fi
fi
i386_used=native
i386_handler_enabled && i386_used=emulated

# A configure that failed leaves a cache but no build files: configure again then.
if [ ! -f "$build/CMakeCache.txt" ] || [ ! -f "$build/Makefile" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
fi
cmake --build "$build" -j "$(nproc)"

stop_wine() {
    [ -x "$build/winerun" ] && "$build/winerun" --stop
    return 0
}

case "$command" in
demo)
    tools/demo/demo.sh "$build"
    ;;
test)
    ctest --test-dir "$build" --output-on-failure -j 2
    ;;
bench)
    trap stop_wine EXIT
    echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)," \
         "$(wine --version), 32-bit x86 $i386_used, $(date -u +%Y-%m-%d)"
    KESTRUNE_DRIVES=DE "$build/winerun" "$build/tools/benchmark/kestrune_bench.exe"
    ;;
soak)
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
    cmake --build "$build" --target release-zip
    ;;
esac

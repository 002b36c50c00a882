#!/bin/sh
# Builds Kestrune and its test fixtures (cross, for 32-bit Windows) and runs them under Wine.
#   ./build.sh demo    build everything, then show the demo
#   ./build.sh test    build everything, then run all tests
#   ./build.sh release build everything, then make build/Kestrune-1.00.zip
#   ./build.sh bench   build everything, then run the benchmark
#   ./build.sh soak    build everything, then run the whole soak (about four minutes)
# On Debian 12 as root it first installs whatever is missing.
set -eu
cd "$(dirname "$0")"
build=${KESTRUNE_BUILD_DIR:-build}

packages="cmake make g++-mingw-w64-i686 wine wine32:i386 xvfb doctest-dev locales"

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
    if [ "$(id -u)" != 0 ]; then
        echo "build.sh: run as root to install them, or install them yourself" >&2
        exit 1
    fi
    case " $(dpkg --print-foreign-architectures | tr '\n' ' ') " in
    *" i386 "*) ;;
    *) dpkg --add-architecture i386 ;;
    esac
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

build_all() {
    install_missing
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
    fi
    cmake --build "$build" -j "$(nproc)"
}

case "${1:-}" in
demo)
    build_all
    tools/demo/demo.sh "$build"
    ;;
test)
    build_all
    ctest --test-dir "$build" --output-on-failure -j 2
    ;;
bench)
    build_all
    echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)," \
         "$(wine --version), $(date -u +%Y-%m-%d)"
    KESTRUNE_DRIVES=DE "$build/winerun" "$build/tools/benchmark/kestrune_bench.exe"
    "$build/winerun" --stop
    ;;
soak)
    build_all
    KESTRUNE_SOAK_SCALE=10 ctest --test-dir "$build" --output-on-failure -V -R '^soak$' | grep -E 'MESSAGE|tests passed|Failed'
    ;;
release)
    build_all
    (cd "$build" && cpack --config CPackConfig.cmake)
    ;;
*)
    echo "usage: ./build.sh demo | test | release | bench | soak" >&2
    exit 2
    ;;
esac

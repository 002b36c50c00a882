# shellcheck shell=sh disable=SC2034 # sourced: its names are used by the scripts that read it
# Whether this machine runs 32-bit x86 programs, natively or through the emulator that
# tools/root-steps/root-steps.sh registers where the kernel cannot (the same names as there).
# Sourced by build.sh and by winerun.

i386_binfmt=/proc/sys/fs/binfmt_misc
# The binfmt_misc handler of ours; others' handlers are never touched.
i386_handler=$i386_binfmt/kestrune-i386
i386_emulator=/usr/bin/qemu-i386

# Writes to $1 a 96-byte static i386 program that only exits with status 42.
i386_write_probe() {
    printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\273\052\000\000\000\270\001\000\000\000\315\200' >"$1" &&
        chmod +x "$1"
}

# True when the probe at $1 runs (a kernel without IA-32 support refuses it: ENOEXEC).
i386_probe_runs() {
    status=0
    "$1" >/dev/null 2>&1 || status=$?
    [ "$status" -eq 42 ]
}

i386_handler_enabled() {
    [ -f "$i386_handler" ] && head -n 1 "$i386_handler" | grep -qx enabled
}

# The sentence every script prints when no Windows program can start here.
i386_cannot_run() {
    echo "$1: this machine cannot run 32-bit x86 programs, and no emulator is registered for them" \
         "(run ./build.sh with KESTRUNE_I386=auto or emulate to set one up)" >&2
}

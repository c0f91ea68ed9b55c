# What this machine can run, and how to start a Windows program under Wine on it. Sourced
# by the scripts, the Wine harness (wine-run) and the package test; defines no variables
# of its own beyond the wine* names below.
#
#   Linux32Problem          why this machine cannot run 32-bit Linux programs, or nothing
#   Wine32Problem           why Wine cannot run 32-bit Windows programs here, or nothing
#   ProgramBits PROGRAM     32 or 64: the bitness of a Windows program as Wine is given it
#   WineLoaderFor PROGRAM   the Wine loader that runs it
#   wine PROGRAM ARGS...    runs a program with the loader of its bitness
#   wineboot ARGS...        Wine's wineboot, with the 64-bit loader
#
# Why not Debian's own `wine` launcher: once wine32 is installed it always starts Wine's
# 32-bit loader, which cannot run where the kernel refuses 32-bit programs ("Exec format
# error"), and where it can run it starts a 64-bit program through a 32-bit start.exe of
# its own, one more process whose start can fail ("ShellExecuteEx failed: Internal error").
wine32Loader=/usr/lib/wine/wine
wine64Loader=/usr/lib/wine/wine64

# The message a program that could not be started left, without the shell's prefix: "Exec
# format error", "Permission denied".
wineStartFailure() {
    local said=$1
    said=${said##*: }
    echo "${said:-it exited at once}"
}

# Runs two tiny static programs that only exit with 42, a 32-bit and a 64-bit one. The
# 64-bit one proves that the folder lets programs run at all (a folder mounted noexec
# refuses both), so that only the 32-bit one can tell what the kernel lacks.
Linux32Problem() {
    local folder said
    for folder in "${TMPDIR:-/tmp}" "$(dirname "${BASH_SOURCE[0]}")"; do
        folder=$(mktemp -d "$folder/orvix-probe.XXXXXX" 2>/dev/null) || continue
        # ELF headers, one program header, then exit(42): by int 0x80, or by syscall.
        local probe32='' probe64=''
        probe32+='\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000'
        probe32+='\001\000\000\000T\200\004\0104\000\000\000\000\000\000\000\000\000\000'
        probe32+='\0004\000 \000\001\000\000\000\000\000\000\000\001\000\000\000\000\000'
        probe32+='\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000'
        probe32+='\005\000\000\000\000\020\000\000\270\001\000\000\000\273*\000\000\000'
        probe32+='\315\200'
        probe64+='\177ELF\002\001\001\000\000\000\000\000\000\000\000\000\002\000>\000\001'
        probe64+='\000\000\000x\000@\000\000\000\000\000@\000\000\000\000\000\000\000\000'
        probe64+='\000\000\000\000\000\000\000\000\000\000\000@\0008\000\001\000\000\000'
        probe64+='\000\000\000\000\001\000\000\000\005\000\000\000\000\000\000\000\000\000'
        probe64+='\000\000\000\000@\000\000\000\000\000\000\000@\000\000\000\000\000\204'
        probe64+='\000\000\000\000\000\000\000\204\000\000\000\000\000\000\000\000\020\000'
        probe64+='\000\000\000\000\000\270<\000\000\000\277*\000\000\000\017\005'
        printf "$probe32" >"$folder/probe32"
        printf "$probe64" >"$folder/probe64"
        chmod +x "$folder/probe32" "$folder/probe64"
        local control=0 status=0
        "$folder/probe64" 2>/dev/null || control=$?
        said=$("$folder/probe32" 2>&1) || status=$?
        rm -rf "$folder"
        [ $control -eq 42 ] || continue
        [ $status -eq 42 ] && return 0
        echo "this machine cannot run 32-bit Linux programs (a 32-bit test program gave" \
            "\"$(wineStartFailure "$said")\")"
        return 0
    done
    # No folder here lets programs run: nothing can be told, and Wine will say what it finds.
    return 0
}

Wine32Problem() {
    local said
    [ -e "$wine32Loader" ] && said=$("$wine32Loader" --version 2>&1) && return 0
    # The kernel's refusal says more than a missing or failing loader, when that is the
    # cause: installing wine32 would not help.
    local kernel
    kernel=$(Linux32Problem)
    [ -n "$kernel" ] && echo "$kernel" && return 0
    if [ ! -e "$wine32Loader" ]; then
        echo "Wine's 32-bit half (Debian's wine32:i386) is not installed (scripts/setup.sh installs it)"
        return 0
    fi
    echo "this machine cannot run Wine's 32-bit loader ($wine32Loader: \"$(wineStartFailure "$said")\")"
}

# The machine field of a PE file's header: 32 for i386, 64 for x86-64, nothing otherwise.
wineImageBits() {
    local offset machine
    offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$offset" ] || return 0
    machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
    case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
    esac
}

ProgramBits() {
    local program=$1 file=$1 bits
    case $program in
    [Zz]:\\*) file=${program:2} file=${file//\\//} ;;
    [Cc]:\\*) file=${program:3} file="${WINEPREFIX:-}/drive_c/${file//\\//}" ;;
    esac
    [ -f "$file" ] && bits=$(wineImageBits "$file")
    if [ -z "${bits:-}" ]; then
        # Not a file here: one of Wine's own programs, 32-bit only from the WOW64 folder.
        shopt -s nocasematch
        [[ $program == *syswow64* ]] && bits=32 || bits=64
        shopt -u nocasematch
    fi
    echo "$bits"
}

# The loader for a program: Wine's own 32-bit or 64-bit one, by the program's bitness.
WineLoaderFor() {
    [ "$(ProgramBits "$1")" = 32 ] && echo "$wine32Loader" || echo "$wine64Loader"
}

wine() {
    local loader
    loader=$(WineLoaderFor "$1")
    if [ "$loader" = "$wine64Loader" ]; then
        WINELOADER="$loader" "$loader" "$@"
    else
        env -u WINELOADER "$loader" "$@"
    fi
}

wineboot() {
    wine wineboot.exe "$@"
}

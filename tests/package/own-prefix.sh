# Sourced by the package checks: a Wine prefix of the check's own, made with Wine's 64-bit
# loader and served by one server that ends with the check.
#   startOwnPrefix <prefix folder>
# exports WINEPREFIX and the rest, sets `wine64`, the loader to start programs with, and
# needs the caller's `fail`. The loader is named directly: Debian's wine launcher picks the
# 32-bit one whenever it is installed, runnable or not; a 32-bit program started through
# the 64-bit loader still gets the 32-bit one, where it runs.
startOwnPrefix() {
    wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
    export WINELOADER="$wine64"
    export WINEPREFIX="$1"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
    # The server and Wine's background processes are started apart from the check's
    # output, which a test runner, and each $(...), waits for every holder of; Wine's own
    # words go to a file for the same reason.
    wineserver -p </dev/null >/dev/null 2>&1 || fail "cannot start a Wine server for $WINEPREFIX"
    trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
    "$wine64" wineboot -i </dev/null >"$WINEPREFIX.log" 2>&1 \
        || fail "cannot make a Wine prefix in $WINEPREFIX; Wine said: $(cat "$WINEPREFIX.log")"
    # The desktop process starts with the first program; started here, it holds no later
    # program's output.
    "$wine64" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
    "$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >/dev/null 2>&1 || true
}

# Ends the prefix's server and waits for it: nothing of the check outlives it.
stopOwnPrefix() {
    trap - EXIT
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
}

#!/usr/bin/env bash
# install.cmd and uninstall.cmd run by Wine's cmd, in a Wine prefix of their own, from folders
# whose names cmd reads as syntax ("%", "!", "^", "&", parentheses, spaces), with delayed
# expansion on and off: every module is registered at its exact path and unregistered
# again, and only a window that Explorer opened waits for a key.
#   - a 64-bit Windows without 32-bit support (no 32-bit regsvr32, or 32-bit programs that
#     do not start): the 64-bit module alone is a complete install;
#   - with 32-bit support, where the x86 build's module is there and this machine runs
#     32-bit programs: both modules, in both registry views.
# Usage: cmd-scripts-test.sh <x86-64 build folder> [<x86 build folder>]
set -euo pipefail
buildDir=$(cd "$1" && pwd)
x86Module=${2:+$2/Orvix61Test.ax}
sourceDir=$(cd "$(dirname "$0")/../.." && pwd)
work="$buildDir/cmd-scripts-check"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

[ -f "$buildDir/Orvix61Test.ax" ] || fail "$buildDir/Orvix61Test.ax is missing: build it first"
rm -rf "$work"
mkdir -p "$work"

source "$(dirname "$0")/own-prefix.sh"
startOwnPrefix "$work/wineprefix"

drive="$WINEPREFIX/drive_c"
syswow64="$drive/windows/syswow64"
# Each name holds what cmd would expand or split on: "%" (alone and around a variable's
# name), "!" (delayed expansion), "^", "&", parentheses and spaces.
folders=('100% sure' 'x%PATH%y' 'a!b^c' 'R&D (1) !x! %y%')
for folder in "${folders[@]}"; do
    mkdir -p "$drive/t/$folder/x64" "$drive/t/$folder/x86"
    cp "$sourceDir/package/install.cmd" "$sourceDir/package/uninstall.cmd" "$drive/t/$folder/"
    cp "$buildDir/Orvix61Test.ax" "$drive/t/$folder/x64/"
    [ -z "$x86Module" ] || [ ! -f "$x86Module" ] || cp "$x86Module" "$drive/t/$folder/x86/"
done

# Runs one of the scripts as a program does, from its folder (a path naming these folders
# on cmd's own command line would be taken apart there, before the script starts):
#   runScript <folder> <ON|OFF> <script and arguments...>
# with delayed expansion as given and lines waiting on standard input, so that a pause
# shows as its prompt. Output, line ends made "\n", in $output; exit code in $status.
# Wine's cmd leaves %cmdcmdline% empty: $commandLine, when set, stands in for it.
commandLine=
runScript() {
    local folder=$1 mode=$2 environment=()
    shift 2
    [ -z "$commandLine" ] || environment=(CMDCMDLINE="$commandLine")
    status=0
    output=$(cd "$drive/t/$folder" && printf '\n\n\n' \
        | env "${environment[@]}" "$wine64" cmd /V:"$mode" /c "$@" 2>&1) || status=$?
    output=$(tr -d '\r' <<<"$output")
}

expectOutput() {
    grep -qF -- "$1" <<<"$output" || fail "$2; the script said:"$'\n'"$output"
}

expectNoPause() {
    ! grep -q 'Press any key' <<<"$output" || fail "$1 waited for a key:"$'\n'"$output"
}

# The modules of a registry view (64 or 32) that the module's classes are registered
# with, one line per class.
registeredModules() {
    local query
    query=$("$wine64" reg query 'HKLM\Software\Classes\CLSID' /s "/reg:$1" </dev/null 2>&1) \
        || fail "reg query of the $1-bit view failed: $query"
    tr -d '\r' <<<"$query" | awk '
        /^HKEY_/ { server = toupper($0) ~ /\\INPROCSERVER32$/ }
        server && /^    \(Default\)    REG_SZ    / { print substr($0, index($0, "REG_SZ") + 10) }' \
        | grep 'Orvix61Test\.ax$' || true
}

# All twelve classes of the module registered in a view, at exactly this module.
expectRegistered() {
    local view=$1 module=$2 modules
    modules=$(registeredModules "$view")
    [ "$(grep -cxF -- "$module" <<<"$modules")" -eq 12 ] \
        && [ "$(grep -c . <<<"$modules")" -eq 12 ] \
        || fail "the $view-bit view does not have the 12 classes at $module, but:"$'\n'"$modules"
}

expectNothingRegistered() {
    local modules
    modules=$(registeredModules "$1")
    [ -z "$modules" ] || fail "classes are left in the $1-bit view:"$'\n'"$modules"
}

# Installs and uninstalls from every folder, delayed expansion on and off; $1 says whether
# this Windows has 32-bit support (yes or no).
installAndUninstallEverywhere() {
    local support=$1 folder mode dos
    for folder in "${folders[@]}"; do
        dos="C:\\t\\$folder"
        for mode in ON OFF; do
            local trial="from \"$dos\" with /V:$mode"
            runScript "$folder" $mode install.cmd
            [ $status -eq 0 ] || fail "install.cmd $trial exited with $status:"$'\n'"$output"
            expectOutput "Registered the 64-bit module: \"$dos\\x64\\Orvix61Test.ax\"" \
                "install.cmd $trial did not register the 64-bit module"
            expectNoPause "install.cmd $trial"
            expectRegistered 64 "$dos\\x64\\Orvix61Test.ax"
            if [ "$support" = yes ]; then
                expectOutput "Registered the 32-bit module: \"$dos\\x86\\Orvix61Test.ax\"" \
                    "install.cmd $trial did not register the 32-bit module"
                expectOutput "Orvix61Test is installed. Capture programs list" \
                    "install.cmd $trial does not say it installed"
                expectRegistered 32 "$dos\\x86\\Orvix61Test.ax"
            else
                expectOutput "The 32-bit module is not registered: \"$dos\\x86\\Orvix61Test.ax\"" \
                    "install.cmd $trial does not name the 32-bit module it left out"
                expectOutput "This Windows has no 32-bit support (C:\\windows\\SysWOW64\\regsvr32.exe is missing)" \
                    "install.cmd $trial does not say why"
                expectOutput "Orvix61Test is installed for 64-bit programs, the only ones this Windows runs" \
                    "install.cmd $trial does not say what it installed"
            fi

            runScript "$folder" $mode uninstall.cmd
            [ $status -eq 0 ] || fail "uninstall.cmd $trial exited with $status:"$'\n'"$output"
            expectOutput "Unregistered the 64-bit module: \"$dos\\x64\\Orvix61Test.ax\"" \
                "uninstall.cmd $trial did not unregister the 64-bit module"
            expectOutput "can be deleted once every capture program that used the devices has been closed" \
                "uninstall.cmd $trial does not say when the folder can be deleted"
            expectNoPause "uninstall.cmd $trial"
            expectNothingRegistered 64
            if [ "$support" = yes ]; then
                expectOutput "Unregistered the 32-bit module: \"$dos\\x86\\Orvix61Test.ax\"" \
                    "uninstall.cmd $trial did not unregister the 32-bit module"
                expectNothingRegistered 32
            else
                expectOutput "There is no 32-bit module to unregister: this Windows has no 32-bit support" \
                    "uninstall.cmd $trial does not say why it left the 32-bit module"
            fi
        done
    done
    echo "installed and uninstalled from ${#folders[@]} folders, delayed expansion on and off," \
        "$([ "$support" = yes ] && echo with || echo without) 32-bit support"
}

# 1. A 64-bit Windows without its 32-bit subsystem: no 32-bit regsvr32. (A prefix that Wine
#    made without its 32-bit half has no WOW64 folder at all.)
[ ! -e "$syswow64/regsvr32.exe" ] || mv "$syswow64/regsvr32.exe" "$work/regsvr32-32.exe"
installAndUninstallEverywhere no

# 2. Started as Explorer starts a script, the window waits for a key; started otherwise,
#    or with /quiet, it never does.
folder=${folders[3]}
dos="C:\\t\\$folder"
explorerOpen="C:\\windows\\system32\\cmd.exe /c \"\"$dos\\uninstall.cmd\" \""
explorerAdministrator="C:\\windows\\System32\\cmd.exe /C \"$dos\\uninstall.cmd\" "
for commandLine in "$explorerOpen" "$explorerAdministrator"; do
    runScript "$folder" OFF uninstall.cmd
    [ $status -eq 0 ] || fail "uninstall.cmd exited with $status:"$'\n'"$output"
    grep -q 'Press any key' <<<"$output" \
        || fail "started as by Explorer ($commandLine), uninstall.cmd did not wait for a key:"$'\n'"$output"
done
for commandLine in "$explorerOpen" "cmd /c uninstall.cmd" \
    "C:\\windows\\system32\\cmd.exe /c \"$dos\\uninstall.cmd\"" \
    "C:\\windows\\system32\\cmd.exe /c \"\"$dos\\uninstall.cmd\"\""; do
    arguments=()
    [ "$commandLine" != "$explorerOpen" ] || arguments=(/quiet)
    runScript "$folder" OFF uninstall.cmd "${arguments[@]}"
    [ $status -eq 0 ] || fail "uninstall.cmd exited with $status:"$'\n'"$output"
    expectNoPause "uninstall.cmd ${arguments[*]} started by $commandLine"
done
commandLine=
runScript "$folder" OFF install.cmd /silent
[ $status -eq 2 ] || fail "install.cmd /silent exited with $status, not 2:"$'\n'"$output"
expectOutput "install.cmd takes one argument, /quiet" "install.cmd /silent does not name the one argument"
expectNothingRegistered 64
echo "only a window Explorer opened waits for a key"

# 3. Started without ".cmd" from its folder, with delayed expansion on: it starts again by
#    its full name, and the folder it registers from is its own.
folder=${folders[2]}
runScript "$folder" ON install /quiet
[ $status -eq 0 ] || fail "install /quiet exited with $status:"$'\n'"$output"
expectRegistered 64 "C:\\t\\$folder\\x64\\Orvix61Test.ax"
runScript "$folder" ON uninstall /quiet
[ $status -eq 0 ] || fail "uninstall /quiet exited with $status:"$'\n'"$output"
expectNothingRegistered 64
# Started by its full path from another folder, as Windows starts a script it is given.
mkdir -p "$drive/t/Program Files (x86)/Orvix61 Test/x64"
cp "$sourceDir/package/install.cmd" "$sourceDir/package/uninstall.cmd" \
    "$drive/t/Program Files (x86)/Orvix61 Test/"
cp "$buildDir/Orvix61Test.ax" "$drive/t/Program Files (x86)/Orvix61 Test/x64/"
dos='C:\t\Program Files (x86)\Orvix61 Test'
for script in install uninstall; do
    status=0
    output=$(cd "$work" && "$wine64" "$dos\\$script.cmd" /quiet </dev/null 2>&1) || status=$?
    [ $status -eq 0 ] || fail "$script.cmd by its full path exited with $status:"$'\n'"$output"
    [ $script = uninstall ] || expectRegistered 64 "$dos\\x64\\Orvix61Test.ax"
done
expectNothingRegistered 64
echo "started without .cmd, or by its full path from another folder: its own folder's modules"

# The lines README.txt gives a .cmd script, run as one from that folder: the script goes on
# after each call and sees its exit code. (A batch file named without call never returns to
# the one that named it.) Wine's cmd hands a called script's exit code other than 0 on as 1,
# so only a success is told apart here.
readmeLines=$(awk '/\.cmd script/ { found = 1; next }
    found && /^    / { print; seen = 1; next }
    found && seen { exit }' "$sourceDir/package/README.txt")
[ -n "$readmeLines" ] || fail "README.txt shows no lines for a .cmd script"
for script in install uninstall; do
    caller="$drive/t/$script-caller.cmd"
    lines=${readmeLines//'C:\Tools\Orvix61Test'/$dos}
    lines=${lines//install.cmd/$script.cmd}
    printf '@echo off\n%s\necho the script went on\n' "$lines" | sed 's/$/\r/' >"$caller"
    status=0
    output=$(cd "$work" && "$wine64" cmd /c "C:\\t\\$script-caller.cmd" </dev/null 2>&1) \
        || status=$?
    output=$(tr -d '\r' <<<"$output")
    [ $status -eq 0 ] && grep -qx '0' <<<"$output" && grep -qx 'the script went on' <<<"$output" \
        || fail "README.txt's lines for a .cmd script, calling $script.cmd, exited with" \
            "$status:"$'\n'"$(cat "$caller")"$'\n'"and said:"$'\n'"$output"
    [ $script = uninstall ] || expectRegistered 64 "$dos\\x64\\Orvix61Test.ax"
done
expectNothingRegistered 64
echo "README.txt's calls from a .cmd script go on after the script, with its exit code"

# 4. A 64-bit Windows whose 32-bit regsvr32 is there but whose 32-bit programs do not
#    start, as on a machine whose kernel runs none: the 32-bit command prompt is not one.
if [ ! -e "$work/regsvr32-32.exe" ] || [ ! -e "$syswow64/cmd.exe" ]; then
    echo "without 32-bit programs that start: not tried, this prefix has no 32-bit programs"
else
    mv "$work/regsvr32-32.exe" "$syswow64/regsvr32.exe"
    mv "$syswow64/cmd.exe" "$work/cmd-32.exe"
    echo "not a program" >"$syswow64/cmd.exe"
    folder=${folders[3]}
    runScript "$folder" ON install.cmd
    [ $status -eq 0 ] || fail "install.cmd where 32-bit programs do not start exited with $status:"$'\n'"$output"
    expectOutput "This Windows has no 32-bit support (C:\\windows\\SysWOW64\\cmd.exe, a 32-bit program, does not start)" \
        "install.cmd where 32-bit programs do not start does not say so"
    expectRegistered 64 "C:\\t\\$folder\\x64\\Orvix61Test.ax"
    runScript "$folder" ON uninstall.cmd
    [ $status -eq 0 ] || fail "uninstall.cmd where 32-bit programs do not start exited with $status:"$'\n'"$output"
    expectNothingRegistered 64
    mv "$work/cmd-32.exe" "$syswow64/cmd.exe"
    echo "without 32-bit programs that start: the 64-bit module alone"
fi

# 5. With 32-bit support: both modules, both registry views.
if [ -z "$x86Module" ]; then
    echo "with 32-bit support: not tried, no x86 build folder given"
elif [ ! -f "$x86Module" ]; then
    echo "with 32-bit support: not tried, $x86Module is not built"
elif ! "$wine64" 'C:\windows\syswow64\cmd.exe' /c exit 0 </dev/null >/dev/null 2>&1; then
    echo "with 32-bit support: not tried, this machine does not run 32-bit Windows programs"
else
    installAndUninstallEverywhere yes
fi

stopOwnPrefix
cd "$buildDir"
rm -rf "$work"
echo "passed"

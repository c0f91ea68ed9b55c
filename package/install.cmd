@echo off
rem Installs Orvix61Test: registers the 64-bit module with the 64-bit regsvr32 and the
rem 32-bit module with the 32-bit regsvr32 on 64-bit Windows, and only the 32-bit module
rem on 32-bit Windows, each from the folder this file is in. Running it again, from this
rem folder or another, registers the modules found beside it in place of the others. A
rem 64-bit Windows without 32-bit support runs no 32-bit program: there the 64-bit module
rem alone is a complete install.
rem Usage: install.cmd [/quiet]    /quiet: never wait for a key at the end
rem Exit code: 0 when every registration this Windows can use succeeded, 1 when one failed
rem or this folder is on a network path, 2 for an unknown argument, 5 without
rem administrator rights.
rem
rem Delayed expansion goes off whatever the caller's setting: it would take every "!" out
rem of the folder's name. The folder's path is never expanded from a variable either: a
rem path passed through call has its "%" expanded a second time (Wine's cmd does so for
rem every variable), so "100% sure" would lose its "%" and "x%PATH%y" would take in PATH.
rem It is this script's working folder instead, and each module's full path comes from a
rem for variable, whose value cmd never expands again.
setlocal EnableExtensions DisableDelayedExpansion
rem Started through PATH, or named without ".cmd", "%~0" names no file here: start again
rem by the full name, so that it does.
if not exist "%~0" "%~f0" %*
for %%S in ("%~0") do set "self=%%~fS"
set "result=0"
set "quiet="
if /i "%~1"=="/quiet" (set "quiet=1") else if not "%~1"=="" goto :usage
if not "%~2"=="" goto :usage

for %%S in ("%~0") do pushd "%%~dpS"
rem The working folder pushd gives a network path is a drive letter that goes when the
rem script ends: the modules would be registered at a path that is gone.
if "%self:~0,2%"=="\\" (
    echo Orvix61Test is not installed: capture programs load the modules from where they
    echo are registered, and this folder is on a network path. Copy the folder to a drive
    echo of this computer ^(or map the network folder to a drive letter^) and run
    echo install.cmd from there.
    set "result=1"
    goto :end
)
call :find_system_folders

call :has_administrator_rights
if errorlevel 1 (
    echo Orvix61Test is not installed: registering its capture filters writes machine-wide
    echo registry keys, which needs administrator rights. Right-click install.cmd and choose
    echo "Run as administrator", or run it from a command prompt opened as administrator.
    set "result=5"
    goto :end
)

if defined system64 call :register "%system64%\regsvr32.exe" x64 64-bit
if defined system32 (
    call :register "%system32%\regsvr32.exe" x86 32-bit
) else (
    call :without_32_bit_support
)

echo.
if not "%result%"=="0" (
    echo Orvix61Test is not fully installed: a registration above failed.
) else if defined system32 (
    echo Orvix61Test is installed. Capture programs list "Orvix61 Capture Source Test 1"
    echo to "Orvix61 Capture Source Test 4" among their video devices.
) else (
    echo Orvix61Test is installed for 64-bit programs, the only ones this Windows runs:
    echo capture programs list "Orvix61 Capture Source Test 1" to
    echo "Orvix61 Capture Source Test 4" among their video devices.
)

:end
popd
call :pause_when_opened_from_explorer
exit /b %result%

:usage
echo install.cmd takes one argument, /quiet, which leaves out the wait for a key at the
echo end.
exit /b 2

rem %1 the regsvr32 of the module's bitness, %2 the module's folder here (x64 or x86), %3
rem its bitness for messages. Paths are echoed in quotes: a folder such as "Program Files
rem (x86)" would otherwise end the block at its ")", and a "&" would start a command.
:register
set "module=%~2\Orvix61Test.ax"
if not exist "%module%" (
    for %%M in ("%module%") do echo The %~3 module is missing: "%%~fM"
    set "result=1"
    goto :eof
)
for %%M in ("%module%") do "%~1" /s "%%~fM"
set "code=%errorlevel%"
if not "%code%"=="0" (
    for %%M in ("%module%") do echo Registering the %~3 module failed ^(regsvr32 exit code %code%^): "%%~fM"
    set "result=1"
    goto :eof
)
for %%M in ("%module%") do echo Registered the %~3 module: "%%~fM"
goto :eof

:without_32_bit_support
for %%M in ("x86\Orvix61Test.ax") do echo The 32-bit module is not registered: "%%~fM"
echo This Windows has no 32-bit support (%no32bit%), so no
echo 32-bit program runs here to use it.
goto :eof

rem The 64-bit system folder (none on 32-bit Windows) and the 32-bit one (none on a 64-bit
rem Windows without 32-bit support, with the reason in no32bit). A 32-bit command prompt
rem on 64-bit Windows sees the 64-bit folder as Sysnative and the 32-bit one as System32.
:find_system_folders
set "system64="
set "system32=%SystemRoot%\System32"
if defined PROCESSOR_ARCHITEW6432 (
    set "system64=%SystemRoot%\Sysnative"
    goto :eof
)
if /i "%PROCESSOR_ARCHITECTURE%"=="x86" goto :eof
set "system64=%SystemRoot%\System32"
set "system32=%SystemRoot%\SysWOW64"
rem 64-bit Windows can be without its 32-bit subsystem: no 32-bit regsvr32 then, or 32-bit
rem programs that do not start, which one tried tells.
if not exist "%system32%\regsvr32.exe" (
    set "no32bit=%system32%\regsvr32.exe is missing"
    set "system32="
    goto :eof
)
"%system32%\cmd.exe" /d /c exit 0 >nul 2>&1
if not "%errorlevel%"=="0" (
    set "no32bit=%system32%\cmd.exe, a 32-bit program, does not start"
    set "system32="
)
goto :eof

rem Registration writes machine-wide keys: one is tried first, so that a user without the
rem rights is told so in a sentence instead of by a failed registration.
:has_administrator_rights
reg add "HKLM\Software\Orvix61Test Install Check" /f >nul 2>&1
if errorlevel 1 exit /b 1
reg delete "HKLM\Software\Orvix61Test Install Check" /f >nul 2>&1
exit /b 0

rem A window that Explorer opened for this file closes at the end: keep it until read.
rem Explorer starts a script as cmd.exe /c ""<script>" " or, run as administrator, as
rem cmd.exe /C "<script>" : without their quotes, cmd.exe /c, the script's full path and
rem the space its empty list of arguments leaves. A program or script names it otherwise
rem (cmd /c install.cmd, PowerShell's & "...\install.cmd"), and never waits; /quiet
rem leaves the pause out in every case.
:pause_when_opened_from_explorer
if defined quiet goto :eof
if not defined cmdcmdline goto :eof
set "line=%cmdcmdline:"=%"
for /f "tokens=1" %%C in ("%line%") do if /i "%line%"=="%%C /c %self% " pause
goto :eof

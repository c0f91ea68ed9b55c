@echo off
rem Installs Orvix61Test: registers the 64-bit module with the 64-bit regsvr32 and the
rem 32-bit module with the 32-bit regsvr32 on 64-bit Windows, and only the 32-bit module
rem on 32-bit Windows, each from the folder this file is in. Running it again, from this
rem folder or another, registers the modules found beside it in place of the others.
rem Exit code: 0 when every registration succeeded, 1 when one failed, 5 without
rem administrator rights.
setlocal EnableExtensions
set "here=%~dp0"
set "result=0"
call :find_system_folders

call :has_administrator_rights
if errorlevel 1 (
    echo Orvix61Test is not installed: registering its capture filters writes machine-wide
    echo registry keys, which needs administrator rights. Right-click install.cmd and choose
    echo "Run as administrator", or run it from a command prompt opened as administrator.
    set "result=5"
    goto :end
)

if defined system64 call :register "%system64%\regsvr32.exe" "%here%x64\Orvix61Test.ax" 64-bit
call :register "%system32%\regsvr32.exe" "%here%x86\Orvix61Test.ax" 32-bit

echo.
if "%result%"=="0" (
    echo Orvix61Test is installed. Capture programs list "Orvix61 Capture Source Test 1"
    echo to "Orvix61 Capture Source Test 4" among their video devices.
) else (
    echo Orvix61Test is not fully installed: a registration above failed.
)

:end
call :pause_when_opened_from_explorer
exit /b %result%

rem %1 the regsvr32 of the module's bitness, %2 the module, %3 its bitness for messages.
rem Paths are echoed in quotes: a folder such as "Program Files (x86)" would otherwise end
rem the block at its ")", and a "&" in a name would start another command.
:register
if not exist "%~2" (
    echo The %~3 module is missing: "%~2"
    set "result=1"
    goto :eof
)
"%~1" /s "%~2"
set "code=%errorlevel%"
if not "%code%"=="0" (
    echo Registering the %~3 module failed ^(regsvr32 exit code %code%^): "%~2"
    set "result=1"
    goto :eof
)
echo Registered the %~3 module: "%~2"
goto :eof

rem The 64-bit system folder (none on 32-bit Windows) and the 32-bit one. A 32-bit command
rem prompt on 64-bit Windows sees the 64-bit folder as Sysnative and the 32-bit one as
rem System32.
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
goto :eof

rem Registration writes machine-wide keys: one is tried first, so that a user without the
rem rights is told so in a sentence instead of by a failed registration.
:has_administrator_rights
reg add "HKLM\Software\Orvix61Test Install Check" /f >nul 2>&1
if errorlevel 1 exit /b 1
reg delete "HKLM\Software\Orvix61Test Install Check" /f >nul 2>&1
exit /b 0

rem A window that Explorer opened for this file closes at the end: keep it until read.
:pause_when_opened_from_explorer
echo %cmdcmdline% | find /i "%~nx0" >nul 2>&1 && pause
goto :eof

#!/usr/bin/env bash
# zandrel.dll as a COM server under Wine: what registration writes and
# removes (per machine and per user), a script client, and the stand-in IDE
# loading the add-in: the log of its life and its identity members by name and
# through the vtable.
#
#   tests/wine/addin_com_test.sh STANDIN_IDE_EXE ZANDREL_DLL
set -uo pipefail
source "$(dirname "$0")/lib.sh"

ide=$1
dll=$2
here=$(cd "$(dirname "$0")" && pwd)
work="$prefix/drive_c/zandrel-comtest"
winwork='C:\zandrel-comtest'
windll="Z:$(tr / '\\' <<<"$dll")"
key='HKLM\SOFTWARE\Veltrane Software\Orvelle\AddIns\VisualStudio'
clsid='{E29A3501-6D36-44A5-B304-30989DB2BD0C}'
libid='{CD356120-A3D6-4349-A6A2-42CD99F867A8}'
iid='{2CEC41F1-6FAE-40C8-A0ED-C3A224403CBE}'
# The type library's platform key is the build's: win32 for the x86 DLL.
platform=$([ "$arch" = x86 ] && echo win32 || echo win64)

rm -rf "$work"
mkdir -p "$work"
batch() { sed 's/$/\r/' > "$work/$1"; }
utf8() { iconv -f UTF-16LE -t UTF-8 "$1" 2>/dev/null | tr -d '\r' || cat "$1"; }

# --- Registration ---------------------------------------------------------
cat > "$work/client.vbs" <<'VBS'
Set o = CreateObject("zandrel.Connect")
WScript.Echo "Description=" & o.Description
WScript.Echo "Name=" & o.Name
WScript.Echo "MSDEVPid=" & o.MSDEVPid
VBS
echo 'WScript.Quit 0' > "$work/noop.vbs"
# The script host registers its own type library on its first run in a new
# prefix: a run first keeps that out of the comparison below.
batch registration.bat <<BAT
@echo off
cscript //nologo $winwork\\noop.vbs
regsvr32 /s /u $windll
reg export HKLM\\Software\\Classes $winwork\\before.reg /y >nul
regsvr32 /s $windll
echo == machine
reg query "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32"
reg query "HKLM\\Software\\Classes\\zandrel.Connect\\CLSID"
reg query "HKLM\\Software\\Classes\\zandrel.Connect\\CurVer"
reg query "HKLM\\Software\\Classes\\TypeLib\\$libid\\1.0\\0\\$platform"
reg query "HKLM\\Software\\Classes\\Interface\\$iid\\ProxyStubClsid32"
cscript //nologo $winwork\\client.vbs
regsvr32 /s /u $windll
reg export HKLM\\Software\\Classes $winwork\\after.reg /y >nul
echo == user
regsvr32 /s /n /i:user $windll
reg query "HKCU\\Software\\Classes\\zandrel.Connect\\CLSID"
reg query "HKLM\\Software\\Classes\\zandrel.Connect" >nul 2>&1
if errorlevel 1 (echo machine: not registered) else (echo machine: registered)
cscript //nologo $winwork\\client.vbs
regsvr32 /s /u /n /i:user $windll
reg query "HKCU\\Software\\Classes\\zandrel.Connect" >nul 2>&1
if errorlevel 1 (echo user: not registered) else (echo user: registered)
reg export HKCU\\Software\\Classes $winwork\\user-after.reg /y >nul
BAT
out=$("$wine_run" cmd /c "$winwork\\registration.bat" 2>&1)
machine=$(sed -n '/^== machine/,/^== user/p' <<<"$out")
user=$(sed -n '/^== user/,$p' <<<"$out")
expect_match "regsvr32: in-process server, apartment" "InprocServer32.*REG_SZ +Z:.*zandrel\.dll.*ThreadingModel +REG_SZ +Apartment" "$(tr '\n' ' ' <<<"$machine")"
expect_match "regsvr32: ProgID and version-independent ProgID" "zandrel\.Connect.CLSID.*${clsid:1:36}.*CurVer.*zandrel\.Connect\.1" "$(tr '\n' ' ' <<<"$machine")"
expect_match "regsvr32: type library ($platform) and interface" "$platform .*REG_SZ +Z:.*zandrel\.dll.*ProxyStubClsid32.*00020424-0000-0000-C000-000000000046" "$(tr '\n' ' ' <<<"$machine")"
expect_match "a script client creates zandrel.Connect" "Description=Veltrane Orvelle Visual Studio \.NET AddIn.Name=<zandrel - No Application>.MSDEVPid=0" "$(tr '\n' '.' <<<"$machine")"
expect_eq "regsvr32 /u removes exactly what regsvr32 wrote" "same" "$(cmp -s "$work/before.reg" "$work/after.reg" && echo same || diff <(utf8 "$work/before.reg") <(utf8 "$work/after.reg") | head -20)"
expect_match "regsvr32 /n /i:user registers for the user only" "HKEY_CURRENT_USER.*zandrel\.Connect.CLSID.*${clsid:1:36}.*machine: not registered" "$(tr '\n' ' ' <<<"$user")"
# Windows merges HKCU\Software\Classes into HKEY_CLASSES_ROOT; Wine keeps them
# apart, so a client there does not find a class registered for the user only.
if [[ "$user" =~ Description=Veltrane ]]; then
  expect_match "a script client finds the per-user class" "Description=Veltrane Orvelle Visual Studio \.NET AddIn" "$user"
else
  echo "[ SKIP ] a script client finds the per-user class: known Wine difference (no per-user view in HKEY_CLASSES_ROOT)"
fi
expect_match "regsvr32 /u /n /i:user removes it" "user: not registered" "$user"
expect_eq "nothing of zandrel is left for the user" "" "$(utf8 "$work/user-after.reg" | grep -i -E "zandrel|$clsid|$libid|$iid" | head -5)"
rm -f "$prefix/.zandrel-registered-zandrel.dll"  # the next wine-run registers it again

# --- The stand-in IDE ------------------------------------------------------
# Runs a scenario with every line of the add-in logged (no time stamps) into
# $work/log.txt; prints the transcript. With "no-manager", the stand-in
# integration manager is not registered (the next wine-run registers it again).
play() {
  rm -f "$work/log.txt"
  cp "$here/scenarios/$1" "$work/$1"
  local unregister=""
  if [ "${2:-}" == no-manager ]; then
    unregister="$(tr / '\\' <<<"Z:$(dirname "$ide")/standin_im.exe") /UnregServer"
  fi
  batch play.bat <<BAT
@echo off
$unregister
reg add "$key" /v Debug /t REG_DWORD /d 0x7F004000 /f >nul
reg add "$key" /v DebugOutputFile /t REG_SZ /d $winwork\\log.txt /f >nul
reg add "$key" /v SuppressTimeStamps /t REG_SZ /d true /f >nul
$(tr / '\\' <<<"Z:$ide") $winwork\\$1
reg delete "$key" /f >nul
BAT
  "$wine_run" cmd /c "$winwork\\play.bat"
  # The manager unregistered by the batch is registered again by the next wine-run.
  [ -z "$unregister" ] || rm -f "$prefix/.zandrel-registered-standin_im.exe"
}

# Replaces what differs from run to run: the process id, window handles,
# addresses, and the system's text for a failure code.
normalise() {
  sed -E -e "s/PID=[0-9]+/PID=<pid>/g" -e "s/HWND=(0x)?[0-9A-F]+/HWND=\1<hwnd>/g" -e "s/MainWnd=[0-9A-F]+/MainWnd=<hwnd>/g" \
    -e "s/zandrel -?[0-9]+/zandrel <addr>/g" -e "s/^Err (-?[0-9]+) .*/Err \1 <description>/"
}

transcript=$(play identity.scn no-manager)
pid=$(grep -o -m1 'PID=[0-9]*' <<<"$transcript" | cut -d= -f2)
hwnd=$(sed -n 's/^  IDEOwner window: //p' <<<"$transcript")
actual=$(sed -E -e "s/PID=$pid>/PID=<pid>>/" -e "s/^  = $pid\$/  = <pid>/" -e "s/: $hwnd\$/: <hwnd>/" \
  -e "s/^  = $((16#${hwnd:-0}))\$/  = <hwnd-decimal>/" <<<"$transcript")
expect_eq "identity members by name and through the vtable; everything released" "$(cat "$here/golden/identity.txt")" "$actual"

play lifecycle.scn no-manager >/dev/null
expect_eq "the log of creation, connection, two disconnections and destruction" \
  "$(cat "$here/golden/lifecycle.log")" "$(tr -d '\r' < "$work/log.txt" | normalise)"

transcript=$(play no_ide.scn no-manager)
expect_match "an Application that is not the IDE: Name" '> call Name.  = "<zandrel - No Application>"' "$(tr '\n' '.' <<<"$transcript")"
expect_match "an Application that is not the IDE: MSDEVMainWnd fails by name and vtable" \
  '> call MSDEVMainWnd.  ! error -2146828197: Object variable not set.> vcall MSDEVMainWnd.  ! error -2146828197: Object variable not set' \
  "$(tr '\n' '.' <<<"$transcript")"
expect_match "an Application that is not the IDE: unloadable afterwards" "DllCanUnloadNow=S_OK" "$transcript"
expect_eq "an Application that is not the IDE: the ERROR line" \
  " ERROR    DIRUDEVU  IDTExtensibility2.OnConnection:| Error -2147467262 No such interface supported" \
  "$(tr -d '\r' < "$work/log.txt" | grep -A1 'IDTExtensibility2.OnConnection:' | paste -sd'|')"

# Unloaded and loaded again in one IDE process: the second load registers the
# solution's documents as the first would (its timer window class included).
# Known Wine difference: here the second load gets its timer windows even when
# the first load's class was left registered (measured on x64 with the class
# registered for the EXE and never unregistered), where Windows refuses the
# second registration; the rule itself (the class registered for the DLL and
# gone with its last window) is held by tests/win's
# Win32Timers.TheWindowClassLivesWithItsWindows.
transcript=$(play reload.scn)
expect_match "unload and reload: the DLL is gone after the shutdown, and after the second one" \
  '> shutdown.*> unload-dll.  zandrel.dll is unloaded.> start.*> unload-dll.  zandrel.dll is unloaded' \
  "$(tr '\n' '.' <<<"$transcript")"
expect_match "unload and reload: the solution's document is registered" \
  '> manager show.  the manager holds 1 document:.    C:\\r\\A\.vcproj  \(owned by the IDE' "$(tr '\n' '.' <<<"$transcript")"
expect_eq "unload and reload: the timer armed on every arming" "" "$(grep -a 'StartTimer FAIL' "$work/log.txt")"
echo "$transcript" | grep -E '^> (start|shutdown|unload-dll|manager)|zandrel.dll is|holds'

# zandrel-doctor of this bitness, as scripts use it (--json), on the prefix as
# the tests leave it: the build's DLL registered in this bitness's view.
doctor=$("$wine_run" "$(dirname "$dll")/zandrel-doctor.exe" --json 2>&1)
code=$?
if [ "$arch" = x86 ]; then
  expect_match "doctor --json: the class in the 32-bit view, the build's DLL with its version" \
    '"level":"OK","area":"registration","what":"class \{E29A3501-6D36-44A5-B304-30989DB2BD0C\} in HKLM \(32-bit view\)","reason":"Z:\\\\.*zandrel\.dll, version [0-9]+\.[0-9]+\.[0-9]+' "$doctor"
else
  expect_match "doctor --json: a class only in the 64-bit view is a FAIL for the 32-bit IDE, exit code 1" \
    '"level":"FAIL","area":"registration","what":"class of zandrel.Connect","reason":"registered only in the 64-bit view.*"fail":[1-9][0-9]*\}.*code 1' \
    "$doctor code $code"
fi

# The end-of-run check bites: an IDE that keeps a reference to the add-in is
# reported, with the exit code 4, in its own verdict file.
printf 'start\nleak\n' > "$work/leak.scn"
rm -f "$work/leak-balance.txt"
leaked=$(ZANDREL_BALANCE_FILE="$winwork\\leak-balance.txt" "$wine_run" "$ide" "$winwork\\leak.scn" 2>&1)
code=$?
expect_eq "a reference kept to the add-in: the run ends with 4" 4 "$code"
expect_match "a reference kept to the add-in: reported on standard error" \
  'standin_ide: UNBALANCED: DllCanUnloadNow=S_FALSE, exported objects alive: 0' "$leaked"
expect_match "a reference kept to the add-in: the verdict file" 'leak.scn UNBALANCED: DllCanUnloadNow=S_FALSE' \
  "$(cat "$work/leak-balance.txt" 2>/dev/null)"

finish

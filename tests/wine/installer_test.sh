#!/usr/bin/env bash
# The installers of the x86 add-in under Wine, as users run them: msiexec
# per machine and per user, silent; the rows in the 32-bit view, the files in
# place, zandrel-doctor all OK, and the stand-in IDE loading the add-in from
# the IDE's own AddIns keys; uninstall leaving the registry as it was; an
# upgrade leaving one product; zandrel-doctor's FAIL for each broken set-up.
#
#   tests/wine/installer_test.sh BIN-DIR MSI-DIR VERSION
set -uo pipefail
source "$(dirname "$0")/lib.sh"

bin=$1
msis=$2
version=$3
root_dir=$(cd "$(dirname "$0")/../.." && pwd)
[ "$arch" = x86 ] || { echo "installer_test: the installers hold the x86 add-in (ZANDREL_WINE_ARCH=x86)"; exit 2; }
win() { echo "Z:$(tr / '\\' <<<"$1")"; }
winbin=$(win "$bin")
work="$prefix/drive_c/zandrel-install"
winwork='C:\zandrel-install'
settings='HKLM\SOFTWARE\Veltrane Software\Orvelle\AddIns\VisualStudio'
clsid='{E29A3501-6D36-44A5-B304-30989DB2BD0C}'
rm -rf "$work"
mkdir -p "$work"
batch() { sed 's/$/\r/' > "$work/$1"; }
run() { "$wine_run" cmd /c "$winwork\\$1" 2>&1 | tr -d '\r'; }
utf8() { iconv -f UTF-16LE -t UTF-8 "$1" 2>/dev/null | tr -d '\r'; }

# The build's own registration of zandrel.dll (tools/wine-run makes it) is
# taken away for the test; the next wine-run after it makes it again.
# The other tests leave the empty keys above the logger's settings behind;
# Windows Installer removes empty keys above what it removes, so the test
# starts as a machine without the modeling tool's key does.
"$wine_run" regsvr32 /s /u "$winbin\\zandrel.dll"
"$wine_run" reg delete 'HKLM\SOFTWARE\Veltrane Software' /f >/dev/null 2>&1
trap 'rm -f "$prefix/.zandrel-registered-zandrel.dll" "$prefix/.zandrel-registered-standin_im.exe"' EXIT

# snapshot NAME: the trees an installer touches, exported (32-bit view).
snapshot() {
  local name=$1 i=0 key
  rm -f "$work/$name-"*.reg
  {
    echo '@echo off'
    for key in 'HKLM\Software\Classes' 'HKLM\Software\Microsoft\VisualStudio' 'HKLM\Software\Veltrane Software' \
      'HKCU\Software\Classes' 'HKCU\Software\Microsoft\VisualStudio' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
      'HKLM\Software\zandrel'; do
      i=$((i + 1))
      echo "reg export \"$key\" $winwork\\$name-$i.reg /y >nul 2>&1"
    done
  } | batch "snapshot-$name.bat"
  run "snapshot-$name.bat" >/dev/null
}
# An export without its empty keys (no value, no subkey, repeatedly): Windows
# Installer removes the keys an uninstall leaves empty, also empty ones that
# were there before (the other tests leave such keys behind, as regsvr32 /u
# leaves HKCU\Software\Classes\CLSID).
without_empty_keys() {
  utf8 "$1" | awk '
    /^\[/ { n++; key[n] = $0; values[n] = 0; next }
    /^$/ { next }
    { if (n) values[n]++; body[n] = body[n] $0 "\n"; if (!n) head = head $0 "\n" }
    END {
      # An export lists a key right before its subkeys, so a key keeps a
      # subkey exactly when the next key kept after it is one of them.
      next_kept = ""
      for (i = n; i >= 1; i--) {
        name = substr(key[i], 2, length(key[i]) - 2) "\\"
        if (values[i] || index(next_kept, name) == 1) next_kept = substr(key[i], 2)
        else gone[i] = 1
      }
      kept = 0
      for (i = 1; i <= n; i++) if (!gone[i]) kept++
      if (kept) printf "%s", head
      for (i = 1; i <= n; i++) if (!gone[i]) printf "%s\n%s", key[i], body[i]
    }'
}
# same A B: the snapshots are the same but for empty keys; else the first differences.
same() {
  local i out=""
  for i in 1 2 3 4 5 6 7; do
    # A tree that does not exist is not exported: missing on both sides is the same.
    [ -e "$work/$1-$i.reg" ] || [ -e "$work/$2-$i.reg" ] || continue
    if ! cmp -s "$work/$1-$i.reg" "$work/$2-$i.reg"; then
      out+=$(diff <(without_empty_keys "$work/$1-$i.reg") <(without_empty_keys "$work/$2-$i.reg") | head -8)
    fi
  done
  [ -z "$out" ] && echo same || printf '%s\n' "$out"
}

cat > "$work/session.scn" <<'SCN'
manager start
open-solution C:\s\a.sln A=C:\s\A.vcproj B=C:\s\B.vcproj
settle
manager dump
shutdown
manager balanced
manager release
SCN

# --- Per machine ---------------------------------------------------------------
snapshot before
batch machine.bat <<BAT
@echo off
msiexec /i $(win "$msis/zandrel-$version-machine.msi") /qn
echo msiexec=%errorlevel%
reg query "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve
reg query "HKLM\\Software\\Classes\\CLSID\\$clsid\\Programmable" >nul 2>&1
if errorlevel 1 (echo programmable: missing) else (echo programmable: there)
reg query "HKLM\\Software\\Microsoft\\VisualStudio\\7.1\\AddIns\\zandrel.Connect"
reg query "HKLM\\Software\\Microsoft\\VisualStudio\\7.0\\AddIns\\zandrel.Connect" /v LoadBehavior
reg query "$settings" >nul 2>&1
if errorlevel 1 (echo settings: none) else (echo settings: written)
if exist "%ProgramFiles%\\zandrel\\zandrel.dll" (echo dll: in place) else (echo dll: missing)
echo == doctor
"%ProgramFiles%\\zandrel\\zandrel-doctor.exe"
echo doctor exit code %errorlevel%
echo == ide
reg add "$settings" /v Debug /t REG_DWORD /d 0x7F004000 /f >nul
reg add "$settings" /v DebugOutputFile /t REG_SZ /d $winwork\\machine.log /f >nul
reg add "$settings" /v SuppressTimeStamps /t REG_SZ /d true /f >nul
$winbin\\standin_ide.exe --load-addins 7.1 $winwork\\session.scn
reg delete "HKLM\\SOFTWARE\\Veltrane Software" /f >nul
BAT
out=$(run machine.bat)
installed=$(sed -n '/^== doctor/q;p' <<<"$out")
doctor=$(sed -n '/^== doctor/,/^== ide/p' <<<"$out")
ide=$(sed -n '/^== ide/,$p' <<<"$out")
echo "$doctor"
expect_match "per machine: msiexec succeeds" "msiexec=0" "$installed"
expect_match "per machine: the class points at the installed DLL, in the 32-bit view's Program Files" \
  'InprocServer32.*REG_SZ +C:\\Program Files \(x86\)\\zandrel\\zandrel\.dll' "$(tr '\n' ' ' <<<"$installed")"
expect_match "per machine: the class's Programmable key and the DLL in place" "programmable: there.*dll: in place" \
  "$(tr '\n' ' ' <<<"$installed")"
ide_keys=$(grep -E -c '^ +(FriendlyName +REG_SZ +zandrel|Description +REG_SZ +Keeps the integration manager.*|LoadBehavior +REG_DWORD +0x3|CommandPreload +REG_DWORD +0x0)$' <<<"$installed")
expect_eq "per machine: the IDE's 7.1 key (4 values) and 7.0 key (LoadBehavior)" 5 "$ide_keys"
expect_match "per machine: the logger's settings are left alone by default" "settings: none" "$installed"
expect_match "per machine: zandrel-doctor finds everything OK" '[0-9]+ OK, 0 WARN, 0 FAIL.doctor exit code 0' \
  "$(tr '\n' '.' <<<"$doctor")"
expect_match "per machine: the stand-in IDE loads the add-in from its AddIns keys" \
  'HKLM zandrel.Connect: LoadBehavior 3, loaded at start-up.  OnConnection\(mode 1\) -> S_OK' "$(tr '\n' '.' <<<"$ide")"
expect_match "per machine: the loaded add-in registers the solution's projects" \
  'C:\\s\\A\.vcproj kind=3.*C:\\s\\B\.vcproj kind=3' "$(tr '\n' ' ' <<<"$ide")"
expect_match "per machine: the add-in's log of the session" "BEGIN DoInitialize.*BEGIN RegisterProjects.*FinalRelease zandrel" \
  "$(tr -d '\r' < "$work/machine.log" | tr '\n' ' ')"

batch uninstall-machine.bat <<BAT
@echo off
msiexec /x $(win "$msis/zandrel-$version-machine.msi") /qn
echo msiexec=%errorlevel%
if exist "%ProgramFiles%\\zandrel\\zandrel.dll" (echo dll: still there) else (echo dll: removed)
BAT
out=$(run uninstall-machine.bat)
expect_match "per machine: uninstalled, the DLL removed" "msiexec=0.dll: removed" "$(tr '\n' '.' <<<"$out")"
snapshot after-machine
expect_eq "per machine: uninstall leaves the registry as before the install" same "$(same before after-machine)"

# --- The support option: the logger's settings on request --------------------
batch support.bat <<BAT
@echo off
msiexec /i $(win "$msis/zandrel-$version-machine.msi") /qn SUPPORTLOG=C:\\support\\zandrel.log
reg query "$settings"
msiexec /x $(win "$msis/zandrel-$version-machine.msi") /qn
reg query "$settings" >nul 2>&1
if errorlevel 1 (echo settings: removed) else (echo settings: left)
BAT
out=$(run support.bat)
expect_match "support option: Debug and DebugOutputFile written, and removed with the add-in" \
  'Debug +REG_DWORD +0x7f004000.*DebugOutputFile +REG_SZ +C:\\support\\zandrel\.log.*settings: removed' \
  "$(tr '\n' ' ' <<<"$out")"
expect_eq "support option: InstallDir (the modeling tool's) never written" "" "$(grep InstallDir <<<"$out")"
snapshot after-support
expect_eq "support option: uninstall leaves the registry as before" same "$(same before after-support)"

# Settings values that were there before (the modeling tool's InstallDir, an
# administrator's mask) are neither overwritten nor removed; the one missing
# (DebugOutputFile) is written and removed again.
batch support-kept.bat <<BAT
@echo off
reg add "$settings" /v InstallDir /t REG_SZ /d C:\\Orvelle /f >nul
reg add "$settings" /v Debug /t REG_DWORD /d 0x12004000 /f >nul
msiexec /i $(win "$msis/zandrel-$version-machine.msi") /qn SUPPORTLOG=C:\\support\\zandrel.log
echo == installed
reg query "$settings"
msiexec /x $(win "$msis/zandrel-$version-machine.msi") /qn
echo == uninstalled
reg query "$settings"
reg delete "$settings" /f >nul
BAT
out=$(run support-kept.bat)
installed=$(sed -n '/^== installed/,/^== uninstalled/p' <<<"$out")
uninstalled=$(sed -n '/^== uninstalled/,$p' <<<"$out")
expect_eq "support option over existing settings: the missing DebugOutputFile written, the rest as they were" \
  "Debug REG_DWORD 0x12004000|DebugOutputFile REG_SZ C:\\support\\zandrel.log|InstallDir REG_SZ C:\\Orvelle" \
  "$(awk 'NF == 3 && $2 ~ /^REG_/ { print $1, $2, $3 }' <<<"$installed" | sort | paste -sd'|')"
expect_eq "support option over existing settings: the uninstall leaves exactly what was there before" \
  "Debug REG_DWORD 0x12004000|InstallDir REG_SZ C:\\Orvelle" \
  "$(awk 'NF == 3 && $2 ~ /^REG_/ { print $1, $2, $3 }' <<<"$uninstalled" | sort | paste -sd'|')"

# --- Upgrade: version N, then N+1 --------------------------------------------
IFS=. read -r major minor patch <<<"$version"
next="$major.$minor.$((patch + 1))"
bash "$root_dir/installer/build-msi.sh" "$next" machine "$bin" "${ZANDREL_STRIP:-i686-w64-mingw32-strip}" "$work/next.msi" \
  || echo "installer_test: the N+1 installer could not be built"
batch upgrade.bat <<BAT
@echo off
msiexec /i $(win "$msis/zandrel-$version-machine.msi") /qn
msiexec /i $winwork\\next.msi /qn
echo msiexec=%errorlevel%
echo == products
reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s
echo == registration
reg query "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve
if exist "%ProgramFiles%\\zandrel\\zandrel.dll" (echo dll: in place) else (echo dll: missing)
BAT
out=$(run upgrade.bat)
# The version of every installed product named "zandrel add-in ...".
products=$(sed -n '/^== products/,/^== registration/p' <<<"$out" | awk '
  /^HKEY_/ { if (name ~ /^zandrel add-in/) print version; name = ""; version = "" }
  $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
  $1 == "DisplayVersion" { version = $3 }
  END { if (name ~ /^zandrel add-in/) print version }' | paste -sd,)
expect_eq "upgrade: one product left, of version N+1" "$next" "$products"
expect_match "upgrade: one registration, pointing at the installed file" \
  'InprocServer32.*C:\\Program Files \(x86\)\\zandrel\\zandrel\.dll.*dll: in place' "$(tr '\n' ' ' <<<"$out")"
batch uninstall-next.bat <<BAT
@echo off
msiexec /x $winwork\\next.msi /qn
BAT
run uninstall-next.bat >/dev/null
snapshot after-upgrade
expect_eq "upgrade: uninstalling N+1 leaves the registry as before N" same "$(same before after-upgrade)"

# --- Per user -------------------------------------------------------------------
batch user.bat <<BAT
@echo off
msiexec /i $(win "$msis/zandrel-$version-user.msi") /qn
echo msiexec=%errorlevel%
reg query "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve
reg query "HKLM\\Software\\Classes\\CLSID\\$clsid" >nul 2>&1
if errorlevel 1 (echo machine: not registered) else (echo machine: registered)
reg query "HKCU\\Software\\Microsoft\\VisualStudio\\7.1\\AddIns\\zandrel.Connect" /v LoadBehavior
if exist "%LOCALAPPDATA%\\zandrel\\zandrel.dll" (echo dll: in place) else (echo dll: missing)
echo == doctor
"%LOCALAPPDATA%\\zandrel\\zandrel-doctor.exe"
echo doctor exit code %errorlevel%
echo == ide
$winbin\\standin_ide.exe --load-addins 7.1 $winwork\\session.scn
echo == uninstall
msiexec /x $(win "$msis/zandrel-$version-user.msi") /qn
echo msiexec=%errorlevel%
BAT
out=$(run user.bat)
installed=$(sed -n '/^== doctor/q;p' <<<"$out")
doctor=$(sed -n '/^== doctor/,/^== ide/p' <<<"$out")
ide=$(sed -n '/^== ide/,/^== uninstall/p' <<<"$out")
echo "$doctor"
expect_match "per user: everything under HKCU, nothing per machine, the DLL under the user's local data" \
  'msiexec=0.*HKEY_CURRENT_USER.*InprocServer32.*REG_SZ +C:\\users\\[^ ]*\\AppData\\Local\\zandrel\\zandrel\.dll.*machine: not registered.*LoadBehavior +REG_DWORD +0x3.*dll: in place' \
  "$(tr '\n' ' ' <<<"$installed")"
expect_match "per user: zandrel-doctor finds everything OK" '[0-9]+ OK, 0 WARN, 0 FAIL.doctor exit code 0' \
  "$(tr '\n' '.' <<<"$doctor")"
if grep -q 'could not be created' <<<"$ide"; then
  # Windows merges HKCU\Software\Classes into HKEY_CLASSES_ROOT; Wine keeps
  # them apart (see addin_com_test.sh), so COM does not find a per-user class.
  echo "[ SKIP ] per user: the stand-in IDE loads the add-in: known Wine difference (no per-user view in HKEY_CLASSES_ROOT)"
  expect_match "per user: the stand-in IDE finds the add-in in the user's AddIns key" \
    'HKCU zandrel.Connect: LoadBehavior 3, loaded at start-up' "$ide"
else
  expect_match "per user: the stand-in IDE loads the add-in from its AddIns keys" \
    'HKCU zandrel.Connect: LoadBehavior 3, loaded at start-up.  OnConnection\(mode 1\) -> S_OK' "$(tr '\n' '.' <<<"$ide")"
fi
expect_match "per user: uninstalled" 'msiexec=0' "$(sed -n '/^== uninstall/,$p' <<<"$out")"
snapshot after-user
expect_eq "per user: uninstall leaves the registry as before the install" same "$(same before after-user)"

# --- zandrel-doctor on broken set-ups ---------------------------------------------
doctor_case() {  # NAME, then the batch lines that break the set-up, on stdin
  local name=$1
  { echo '@echo off'; cat; echo "$winbin\\zandrel-doctor.exe"; echo "echo doctor exit code %errorlevel%"; } | batch "case-$name.bat"
  run "case-$name.bat" | tee -a "$work/doctor-cases.txt"
}
out=$(doctor_case log-path <<BAT
reg add "$settings" /v Debug /t REG_DWORD /d 0x7F004000 /f >nul
reg add "$settings" /v DebugOutputFile /t REG_SZ /d C:\\no\\such\\folder\\zandrel.log /f >nul
BAT
)
expect_match "doctor: a log path that cannot be opened" \
  'FAIL logger: log file C:\\no\\such\\folder\\zandrel\.log \(from DebugOutputFile\): cannot be opened for appending: error 3.*doctor exit code 1' \
  "$(tr '\n' ' ' <<<"$out")"
out=$(doctor_case mask-0 <<BAT
reg add "$settings" /v Debug /t REG_DWORD /d 0 /f >nul
BAT
)
expect_match "doctor: a mask of 0 is the default (logging off), not a fault" \
  'OK   logger: HKLM.*VisualStudio \(32-bit view[^)]*\): Debug is 0 or missing: nothing is logged \(the default\)' \
  "$(tr '\n' ' ' <<<"$out")"
out=$(doctor_case foreign-levels <<BAT
reg add "$settings" /v Debug /t REG_DWORD /d 0x29004000 /f >nul
BAT
)
expect_match "doctor: a mask of levels the add-in never writes" \
  'WARN logger: HKLM.*VisualStudio \(32-bit view[^)]*\): Debug=0x29004000: ids DIRUDEVU; levels CRITICAL INFO TIMING: the add-in writes no line of these levels' \
  "$(tr '\n' ' ' <<<"$out")"
out=$(doctor_case only-64-bit <<BAT
reg delete "$settings" /f >nul
reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d $winbin\\zandrel.dll /reg:64 /f >nul
BAT
)
expect_match "doctor: the class registered only in the 64-bit view" \
  'FAIL registration: class of zandrel.Connect: registered only in the 64-bit view: the 32-bit IDE cannot create it.*doctor exit code 1' \
  "$(tr '\n' ' ' <<<"$out")"
out=$(doctor_case dll-gone <<BAT
reg delete "HKLM\\Software\\Classes\\CLSID\\$clsid" /reg:64 /f >nul
reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d C:\\gone\\zandrel.dll /f >nul
BAT
)
expect_match "doctor: a registered DLL path that no longer exists" \
  'FAIL registration: class \{E29A3501-6D36-44A5-B304-30989DB2BD0C\} in HKLM \(32-bit view\): the registered DLL C:\\gone\\zandrel\.dll does not exist.*doctor exit code 1' \
  "$(tr '\n' ' ' <<<"$out")"
out=$(doctor_case no-manager <<BAT
reg delete "HKLM\\Software\\Classes\\CLSID\\$clsid" /f >nul
$winbin\\standin_im.exe /UnregServer
BAT
)
expect_match "doctor: no integration manager registered" \
  'FAIL manager: class qmsIM\.qmsIntegrationManager: not registered: the add-in cannot start or find the integration manager.*doctor exit code 1' \
  "$(tr '\n' ' ' <<<"$out")"
snapshot after-cases
echo "(zandrel-doctor's reports on the broken set-ups: $work/doctor-cases.txt)"

finish

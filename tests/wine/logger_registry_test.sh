#!/usr/bin/env bash
# The logger against the real registry and a real log file, under Wine. Each
# case writes the settings with `reg add` and runs log_probe in a fresh process
# (the logger reads its settings once per process), from one batch file.
#
#   tests/wine/logger_registry_test.sh path/to/log_probe.exe
set -uo pipefail
source "$(dirname "$0")/lib.sh"

probe=$1
work="$prefix/drive_c/zandrel-logtest"
winwork='C:\zandrel-logtest'
key='HKLM\SOFTWARE\Veltrane Software\Orvelle\AddIns\VisualStudio'
# The probe is the build's bitness, and so is every `reg` of the batches: what
# they write lands in the registry view the add-in reads. The other view is
# reached with reg's /reg:32 or /reg:64.
if [ "$arch" = x86 ]; then own=32 other=64; else own=64 other=32; fi

# Runs the batch lines on stdin after removing the settings key and the files
# of earlier cases; prints the batch's standard output.
run_case() {
  rm -rf "$work"
  mkdir -p "$work"
  cp "$probe" "$work/log_probe.exe"
  rm -f "$prefix/drive_c/qmsdebuglog.txt"
  { echo '@echo off'
    echo "reg delete \"$key\" /f >nul 2>&1"
    echo "reg delete \"$key\" /f /reg:$other >nul 2>&1"
    cat
  } | sed 's/$/\r/' > "$work/case.bat"
  "$wine_run" cmd /c "$winwork\\case.bat"
}

log() { [ -f "$work/$1" ] && tr -d '\r' < "$work/$1" || echo "<no file $1>"; }
add() { echo "reg add \"$key\" /v $1 /t $2 /d \"$3\" /f >nul"; }  # NAME TYPE DATA

# No settings at all: mask 0, the default path, time stamps on, nothing written.
out=$(run_case <<EOF2
$winwork\\log_probe.exe --state --stats 0 14 "never written"
EOF2
)
expect_eq "no key: defaults" "mask=0x00000000 file=C:\\qmsdebuglog.txt suppress=
waits=0 waited_ms=0 message_boxes=0" "$out"
expect_eq "no key: no default file" "absent" "$([ -e "$prefix/drive_c/qmsdebuglog.txt" ] && echo present || echo absent)"

# A REG_DWORD mask with every level of the add-in's id, time stamps suppressed.
out=$(run_case <<EOF2
$(add Debug REG_DWORD 0x7F004000)
$(add DebugOutputFile REG_SZ "$winwork\\log.txt")
$(add SuppressTimeStamps REG_SZ TRUE)
$winwork\\log_probe.exe --state 4 14 "  BEGIN StopTimer" 6 14 "debug line" 1 14 "error line" 4 12 "other id" 4 0 "unknown id" 9 14 "level nine" 4 14 "  END DoDisconnect"
EOF2
)
expect_eq "dword mask: state" "mask=0x7F004000 file=$winwork\\log.txt suppress=true" "$out"
expect_eq "dword mask: lines" " TRACE    DIRUDEVU    BEGIN StopTimer
 DEBUG    DIRUDEVU  debug line
 ERROR    DIRUDEVU  error line
 LEVEL9   DIRUDEVU  level nine
 TRACE    DIRUDEVU    END DoDisconnect" "$(log log.txt)"
expect_eq "dword mask: CR LF line ends" "5" "$(grep -c $'\r$' "$work/log.txt")"

# The mask as REG_SZ text (302006272 = 0x12004000: ERROR and TRACE only).
out=$(run_case <<EOF2
$(add Debug REG_SZ 302006272)
$(add DebugOutputFile REG_SZ "$winwork\\log.txt")
$(add SuppressTimeStamps REG_SZ true)
$winwork\\log_probe.exe 4 14 trace 6 14 debug 1 14 error
EOF2
)
expect_eq "text mask: only ERROR and TRACE" " TRACE    DIRUDEVU  trace
 ERROR    DIRUDEVU  error" "$(log log.txt)"

# An empty DebugOutputFile counts as missing: InstallDir is the path, unchanged.
out=$(run_case <<EOF2
$(add Debug REG_DWORD 2130722816)
$(add DebugOutputFile REG_SZ "")
$(add InstallDir REG_SZ "$winwork\\install.log")
$(add SuppressTimeStamps REG_SZ true)
$winwork\\log_probe.exe --state 4 14 "to InstallDir"
EOF2
)
expect_eq "empty DebugOutputFile: InstallDir" "mask=0x7F004000 file=$winwork\\install.log suppress=true" "$out"
expect_eq "empty DebugOutputFile: line" " TRACE    DIRUDEVU  to InstallDir" "$(log install.log)"

# SuppressTimeStamps as REG_EXPAND_SZ reads as empty: lines carry a time stamp.
out=$(run_case <<EOF2
$(add Debug REG_DWORD 0x7F004000)
$(add DebugOutputFile REG_SZ "$winwork\\log.txt")
$(add SuppressTimeStamps REG_EXPAND_SZ true)
$winwork\\log_probe.exe --state 4 14 stamped
EOF2
)
expect_eq "expand_sz: suppress reads empty" "mask=0x7F004000 file=$winwork\\log.txt suppress=" "$out"
expect_match "expand_sz: time stamp" '^[0-9][^ ]* [0-9]{1,2}:[0-9]{2}:[0-9]{2}( [AP]M)? \([0-9]+([.,][0-9]+)?\)  TRACE    DIRUDEVU  stamped$' "$(log log.txt)"

# A path that cannot be opened: five attempts 100 ms apart, no file, no message.
out=$(run_case <<EOF2
$(add Debug REG_DWORD 0x7F004000)
$(add DebugOutputFile REG_SZ "$winwork\\missing\\x.log")
$winwork\\log_probe.exe --stats 4 14 lost
EOF2
)
expect_eq "unopenable path: five waits, no message" "waits=5 waited_ms=500 message_boxes=0" "$out"
expect_eq "unopenable path: no file" "absent" "$([ -e "$work/missing" ] && echo present || echo absent)"

# The registry view: the settings a program of the build's bitness writes are
# where the add-in of that bitness reads them. For x86 that is the 32-bit view,
# HKLM\SOFTWARE\Wow6432Node\... as 64-bit programs see it, as on 64-bit
# Windows; settings only in the other view are not read.
wow_key='HKLM\SOFTWARE\Wow6432Node\Veltrane Software\Orvelle\AddIns\VisualStudio'
out=$(run_case <<EOF2
$(add Debug REG_DWORD 0x7F004000)
$(add DebugOutputFile REG_SZ "$winwork\view.log")
$(add SuppressTimeStamps REG_SZ true)
reg query "$wow_key" /v Debug /reg:64 >nul 2>&1
if errorlevel 1 (echo 64-bit programs see it in place) else (echo 64-bit programs see it under Wow6432Node)
$winwork\log_probe.exe --state 4 14 "read through the $own-bit view"
EOF2
)
if [ "$arch" = x86 ]; then where="under Wow6432Node"; else where="in place"; fi
expect_eq "$own-bit programs: the settings they write are read by the $arch add-in" \
  "64-bit programs see it $where
mask=0x7F004000 file=$winwork\view.log suppress=true" "$out"
expect_eq "$own-bit programs: the line written" " TRACE    DIRUDEVU  read through the $own-bit view" "$(log view.log)"
out=$(run_case <<EOF2
reg add "$key" /v Debug /t REG_DWORD /d 0x7F004000 /f /reg:$other >nul
reg add "$key" /v DebugOutputFile /t REG_SZ /d "$winwork\other.log" /f /reg:$other >nul
$winwork\log_probe.exe --state 4 14 "never written"
EOF2
)
expect_eq "settings only in the $other-bit view are not read by the $arch add-in" "mask=0x00000000 file=C:\qmsdebuglog.txt suppress=" "$out"
expect_eq "settings only in the $other-bit view: no file" "absent" "$([ -e "$work/other.log" ] && echo present || echo absent)"

run_case </dev/null >/dev/null  # leave no settings behind
finish

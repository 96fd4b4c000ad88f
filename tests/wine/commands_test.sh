#!/usr/bin/env bash
# Extended commands sent by the stand-in manager to an IDE, across processes:
# "openfile" places the caret of the right IDE, a missing or non-text file
# writes only the BEGIN line, "activate" restores the window state.
#
#   tests/wine/commands_test.sh STANDIN_IDE_EXE
set -uo pipefail
source "$(dirname "$0")/lib.sh"

ide=$1
winbin="Z:$(tr / '\\' <<<"$(dirname "$ide")")"
work="$prefix/drive_c/zandrel-cmd"
winwork='C:\zandrel-cmd'
key='HKLM\SOFTWARE\Veltrane Software\Orvelle\AddIns\VisualStudio'
rm -rf "$work"
mkdir -p "$work"
printf 'int a;\r\nint b;\r\nint c;\r\nint d;\r\n  return d;\r\n' > "$work/main.cpp"
printf 'BM binary' > "$work/logo.bmp"

cat > "$work/a.scn" <<SCN
manager start
start
touch $winwork\\a-up
wait-file $winwork\\b-up
echo to-self
manager command self OpenFile 1 "$winwork\\main.cpp" 4 2
caret
manager command self openfile 0 "$winwork\\missing.cpp" 1 1
manager command self openfile 0 "$winwork\\logo.bmp" 1 1
caret
echo to-other
manager command other openfile 0 "$winwork\\main.cpp" "5" 2.5
touch $winwork\\a-sent
wait-file $winwork\\b-done
window-state 1
manager command self activate 0
window-state
window-state 2
manager command self activate 0
window-state
wait-file $winwork\\b-gone
echo as-the-real-ide
root-window-properties off
window-state 1
manager command self activate 0
window-state
shutdown
manager release
SCN
cat > "$work/b.scn" <<SCN
wait-file $winwork\\a-up
start
touch $winwork\\b-up
wait-file $winwork\\a-sent
caret
touch $winwork\\b-done
shutdown
touch $winwork\\b-gone
SCN
sed 's/$/\r/' > "$work/run.bat" <<BAT
@echo off
reg add "$key" /v Debug /t REG_DWORD /d 0x7F004000 /f >nul
reg add "$key" /v DebugOutputFile /t REG_SZ /d $winwork\\log.txt /f >nul
reg add "$key" /v SuppressTimeStamps /t REG_SZ /d true /f >nul
start "" /b $winbin\\standin_ide.exe $winwork\\a.scn > $winwork\\a.txt
$winbin\\standin_ide.exe $winwork\\b.scn > $winwork\\b.txt
echo wait 1500> $winwork\\end.scn
$winbin\\standin_ide.exe $winwork\\end.scn > nul
reg delete "$key" /f >nul
BAT
"$wine_run" cmd /c "$winwork\\run.bat" >/dev/null
a=$(tr -d '\r' < "$work/a.txt")
b=$(tr -d '\r' < "$work/b.txt")
log=$(tr -d '\r' < "$work/log.txt")

expect_match "openfile (any letter case) puts this IDE's caret at line 4, column 2" \
  "> caret.  caret: C:.zandrel-cmd.main.cpp line 4 column 2" "$(grep -A1 -m1 '^> caret' <<<"$a" | paste -sd'.')"
# Each BEGIN line is followed directly by the next command's (the last one is
# the other IDE's add-in's, which writes to the same log).
expect_eq "a missing file and a non-text file write only the BEGIN line" \
  "$(printf ' TRACE    DIRUDEVU      BEGIN DoOpenFile "%s", %s\n' "$winwork\\missing.cpp" "1, 1" "$winwork\\logo.bmp" "1, 1" "$winwork\\main.cpp" "5, 2")" \
  "$(grep -A1 -E 'BEGIN DoOpenFile .*(missing|logo)' <<<"$log" | grep -v -- '^--')"
expect_match "they leave the caret where it was" "caret: C:.zandrel-cmd.main.cpp line 4 column 2" "$(grep -A1 '^> caret' <<<"$a" | tail -1)"
expect_match "openfile sent to the other IDE moves that IDE's caret (text digits, 2.5 to 2)" \
  "caret: C:.zandrel-cmd.main.cpp line 5 column 2" "$b"
expect_match "activate from a minimized window ends normal and active" \
  "window: minimized.*> manager command self activate 0.*> window-state.  window: normal, active, visible" "$(tr '\n' '.' <<<"$a")"
expect_match "activate from a maximized window stays maximized" \
  "window: maximized, active, visible.> manager command self activate 0.*> window-state.  window: maximized, active, visible" "$(tr '\n' '.' <<<"$a")"
expect_eq "activate writes its BEGIN and END lines" "3" "$(grep -c -E 'BEGIN DoActivate|END DoActivate' <<<"$log" | awk '{print $1/2}')"
# The real IDE's root has no WindowState, Active or Visible (they belong to
# its MainWindow): every access by name fails at GetIDsOfNames, each is
# skipped, and activate still ends normally.
expect_match "activate on a root without the window properties: sent, nothing changes" \
  "> root-window-properties off.> window-state 1.  window: minimized, active, visible.> manager command self activate 0.  sent to the IDE with process id [0-9]+.> window-state.  window: minimized, active, visible" \
  "$(tr '\n' '.' <<<"$a")"
expect_eq "activate on a root without the window properties: BEGIN, five reads of DTE, END, no error" \
  "$(printf ' TRACE    DIRUDEVU      BEGIN DoActivate\n'
     for i in 1 2 3 4 5; do printf ' TRACE    DIRUDEVU  Get MSDevApp:  Entering...\n TRACE    DIRUDEVU  Get DTE:  Successful Exiting...\n'; done
     printf ' TRACE    DIRUDEVU        END DoActivate()')" \
  "$(awk '/BEGIN DoActivate/ { n++ } n == 3 { print } n == 3 && /END DoActivate/ { exit }' <<<"$log")"
finish

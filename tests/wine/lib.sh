# Helpers for the shell-driven tests that run under Wine.
#   source tests/wine/lib.sh
# gives: $root, $settings_key (the logger's, as reg names it), $wine_run, $prefix, $arch (x64 or x86, from
# $ZANDREL_WINE_ARCH, which ctest sets for the win32 build), expect_eq NAME
# EXPECTED ACTUAL, expect_match NAME REGEX ACTUAL, and finish (prints the
# summary, sets the exit code).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# The logger's settings key, as reg names it.
settings_key="HKLM\\$("$root/tools/idl-ids" SETTINGS_KEY)"
source "$root/tools/wine-env.sh" || exit 2
export ZANDREL_WINE_ARCH=$zandrel_arch
arch=$zandrel_arch
wine_run="$root/tools/wine-run"
prefix=$WINEPREFIX
# The prefix is made (or made again) before a test puts its files in it.
"$wine_run" --prepare || { echo "$(basename "$0" .sh): the Wine prefix could not be prepared"; exit 1; }
passed=0
failed=0
# Every stand-in IDE run adds its end-of-run verdict here (add-in server
# unloadable, none of the IDE's objects still referenced); finish checks them.
balance_name="zandrel-balance-$(basename "$0" .sh).txt"
balance="$prefix/drive_c/$balance_name"
export ZANDREL_BALANCE_FILE="C:\\$balance_name"
rm -f "$balance"

expect_eq() {
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
    echo "[  OK  ] $1"
  else
    failed=$((failed + 1))
    echo "[ FAIL ] $1"
    echo "--- expected"; printf '%s\n' "$2" | cat -A
    echo "--- actual"; printf '%s\n' "$3" | cat -A
  fi
}

expect_match() {
  if [[ "$3" =~ $2 ]]; then
    passed=$((passed + 1))
    echo "[  OK  ] $1"
  else
    failed=$((failed + 1))
    echo "[ FAIL ] $1: does not match $2"
    printf '%s\n' "$3" | cat -A
  fi
}

finish() {
  if [ -s "$balance" ]; then
    local runs unbalanced
    runs=$(grep -c . "$balance")
    unbalanced=$(grep -v ' balanced: ' "$balance" | tr -d '\r')
    expect_eq "every stand-in IDE run ended balanced ($runs runs)" "" "$unbalanced"
  fi
  echo "$(basename "$0" .sh) ($arch): $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# Wine's cmd and start now and then fail to find a program they found a
# moment before ("Can't recognize ...", error level 9009; "File not found.")
# when the machine is loaded; Windows does not. play_logged starts the
# stand-in IDE through $work/ide.bat, which starts it once more then (the
# stand-in never ends with 9009 itself), and says so.
#
# play_logged NAME [no-manager|with:OTHER.scn] < SCENARIO: plays the scenario
# in the stand-in IDE of $winbin with every line of the add-in logged (no time
# stamps) into $work/NAME.log, and prints the transcript. With "no-manager" the
# stand-in integration manager is unregistered first (the next wine-run
# registers it again); with "with:OTHER.scn" a second IDE plays $work/OTHER.scn
# alongside, its transcript in $work/OTHER.txt. Needs $work, $winwork, $winbin.
play_logged() {
  local name=$1 unregister="" other=""
  local key=$settings_key
  cat > "$work/$name.scn"
  rm -f "$work/$name.log"
  [ "${2:-}" == no-manager ] && unregister="$winbin\\standin_im.exe /UnregServer"
  if [[ "${2:-}" == with:* ]]; then
    local scn=${2#with:}
    other="start \"\" /b cmd /c $winwork\\ide.bat $winwork\\$scn > $winwork\\${scn%.scn}.txt"
  fi
  sed 's/$/\r/' > "$work/ide.bat" <<BAT
@echo off
$winbin\\standin_ide.exe %*
if errorlevel 9009 if not errorlevel 9010 (
  echo again >> $winwork\\started-again.txt
  $winbin\\standin_ide.exe %*
)
set ide_rc=%errorlevel%
if not %ide_rc%==0 echo standin_ide ended with exit code %ide_rc%
BAT
  sed 's/$/\r/' > "$work/$name.bat" <<BAT
@echo off
$unregister
reg add "$key" /v Debug /t REG_DWORD /d 0x7F004000 /f >nul
reg add "$key" /v DebugOutputFile /t REG_SZ /d $winwork\\$name.log /f >nul
reg add "$key" /v SuppressTimeStamps /t REG_SZ /d true /f >nul
$other
call $winwork\\ide.bat $winwork\\$name.scn
reg delete "$key" /f >nul
BAT
  "$wine_run" cmd /c "$winwork\\$name.bat"
  if [ -f "$work/started-again.txt" ]; then
    echo "[ NOTE ] $name: Wine's cmd did not find standin_ide.exe; started it again" >&2
    rm -f "$work/started-again.txt"
  fi
  [ -z "$unregister" ] || rm -f "$prefix/.zandrel-registered-standin_im.exe"
}

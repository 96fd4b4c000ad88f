#!/usr/bin/env bash
# tools/wine-run itself: each bitness runs its own loader and finds its own
# build's class, a command past its bound is ended with every process of the
# prefix, and no Wine process holds the prefix's lock.
#
#   tests/wine/harness_test.sh STANDIN_IDE_EXE
set -uo pipefail
source "$(dirname "$0")/lib.sh"

ide=$1
winide="Z:$(tr / '\\' <<<"$ide")"
work="$prefix/drive_c/zandrel-harness"
winwork='C:\zandrel-harness'
rm -rf "$work"
mkdir -p "$work"
clsid=$(sed -n 's/^CLSID=//p' <<<"$("$root/tools/idl-ids")")

# Processes (other than this test's shells) that have the file open.
holders() {
  local f pid
  for f in /proc/[0-9]*/fd/*; do
    [ "$(readlink "$f" 2>/dev/null)" == "$1" ] || continue
    pid=${f#/proc/}
    pid=${pid%%/*}
    tr '\0' ' ' 2>/dev/null < "/proc/$pid/cmdline"
    echo
  done | sort -u | grep -v -E '^(/usr/bin/)?(bash|flock|timeout) ' || true
}
# Windows programs of this prefix still running.
leftovers() {
  local pid
  for pid in $(pgrep -f '\.exe'); do
    tr '\0' '\n' 2>/dev/null < "/proc/$pid/environ" | grep -qx "WINEPREFIX=$prefix" && printf '%s ' "$pid"
  done
}

# --- Each bitness: its loader, its registry view, its build's class --------
cat > "$work/client.vbs" <<'VBS'
Set o = CreateObject("zandrel.Connect")
WScript.Echo "created: " & o.Name
VBS
for a in x64 x86; do
  b=$([ $a = x86 ] && echo win32 || echo win64)
  [ -f "$root/build/$b/bin/zandrel.dll" ] || { echo "[ SKIP ] $a: build/$b is not built"; continue; }
  [ $a = x64 ] || [ -x "$wine_loader32" ] || { echo "[ SKIP ] x86: no 32-bit Wine here"; continue; }
  # Each bitness's prefix has its own drive C.
  "$wine_run" --$a --prepare || { expect_eq "wine-run --$a --prepare" 0 1; continue; }
  other_prefix=$(ZANDREL_WINE_ARCH=$a bash -c "root='$root'; source '$root/tools/wine-env.sh'; echo \$WINEPREFIX")
  if [ "$other_prefix" != "$prefix" ]; then
    mkdir -p "$other_prefix/drive_c/zandrel-harness"
    cp "$work/client.vbs" "$other_prefix/drive_c/zandrel-harness/"
  fi
  out=$("$wine_run" --$a cmd /c "cscript //nologo $winwork\\client.vbs & reg query HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32 /ve" 2>&1)
  expect_match "wine-run --$a: a script client of that bitness creates the class of build/$b" \
    "created: <zandrel - No Application>.*REG_SZ +Z:.*\\\\build\\\\$b\\\\bin\\\\zandrel\\.dll" "$(tr '\n' ' ' <<<"$out")"
done

# --- The lock: held by wine-run alone, never by a Wine process ---------------
cat > "$work/hold.scn" <<SCN
manager start
start
touch $winwork\\up
wait 4000
shutdown
SCN
"$wine_run" "$ide" "$winwork\\hold.scn" > "$work/hold.txt" 2>&1 &
runner=$!
for _ in $(seq 1 300); do [ -e "$work/up" ] && break; sleep 0.1; done
seen=$(holders "$prefix.lock")
wait "$runner"
rc=$?
expect_eq "while a scenario runs, no Wine process holds the prefix's lock" "" "$seen"
expect_eq "the scenario itself ran" "0 yes" "$rc $([ -e "$work/up" ] && echo yes || echo no)"

# --- A command past its bound: ended, with every process of the prefix -------
cat > "$work/hang.scn" <<SCN
manager start
start
wait 600000
SCN
began=$(date +%s)
ZANDREL_WINE_TIMEOUT=5 "$wine_run" "$ide" "$winwork\\hang.scn" > "$work/hang.txt" 2>&1
rc=$?
took=$(( $(date +%s) - began ))
expect_eq "a command past its bound ends with 124" "124" "$rc"
expect_eq "the bound was kept (5 s, and the prefix stopped within 20 s more)" "yes" "$([ "$took" -lt 25 ] && echo yes || echo "no: $took s")"
expect_match "wine-run says why it ended the command" "did not end within 5 s; every process of the prefix is stopped" "$(cat "$work/hang.txt")"
expect_eq "nothing of the prefix is left running" "" "$(leftovers)"
expect_eq "the next run starts at once and runs clean" "0" \
  "$(echo 'echo fine' > "$work/fine.scn"; "$wine_run" "$ide" "$winwork\\fine.scn" >/dev/null 2>&1; echo $?)"

finish

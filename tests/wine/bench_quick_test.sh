#!/usr/bin/env bash
# One quick run of the Wine benchmarks of tools/bench at small sizes, so that
# they keep working: the logger against bare appends (log_probe --bench) and
# registration across processes against the bare calls (bench-register), and
# the opening of a solution against the bare calls of its registration
# (bench-open).
# Nothing about time is asserted.
#
#   tests/wine/bench_quick_test.sh BIN-DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"

bin=$1
winbin="Z:$(tr / '\\' <<<"$bin")"
work="$prefix/drive_c/zandrel-benchq"
winwork='C:\zandrel-benchq'
key=$settings_key
rm -rf "$work"
mkdir -p "$work"
cat > "$work/register.scn" <<'SCN'
manager start
start
open-solution C:\s\a.sln A=C:\s\A.vcproj B=C:\s\B.vcproj C=C:\s\C.vcproj
settle
bench-register 2
close-solution
settle
bench-open 3 2
manager dump
shutdown
manager release
SCN
sed 's/$/\r/' > "$work/bench.bat" <<BAT
@echo off
reg add "$key" /v Debug /t REG_DWORD /d 0x12004000 /f >nul
reg add "$key" /v DebugOutputFile /t REG_SZ /d $winwork\\probe.log /f >nul
$winbin\\log_probe.exe --bench 20
reg delete "$key" /f >nul
$winbin\\standin_ide.exe $winwork\\register.scn
BAT
out=$("$wine_run" cmd /c "$winwork\\bench.bat" 2>&1 | tr -d '\r')
expect_match "log_probe --bench: a logged line and a bare append timed" \
  'logged line ns: median [0-9]+ spread [0-9]+.bare append ns: median [0-9]+ spread [0-9]+' "$(tr '\n' '.' <<<"$out")"
expect_eq "log_probe --bench: 5 rounds of 20 lines written" 100 "$(grep -c 'RegisterDoc' "$work/probe.log" 2>/dev/null)"
# Each benchmark's JSON line, as tools/bench-table reads it: the sizes, every
# series timed (min <= median <= max), the parts named.
benches=$(python3 - "$out" <<'PY'
import json, re, sys
for line in sys.argv[1].splitlines():
    found = re.match(r"^\s*json (\{.*\})\s*$", line)
    if found:
        b = json.loads(found.group(1))
        series = {"register": ("addin_us", "bare_us"), "open": ("wall_us", "to_first_call_us", "bare_us")}[b["bench"]]
        timed = all(b[k]["min"] <= b[k]["median"] <= b[k]["max"] for k in series)
        print(b["bench"], b["projects"], b["documents"], b["runs"], "timed" if timed else "UNTIMED", *sorted(b["parts_us"]))
PY
)
expect_eq "bench-register and bench-open: one JSON object each, timed, with the parts of the bare calls" \
  "register 3 3 2 timed ide manager owners
open 3 3 2 timed document_objects ide manager" "$benches"
# Afterwards the manager holds nothing: the bare calls' documents and the
# add-in's were withdrawn, and it no longer times.
expect_eq "bench-open leaves no document and no timing behind" "" \
  "$(sed -n '/^> manager dump/,/^> shutdown/p' <<<"$out" | grep -E '^    C:|timing:')"
finish

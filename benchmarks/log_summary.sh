#!/usr/bin/env bash
# zandrel-doctor --log's summary at support's sizes: a generated log of 20 MB
# and of 200 MB, each summed up natively (time and peak memory, from
# getrusage), beside `wc -l` on the same file, the floor of any reading.
#   benchmarks/log_summary.sh [MB ...]     (default: 20 200)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
figures=build/native/bin/zandrel_log_summary_figures
[ -x "$figures" ] || { echo "log_summary.sh: build it first (tools/build native)"; exit 1; }
out=build/bench/logs
mkdir -p "$out"
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(20 200)
for mb in "${sizes[@]}"; do
  log="$out/generated-$mb.log"
  [ -f "$log" ] || "$figures" generate "$log" "$mb" || exit 1
  cat "$log" >/dev/null  # both read it from the page cache
  echo "== $mb MB"
  echo "summary: $("$figures" summarize "$log")"
  start=$(date +%s.%N)
  lines=$(wc -l <"$log")
  echo "wc -l:   $lines lines: $(echo "$(date +%s.%N) - $start" | bc | awk '{printf "%.2f", $1}') s"
done

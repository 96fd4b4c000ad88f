#!/usr/bin/env bash
# zandrel-doctor --log's summary at support's sizes: a generated log of 20 MB
# and of 200 MB, each summed up natively, beside `wc -l` on the same file, the
# floor of any reading: elapsed time, CPU time (user + system: what a busy
# machine changes least) and peak memory (maximum resident set), from
# /usr/bin/time.
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
  measure() { /usr/bin/time -f "%e s, CPU %U + %S s, peak memory %M kB" "$@" 2>&1 >/dev/null; }
  echo "summary: $(measure "$figures" summarize "$log")"
  echo "wc -l:   $(measure wc -l "$log")"
  echo "         $(wc -l <"$log") lines; the summary: $("$figures" summarize "$log")"
done

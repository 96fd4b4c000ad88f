#!/usr/bin/env bash
# The add-in in a real COM runtime, with one of its calls into the IDE's
# objects failed, or with the IDE shutting it down inside that call (as a
# nested message loop lets it), for a spread of the session's calls: each run
# ends without a fault, its log is the undisturbed run's up to the disturbed
# call, and it ends balanced (lib.sh's finish checks the stand-in IDE's
# end-of-run verdicts). The native sweep (tests/unit/addin/call_sweep_test.cpp)
# disturbs every call; this one proves the same on real proxies and stubs.
#
#   tests/wine/sweep_test.sh STANDIN_IDE_EXE [POINTS]
set -uo pipefail
source "$(dirname "$0")/lib.sh"

ide=$1
points=${2:-8}
winbin="Z:$(tr / '\\' <<<"$(dirname "$ide")")"
work="$prefix/drive_c/zandrel-sweep"
winwork='C:\zandrel-sweep'
rm -rf "$work"
mkdir -p "$work"

session() {
  [ -z "${1:-}" ] || echo "disturb $1 $2"
  cat <<'SCN'
manager start
start
open-solution C:\s\a.sln A=C:\s\A.vcproj B=C:\s\B.vcproj
settle 8000
add-project C C:\s\C.vcproj
settle 8000
remove-project A
settle 8000
rename-project B B2 C:\s\B2.vcproj
settle 8000
close-solution
settle 8000
calls
SCN
}

reference=$(session | play_logged reference)
calls=$(sed -n 's/^  calls into the IDE: //p' <<<"$reference" | tr -d '\r')
expect_match "the undisturbed session calls into the IDE" '^[0-9]+$' "$calls"
[[ "$calls" =~ ^[0-9]+$ ]] || { finish; exit; }
python3 "$root/tests/wine/play_cases.py" --normalise < "$work/reference.log" | grep -v 'EventQueueCount=' > "$work/reference.norm"

# The first calls (connection), then an even spread over the rest.
picks=$( (seq 1 3; for ((i = 1; i <= points; i++)); do echo $(((calls * i) / (points + 1) + 1)); done) | sort -nu)
for kind in fail shutdown; do
  bad=()
  for n in $picks; do
    out=$(session "$kind" "$n" | play_logged "$kind-$n")
    line=$(sed -n 's/^  disturbed: //p' <<<"$out" | tr -d '\r')
    if [[ ! "$line" =~ ^call\ $n\ \(.*\),\ ([0-9]+)\ log\ lines\ before\ it$ ]]; then
      bad+=("$n: not disturbed (${line:-no line}; $(grep -m1 -E '^  !|exit code' <<<"$out" | tr -d '\r'))")
      continue
    fi
    before=${BASH_REMATCH[1]}
    if grep -q 'exit code' <<<"$out"; then
      bad+=("$n: $(grep -m1 'exit code' <<<"$out" | tr -d '\r'): $(grep -m1 '^  !' <<<"$out" | tr -d '\r')")
    fi
    # The lines before the call, but for the stand-in's own polling of the
    # queue (how often it asked depends on the clock), are the undisturbed run's.
    head -n "$before" "$work/$kind-$n.log" | python3 "$root/tests/wine/play_cases.py" --normalise | grep -v 'EventQueueCount=' > "$work/$kind-$n.before"
    if ! cmp -s "$work/$kind-$n.before" <(head -n "$(wc -l < "$work/$kind-$n.before")" "$work/reference.norm"); then
      bad+=("$n: the log differs from the undisturbed run before the call")
    fi
  done
  expect_eq "$kind at calls $(echo $picks | tr ' ' ,) of $calls: no fault, the undisturbed log up to the call" \
    "" "$(printf '%s\n' "${bad[@]}" | sed '/^$/d')"
done

finish

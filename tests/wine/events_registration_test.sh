#!/usr/bin/env bash
# The road of the IDE's events under Wine, end to end: connection-point events
# from the stand-in IDE, the event queue worked off by real timer ticks, and
# project registration in the stand-in manager across processes; re-entry while
# the manager holds a call; two IDEs sharing one manager.
#
#   tests/wine/events_registration_test.sh STANDIN_IDE_EXE
set -uo pipefail
source "$(dirname "$0")/lib.sh"

ide=$1
here=$(cd "$(dirname "$0")" && pwd)
winbin="Z:$(tr / '\\' <<<"$(dirname "$ide")")"
work="$prefix/drive_c/zandrel-events"
winwork='C:\zandrel-events'
key='HKLM\SOFTWARE\Veltrane Software\Orvelle\AddIns\VisualStudio'
rm -rf "$work"
mkdir -p "$work"

play() { play_logged "$@"; }
log() { tr -d '\r' < "$work/$1.log"; }
# The documents of a dump: "name pid" lines, after the dump that follows MARK.
documents_after() {
  awk -v mark="> echo $2" '$0 == mark { state = 1; next }
    state == 1 && /^> manager dump/ { state = 2; next }
    state == 2 && /^> / { exit }
    state == 2 { print }' <<<"$1" | sed -n 's/^    \(.*\) kind=3 app=[0-9]* pid=\([0-9]*\).*/\1 \2/p'
}

# --- Two IDEs: each step of one leaves exactly each IDE's open projects
# registered, each owned by its own IDE (the other has a project A too). -------
cat > "$work/other.scn" <<SCN
manager start
start
open-solution C:\\s\\other.sln X=C:\\s\\X.vcproj A=C:\\s\\A.vcproj
settle
touch $winwork\\other-open
wait-file $winwork\\steps-done
shutdown
manager release
SCN
out=$(play steps with:other.scn <<SCN
wait-file $winwork\\other-open
manager start
start
open-solution C:\s\a.sln A=C:\s\A.vcproj B=C:\s\B.vcproj
settle
echo opened
manager dump
add-project C C:\s\C.vcproj
add-project D C:\s\D.vcproj
add-project E C:\s\E.vcproj
settle
echo added
manager dump
remove-project D
settle
echo removed
manager dump
rename-project C C2 C:\s\C2.vcproj
settle
echo renamed-project
manager dump
rename-solution C:\s\b.sln
settle
echo renamed-solution
manager dump
close-solution
settle
echo closed
manager dump
shutdown
touch $winwork\\steps-done
manager release
SCN
)
other=$(sed -n 's/.*app 1 kind=3 pid=\([0-9]*\).*/\1/p' <<<"$out" | head -1)
pid=$(sed -n 's/.*app 2 kind=3 pid=\([0-9]*\).*/\1/p' <<<"$out" | head -1)
docs() {
  echo "C:\\s\\X.vcproj $other"
  echo "C:\\s\\A.vcproj $other"
  for d in "$@"; do echo "C:\\s\\$d.vcproj $pid"; done
}
expect_eq "opened: its two projects" "$(docs A B)" "$(documents_after "$out" opened)"
expect_eq "three projects added in a row" "$(docs A B C D E)" "$(documents_after "$out" added)"
expect_eq "a project removed" "$(docs A B C E)" "$(documents_after "$out" removed)"
expect_eq "a project renamed" "$(docs A B E C2)" "$(documents_after "$out" renamed-project)"
expect_eq "the solution renamed: withdrawn and registered again" "$(docs A B C2 E)" "$(documents_after "$out" renamed-solution)"
expect_eq "the solution closed: only the other IDE's documents" "$(docs)" "$(documents_after "$out" closed)"
calls=$(log steps | sed -n 's/.*XeqEvent Calling \(.*\)/\1/p' | paste -sd'|')
expect_eq "one dispatch per tick, in arrival order (the other IDE's opening first)" \
  "SolutionOpened : Remain=0|SolutionOpened : Remain=0|ProjectAdded : Remain=2|ProjectAdded : Remain=1|ProjectAdded : Remain=0|ProjectRemoved : Remain=0|ProjectRenamed : Remain=0|SolutionRenamed : Remain=0|SolutionAfterClosing : Remain=0" \
  "$calls"
expect_eq "every tick reached the add-in" "0" "$(log steps | grep -c 'callback FAIL')"

# --- Re-entry: the solution closes while the manager holds RegisterDoc. -------
out=$(play reentry <<'SCN'
manager start
manager fault close-solution-in:RegisterDoc 2
start
open-solution C:\s\a.sln A=C:\s\A.vcproj B=C:\s\B.vcproj C=C:\s\C.vcproj
wait 1500
echo after
manager dump
shutdown
manager release
SCN
)
expect_eq "re-entry: the registration stopped early" "1" "$(log reentry | grep -c 'RegisterProjects: ASYNC m_blnQueueInterrupt - break')"
expect_eq "re-entry: the close was only queued, never nested" "1" \
  "$(log reentry | grep -c '\*\*\* m_blnInXeqEvent - just save interval = 100  \*\*\*')"
order=$(log reentry | grep -n -E 'BEGIN RegisterProjects|ENTER mSolutionEvents_AfterClosing|ASYNC|BEGIN DoWorkspaceClose' | cut -d: -f2- | sed 's/^ [A-Z]* *DIRUDEVU *//' | paste -sd'|')
expect_eq "re-entry: flag at once, break at the next project, close afterwards" \
  "BEGIN RegisterProjects|ENTER mSolutionEvents_AfterClosing()|RegisterProjects: ASYNC m_blnQueueInterrupt - break|BEGIN DoWorkspaceClose()" "$order"
expect_eq "re-entry: the queued close withdrew what was registered" "" "$(documents_after "$out" after)"

# --- Whole sessions, each log against its golden file (the native tests hold
# the portable build to the same files). ---------------------------------------
for name in session changes; do
  play "$name" < "$here/scenarios/$name.scn" >/dev/null
  expect_eq "the log of $name.scn" "$(cat "$here/golden/$name.log")" "$(normalise_log < "$work/$name.log")"
done

# --- Two IDEs with the same project: each sees only its own document. ---------
cat > "$work/a.scn" <<SCN
manager start
start
open-solution C:\\s\\a.sln A=C:\\s\\A.vcproj B=C:\\s\\B.vcproj
wait 500
touch $winwork\\a-open
wait-file $winwork\\b-open
echo both
manager dump
touch $winwork\\a-dumped
wait-file $winwork\\b-closed
wait 300
echo b-closed
manager dump
shutdown
manager release
SCN
cat > "$work/b.scn" <<SCN
wait-file $winwork\\a-open
start
open-solution C:\\s\\other.sln A=C:\\s\\A.vcproj X=C:\\s\\X.vcproj
wait 500
touch $winwork\\b-open
wait-file $winwork\\a-dumped
close-solution
wait 500
touch $winwork\\b-closed
shutdown
SCN
echo "wait 1500" > "$work/wait.scn"
play_together a b wait
a=$(tr -d '\r' < "$work/a.txt")
b=$(tr -d '\r' < "$work/b.txt")
pa=$(sed -n 's/.*app 1 kind=3 pid=\([0-9]*\).*/\1/p' <<<"$a" | head -1)
pb=$(sed -n 's/.*app 2 kind=3 pid=\([0-9]*\).*/\1/p' <<<"$a" | head -1)
expect_eq "two IDEs: both projects named A registered, each by its own IDE" \
  "C:\\s\\A.vcproj $pa|C:\\s\\B.vcproj $pa|C:\\s\\A.vcproj $pb|C:\\s\\X.vcproj $pb" "$(documents_after "$a" both | paste -sd'|')"
expect_eq "two IDEs: closing one solution withdraws only that IDE's documents" \
  "C:\\s\\A.vcproj $pa|C:\\s\\B.vcproj $pa" "$(documents_after "$a" b-closed | paste -sd'|')"

# --- An IDE that ended without shutting down: its documents stay behind; the
# next registration of another IDE withdraws them, or adopts the one whose path
# it has as a project (the owner test fails, which counts as a match).
cat > "$work/dead.scn" <<SCN
manager start
start
open-solution C:\\s\\gone.sln Shared=C:\\s\\Shared.vcproj Left=C:\\s\\Left.vcproj
wait 500
touch $winwork\\dead-opened
exit-now
SCN
cat > "$work/heir.scn" <<SCN
wait-file $winwork\\dead-opened
wait 500
manager start
echo before
manager dump
start
open-solution C:\\s\\heir.sln Shared=C:\\s\\Shared.vcproj Own=C:\\s\\Own.vcproj
wait 800
echo after
manager dump
shutdown
manager stop
SCN
play_together dead heir
heir=$(tr -d '\r' < "$work/heir.txt")
gone=$(sed -n 's/.*app 1 kind=3 pid=\([0-9]*\).*/\1/p' <<<"$heir" | head -1)
expect_eq "an ended IDE's documents stay behind" "C:\\s\\Shared.vcproj $gone|C:\\s\\Left.vcproj $gone" \
  "$(documents_after "$heir" before | paste -sd'|')"
expect_match "the next IDE adopts Shared, withdraws Left and registers only its own Own" \
  "^C:.s.Shared.vcproj $gone.C:.s.Own.vcproj [0-9]+$" "$(documents_after "$heir" after | paste -sd'.')"


# --- Two IDEs logging into one file at once: every line whole ------------------
# Each churns 300 project events; both add-ins write into the same log file.
cat > "$work/churn-b.scn" <<SCN
start
churn 300 300
shutdown
touch $winwork\\churn-b-done
SCN
play churn-a with:churn-b.scn > "$work/churn-a.txt" <<SCN
start
churn 300 300
wait-file $winwork\\churn-b-done
wait-file $winwork\\churn-b-done
shutdown
SCN
lines=$(log churn-a)
expect_eq "two IDEs logging into one file: every line has the line format" "" \
  "$(grep -v -E '^( (ERROR   |WARNING |TRACE   |DEBUG   ) DIRUDEVU  .*)?$' <<<"$lines" | head -5)"
expect_eq "two IDEs logging into one file: each BEGIN AddEvent has its END" \
  "$(grep -c 'BEGIN AddEvent(' <<<"$lines")" "$(grep -c 'END AddEvent()' <<<"$lines")"
expect_eq "two IDEs logging into one file: 600 events queued, both lives whole" "600 2 2" \
  "$(grep -c 'BEGIN AddEvent(' <<<"$lines") $(grep -c 'FinalConstruct zandrel' <<<"$lines") $(grep -c 'FinalRelease zandrel' <<<"$lines")"
echo "(two IDEs into one log: $(wc -l <<<"$lines") lines)"

finish

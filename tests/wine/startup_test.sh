#!/usr/bin/env bash
# Start-up against the stand-in integration manager, across processes: every
# way of finding (or not finding) the manager, a registration that gives
# nothing, start-up run again after a disconnection, two IDE processes sharing
# one manager, and the manager leaving once its last client has gone.
#
#   tests/wine/startup_test.sh STANDIN_IDE_EXE
set -uo pipefail
source "$(dirname "$0")/lib.sh"

ide=$1
winbin="Z:$(tr / '\\' <<<"$(dirname "$ide")")"
work="$prefix/drive_c/zandrel-startup"
winwork='C:\zandrel-startup'
rm -rf "$work"
mkdir -p "$work"

play() { play_logged "$@"; }
# The add-in's start-up lines, from BEGIN to END (or the failure routine).
startup() {
  tr -d '\r' < "$work/$1.log" | sed -n '/BEGIN DoInitialize/,/END DoInitialize\|ERROR DoInitialize/p' |
    sed -E -e 's/RETURN=[1-9][0-9]*/RETURN=<addr>/' -e 's/(m_RegMgr=|\) =)-?[0-9]+/\1<addr>/' -e 's/PID=[0-9]+/PID=<pid>/' \
      -e 's/\([0-9]+\)/(<pid>)/' -e 's/HWND=0x[0-9A-F]+/HWND=0x<hwnd>/' -e 's/MainWnd=[0-9A-F]+/MainWnd=<hwnd>/'
}
T() { printf ' TRACE    DIRUDEVU  %s\n' "$1"; }
D() { printf ' DEBUG    DIRUDEVU  %s\n' "$1"; }
E() { printf ' ERROR    DIRUDEVU  %s\n' "$1"; }
tail_lines() {
  T "   BEGIN GetMyTopWindow"
  T "      WndEnumProc HWND=0x<hwnd> Class=IDEOwner TITLE=Stand-in IDE"
  T "   END GetMyTopWindow"
  T "Get MSDevApp:  Entering..."
  T "Get DTE:  Successful Exiting..."
  T "  END DoInitialize PID=<pid>  MainWnd=<hwnd>"
}

# No manager registered: two attempts, the ERROR line of the last one; the IDE
# side still runs and solution events are subscribed.
out=$(play none no-manager <<'SCN'
start
solution-sinks
shutdown
SCN
)
expect_eq "no manager registered: the start-up lines" "$(T "BEGIN DoInitialize"; D "Call GetObject(qmsIM.qmsIntegrationManager)"
  D "  RETURN=0"; D "Call CreateObject(qmsIM.qmsIntegrationManager)"; D "  RETURN=0"
  E "  DoInitialize:  Failed to init IntegrationManager"; echo "Err -2147221005 Invalid class string"; tail_lines)" "$(startup none)"
expect_match "no manager registered: solution events still subscribed" "solution event sinks: 1" "$out"

# Registered but not running: the CreateObject attempt starts it.
out=$(play created <<'SCN'
manager running
start
manager dump
shutdown
SCN
)
expect_eq "registered, not running: created" "$(T "BEGIN DoInitialize"; D "Call GetObject(qmsIM.qmsIntegrationManager)"
  D "  RETURN=0"; D "Call CreateObject(qmsIM.qmsIntegrationManager)"; D "  RETURN=<addr>"
  D "Set m_RegMgr = m_IntgMgr.RegistrationManager"; D "m_RegMgr=<addr>"; D "m_RegMgr.RegisterApp(<pid>) =<addr>"; tail_lines)" \
  "$(startup created)"
expect_match "registered, not running: the manager holds the IDE" "manager running: no.*app 1 kind=3 pid=[0-9]+" "$(tr '\n' ' ' <<<"$out")"

# Running: GetObject attaches; one RETURN line.
play attached >/dev/null <<'SCN'
manager start
start
shutdown
manager release
SCN
expect_eq "running: attached" "$(T "BEGIN DoInitialize"; D "Call GetObject(qmsIM.qmsIntegrationManager)"
  D "  RETURN=<addr>"; D "Set m_RegMgr = m_IntgMgr.RegistrationManager"; D "m_RegMgr=<addr>"
  D "m_RegMgr.RegisterApp(<pid>) =<addr>"; tail_lines)" "$(startup attached)"

# RegisterApp gives nothing back.
play noapp >/dev/null <<'SCN'
manager start
manager fault null:RegisterApp 1
start
shutdown
manager release
SCN
expect_eq "RegisterApp returns nothing" "$(T "BEGIN DoInitialize"; D "Call GetObject(qmsIM.qmsIntegrationManager)"
  D "  RETURN=<addr>"; D "Set m_RegMgr = m_IntgMgr.RegistrationManager"; D "m_RegMgr=<addr>"
  E "  FAIL m_RegMgr.RegisterApp"; echo "   Err 0 "; tail_lines)" "$(startup noapp)"

# DoInitialize after DoDisconnect: registers, finds the window, fails at the
# solution events; the failure routine withdraws the registration just made.
out=$(play again <<'SCN'
manager start
start
notify OnDisconnection
call DoInitialize "again"
manager dump
release
manager release
SCN
)
expect_eq "DoInitialize after DoDisconnect: the failure line" \
  "$(E '  ERROR DoInitialize at "Set mSolutionEvents = DTE.Events.SolutionEvents"  Object variable not set')" \
  "$(tr -d '\r' < "$work/again.log" | grep 'ERROR DoInitialize')"
expect_match "DoInitialize after DoDisconnect: the registration is withdrawn" "applications:.  documents:" "$(grep -A2 '> manager dump' <<<"$out" | tail -2 | tr '\n' '.')"

# Two IDE processes share one manager; each shutdown withdraws only its own.
cat > "$work/a.scn" <<SCN
start
touch $winwork\\a-up
wait-file $winwork\\b-up
manager dump
touch $winwork\\a-dumped
wait-file $winwork\\b-gone
manager dump
shutdown
touch $winwork\\a-gone
SCN
cat > "$work/b.scn" <<SCN
wait-file $winwork\\a-up
start
touch $winwork\\b-up
wait-file $winwork\\a-dumped
shutdown
touch $winwork\\b-gone
SCN
cat > "$work/c.scn" <<SCN
wait-file $winwork\\a-gone
wait 1500
manager running
objects
SCN
play_together a b c
a=$(tr -d '\r' < "$work/a.txt")
dumps=$(grep -A4 '> manager dump' <<<"$a" | grep 'app ' | tr -s ' ')
expect_match "two IDEs: the manager holds both, each with its own process id" "app 1 kind=3 pid=[0-9]+ +app 2 kind=3 pid=[0-9]+" "$(head -2 <<<"$dumps" | paste -sd' ')"
pids=($(head -2 <<<"$dumps" | sed 's/.*pid=//'))
expect_eq "two IDEs: different process ids" "yes" "$([ "${pids[0]:-x}" != "${pids[1]:-x}" ] && echo yes || echo no)"
expect_eq "two IDEs: the second IDE's shutdown withdrew only its own" " app 1 kind=3 pid=${pids[0]:-}" "$(sed -n 3p <<<"$dumps")"
expect_match "after both IDEs: the manager has left by itself" "manager running: no" "$(tr -d '\r' < "$work/c.txt")"

# An IDE that dies (no shutdown, nothing released) leaves its references in the
# manager for ever; the manager watches the processes of the IDEs that
# registered and leaves by itself within seconds. The whole run is timed.
cat > "$work/crash.scn" <<SCN
manager start
start
open-solution C:\\s\\crash.sln P=C:\\s\\P.vcproj
settle
manager dump
touch $winwork\\crashed
exit-now
SCN
cat > "$work/watch.scn" <<SCN
wait-file $winwork\\crashed
manager wait-gone 20000
SCN
began=$(date +%s%N)
play_together crash watch
elapsed_ms=$(( ($(date +%s%N) - began) / 1000000 ))
echo "        a crashing IDE: the run ended in $elapsed_ms ms"
expect_match "a crashing IDE: it had registered a document" "C:.s.P.vcproj kind=3" "$(tr -d '\r' < "$work/crash.txt")"
expect_match "a crashing IDE: the manager leaves by itself within seconds" "manager gone within [1-9] s" "$(tr -d '\r' < "$work/watch.txt")"

finish

#!/usr/bin/env bash
# The main job, as a test: the demo session runs to its end and leaves what it
# should (each IDE's documents while it has a solution open, nothing at the end).
set -uo pipefail
source "$(dirname "$0")/lib.sh"

out=$(ZANDREL_DEMO_NO_BUILD=1 "$root/tools/demo" 2>&1)
shows() { grep -A8 "^\[$1\] > manager show" <<<"$out" | sed -n "$2"; }
expect_match "the demo ran to its end" "demo: done in [0-9]+ s" "$out"
expect_eq "no step of the demo failed" "" "$(grep -E '^demo: .*(failed|did not)|! ' <<<"$out")"
b=$(sed -n 's/^\[B\]   (this IDE is process \([0-9]*\))/\1/p' <<<"$out" | head -1)
a=$(sed -n 's/^\[A\]   (this IDE is process \([0-9]*\))/\1/p' <<<"$out" | head -1)
expect_eq "with both solutions open, each IDE owns its Core" "2" \
  "$(grep -c -E "C:.demo.Core.vcproj  \(owned by the IDE with process id ($a|$b)\)" <<<"$(grep -A6 '^\[B\] > manager show' <<<"$out" | head -7)")"
expect_match "after B closed, only A's documents remain" \
  "the manager holds 3 documents:.*Core.vcproj  \(owned by the IDE with process id $a\).*Net.vcproj.*Storage.vcproj" \
  "$(grep -A7 -F '[B] > close-solution' <<<"$out" | tr '\n' ' ')"
expect_match "openfile from the manager placed IDE B's caret" "\[B\]   caret: C:.zandrel-demo.core.cpp line 3 column 5" "$out"
expect_match "activate from the manager restored IDE B's minimized window" "\[B\]   window: normal, active, visible" "$out"
expect_match "at the end the manager holds nothing" "\[A\]   the manager holds 0 documents" "$out"
expect_match "the debug log was printed" "FinalRelease zandrel [0-9]+ PID=$a" "$out"

# The install route of the main job (x86 only: the installer holds the x86 add-in).
if [ "$arch" = x86 ] && [ -f "$root/build/win32/CMakeCache.txt" ] && ls "$root"/build/win32/installer/*.msi >/dev/null 2>&1; then
  out=$(ZANDREL_DEMO_NO_BUILD=1 "$root/tools/demo" --install 2>&1)
  expect_match "--install: installed, the doctor all OK, both IDEs loading the add-in from the AddIns keys, uninstalled" \
    "== Installing .*machine\.msi.*[0-9]+ OK, 0 WARN, 0 FAIL.*\[A\]   HKLM zandrel\.Connect: LoadBehavior 3, loaded at start-up.*== Uninstalling.*demo: done in [0-9]+ s" \
    "$(tr '\n' ' ' <<<"$out")"
  expect_match "--install: both IDEs loaded it" "\[B\]   add-ins loaded: 1" "$out"
  expect_eq "--install: no step failed" "" "$(grep -E '^demo: .*(failed|did not)|! ' <<<"$out")"
fi
finish

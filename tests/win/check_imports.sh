#!/usr/bin/env bash
# Checks Windows binaries as files: each imports only DLLs of the system (the
# compiler runtime is linked in), read with the toolchain's objdump.
#   check_imports.sh OBJDUMP FILE...
set -uo pipefail
objdump=$1
shift
system='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|shlwapi|msvcrt|ucrtbase|comctl32|rpcrt4|ws2_32|api-ms-win-[a-z0-9-]+)\.dll$'
passed=0
failed=0
for f in "$@"; do
  dlls=$("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  foreign=$(grep -v -E "$system" <<<"$dlls" || true)
  if [ -z "$dlls" ]; then
    echo "[ FAIL ] $(basename "$f"): no import table found"; failed=$((failed + 1))
  elif [ -n "$foreign" ]; then
    echo "[ FAIL ] $(basename "$f") imports non-system DLLs: $(echo $foreign)"; failed=$((failed + 1))
  else
    echo "[  OK  ] $(basename "$f") imports only $(echo $dlls)"; passed=$((passed + 1))
  fi
done
echo "check_imports: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

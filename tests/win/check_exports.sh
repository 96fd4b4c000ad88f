#!/usr/bin/env bash
# Checks the COM server's exports as a file: exactly the five entry points,
# with undecorated names.
#   check_exports.sh OBJDUMP DLL
set -uo pipefail
exports=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | paste -sd' ')
expected="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer"
if [ "$exports" == "$expected" ]; then
  echo "[  OK  ] $(basename "$2") exports $exports"
  echo "check_exports: 1 passed, 0 failed"
else
  echo "[ FAIL ] $(basename "$2") exports '$exports', not '$expected'"
  echo "check_exports: 0 passed, 1 failed"
  exit 1
fi

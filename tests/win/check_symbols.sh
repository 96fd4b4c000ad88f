#!/usr/bin/env bash
# Checks the PDBs a release ships as a debugger uses them:
#   check_symbols.sh DLL EXE [MSI]
# tools/symbols stores both binaries' PDBs; the binary as shipped (taken out
# of the installer when one is given: stripped and maybe signed) must name a
# PDB in the store by its CodeView record's GUID and age, by file name alone;
# that PDB must hold the add-in's functions and its source files.
set -uo pipefail
dll=$1 exe=$2 msi=${3:-}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "[  OK  ] $name"; passed=$((passed + 1)); else echo "[ FAIL ] $name"; failed=$((failed + 1)); fi
}
"$root/tools/symbols" "$work/store" "$dll" "$exe" > "$work/stored.txt" || { echo "[ FAIL ] tools/symbols"; exit 1; }
shipped=$dll
if [ -n "$msi" ]; then
  msiextract -C "$work/msi" "$msi" >/dev/null
  shipped=$(find "$work/msi" -name zandrel.dll | head -1)
fi
record=$(llvm-readobj --coff-debug-directory "$shipped")
b=($(sed -n 's/.*PDBGUID: (\(.*\))/\1/p' <<<"$record"))
age=$(sed -n 's/.*PDBAge: *//p' <<<"$record")
named=$(sed -n 's/.*PDBFileName: *//p' <<<"$record")
guid="${b[3]}${b[2]}${b[1]}${b[0]}-${b[5]}${b[4]}-${b[7]}${b[6]}-${b[8]}${b[9]}-$(IFS=; echo "${b[*]:10}")"
pdb="$work/store/zandrel.pdb/${guid//-/}$(printf '%X' "${age:-0}")/zandrel.pdb"
what=$([ -n "$msi" ] && echo "the installed zandrel.dll" || echo "zandrel.dll")
check "$what names its PDB by file name alone ($named), not by a build folder" [ "$named" = "zandrel.pdb" ]
check "$what finds its PDB in the store under its GUID and age" [ -f "$pdb" ]
summary=$(llvm-pdbutil dump -summary "$pdb" 2>/dev/null)
check "the PDB's own GUID and age are the DLL's ({$guid}, $age)" \
  grep -qx "  GUID: {$guid}" <<<"$summary"
check "the PDB's age is the DLL's" grep -qx "  Age: $age" <<<"$summary"
symbols=$(llvm-pdbutil dump -symbols "$pdb" 2>/dev/null)
for f in zandrel::addin::Connect::DoInitialize zandrel::addin::Connect::ExecuteExtendedCommand \
         zandrel::events::EventQueue::XeqEvent DllRegisterServer; do
  check "the PDB holds the function $f" grep -q "S_GPROC32 .*\`$f\`" <<<"$symbols"
done
files=$(llvm-pdbutil dump -files "$pdb" 2>/dev/null)
check "the PDB names the source file src/addin/startup.cpp" grep -q "src/addin/startup.cpp" <<<"$files"
check "zandrel-doctor.exe's PDB is stored too" grep -q "/zandrel-doctor.pdb/" "$work/stored.txt"
echo "check_symbols: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

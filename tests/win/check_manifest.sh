#!/usr/bin/env bash
# Checks the manifest zandrel-doctor.exe carries, read back from its resources
# as the loader reads it (RT_MANIFEST, id 1):
#   check_manifest.sh EXE
# asInvoker, which keeps Windows from virtualizing the 32-bit doctor's writes
# to HKLM\SOFTWARE when it runs unelevated; Windows Vista to 11 as supported
# systems; nothing else (no UTF-8 code page, no elevation asked for).
set -uo pipefail
exe=$1
llvm-readobj --coff-resources "$exe" | python3 -c '
import re, sys
import xml.etree.ElementTree as ET

lines = sys.stdin.read().splitlines()
passed = failed = 0
def check(name, ok):
    global passed, failed
    print(("[  OK  ] " if ok else "[ FAIL ] ") + name)
    passed, failed = passed + bool(ok), failed + (not ok)

# The hex dump under Type: MANIFEST (ID 24) > Name: (ID 1).
data, where = bytearray(), None
for line in lines:
    if re.match(r"\s*Type: ", line):
        where = "type 24" if "(ID 24)" in line else None
    elif where and re.match(r"\s*Name: ", line):
        where = "id 1" if where.startswith("type") and "(ID 1)" in line else None
    elif where == "id 1" and (m := re.match(r"\s*[0-9A-F]{4}: ((?:[0-9A-F]{2,8} ?)+)\s*\|", line)):
        data += bytes.fromhex(m.group(1).replace(" ", ""))
check("the program carries a manifest (RT_MANIFEST, id 1)", data)
try:
    root = ET.fromstring(bytes(data))
except ET.ParseError as e:
    root = None
    check(f"the manifest is well-formed XML ({e})", False)
if root is not None:
    v3, compat = "{urn:schemas-microsoft-com:asm.v3}", \
        "{urn:schemas-microsoft-com:compatibility.v1}"
    levels = [(e.get("level"), e.get("uiAccess")) for e in root.iter(v3 + "requestedExecutionLevel")]
    check(f"it asks for asInvoker, no UI access ({levels})", levels == [("asInvoker", "false")])
    wanted = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
              "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
              "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11"}
    ids = [e.get("Id") for e in root.iter(compat + "supportedOS")]
    check("it names Windows " + ", ".join(wanted.values()) + " as supported", sorted(ids) == sorted(wanted))
    check("it sets no code page and nothing else of the application",
          not [e for e in root.iter() if e.tag.endswith("activeCodePage") or e.tag.endswith("windowsSettings")])
print(f"check_manifest: {passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
'

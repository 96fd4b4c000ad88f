#!/usr/bin/env python3
"""Plays Wine cases: each NAME.case is the files a run needs, the batch file
that runs it in the prefix, and what it must leave: the transcript of the
batch and the add-in's log files, normalised. A new Wine case is a data file.

    play_cases.py [--bin DIR] [--msis DIR] [--version V] CASE-OR-DIR...
    play_cases.py --normalise < LOG      the log as the cases compare it

A case file (docs/scenarios.md, "Wine cases", has the whole format):
    # what the case holds (and any Wine difference, with its reason)
    only: x86                  the case runs for this bitness only
    register-again: yes        the case changes registrations: the build's
                               servers are registered again afterwards
    --- file NAME [< PATH]     a file in the case's folder @WORK@ (PATH: one
                               of tests/wine/, as it stands)
    --- host                   bash lines run on this machine, before the
                               batch or after it (where the section stands);
                               $WORK is the case's folder
    --- run                    the batch file, run by cmd /c
    --- expect [x86|x64]       its standard output, then any standard error
    --- log NAME [< PATH]      a file the run leaves ("(no file)": none)
Text is written with CR LF and with @WORK@, @BIN@, @MSIS@, @VERSION@,
@NEXT_VERSION@, @ARCH@, @PLATFORM@, @OWN@, @OTHER@, @SETTINGS@, @CLSID@,
@LIBID@ and @IID@ (the add-in's identifiers, from tools/idl-ids) replaced;
what a run prints gets the paths, versions and identifiers back as these names.
ZANDREL_UPDATE_GOLDEN=1 writes each expected text anew from the run.
"""
import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
# The trees an installer touches, in the 32-bit view (snapshot.bat NAME).
SNAPSHOT_TREES = (r"HKLM\Software\Classes", r"HKLM\Software\Microsoft\VisualStudio", r"HKLM\Software\Veltrane Software",
                  r"HKCU\Software\Classes", r"HKCU\Software\Microsoft\VisualStudio",
                  r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall", r"HKLM\Software\zandrel")
# The add-in's identifiers and names (tools/idl-ids). The class, type library
# and _Connect's interface are the cases' @CLSID@, @LIBID@ and @IID@.
NAMES = dict(line.split("=", 1) for line in subprocess.run([str(ROOT / "tools" / "idl-ids")], capture_output=True,
                                                           text=True, check=True).stdout.splitlines())
IDS = {"@" + key + "@": NAMES[key] for key in ("CLSID", "LIBID", "IID")}
SETTINGS = "HKLM\\" + NAMES["SETTINGS_KEY"]

# The keys the COM server owns, whole, in the view of the bitness's reg and
# under HKLM (rows.bat NAME): what DllRegisterServer writes, and the installer.
COM_KEYS = (r"CLSID\@CLSID@", NAMES["PROGID"], NAMES["PROGID"] + ".1", r"TypeLib\@LIBID@", r"Interface\@IID@")


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


# --- The normaliser --------------------------------------------------------
# What differs from run to run. Process ids and window handles are numbered in
# the order they first appear (<pid1>, <pid2>), so that a transcript still says
# which are the same; a handle printed in decimal too gets its number.
PID_AT = re.compile(r"(PID=|pid=|process id |is process |RegisterApp\(|MSDEVPid[ =])([1-9][0-9]*)")
HWND_AT = re.compile(r"(HWND=0x|HWND=|MainWnd=|IDEOwner window: )([0-9A-F]+)\b")
LOG_RULES = [
    (re.compile(r"(zandrel |RETURN=|m_RegMgr=|m_IntgMgrApp=|\) =|TimerFrm\.[A-Za-z]+\(|StartTimer\()-?[1-9][0-9]*"), r"\1<addr>"),
    (re.compile(r"-?[0-9]+ms"), "<t>ms"),
    (re.compile(r"\btook [0-9]+ ms\b"), "took <t> ms"),
    (re.compile(r"DeltaFromExpectedFire=-?[0-9]+"), "DeltaFromExpectedFire=<late>"),
    (re.compile(r"(TimerFrm\.StartTimer\(<addr>, )[0-9]+\)"), r"\1<ms>)"),
    # A time stamp: the date and time as the system writes them, then the ticks.
    (re.compile(r"^[0-9][^ ]* [0-9]{1,2}:[0-9]{2}:[0-9]{2}( [AP]M)? \([0-9]+([.,][0-9]+)?\)  ", re.M), "<time stamp>  "),
    (re.compile(r"\bwithin [0-9]+ s\b"), "within <n> s"),
    (re.compile(r"C:\\users\\[^\\\s]+\\", re.I), r"C:\\users\\<user>\\"),
    (re.compile(r"^Err (-?[0-9]+) .*", re.M), r"Err \1 <description>"),
    # A stand-in that waits for the queue to empty asks for its length as
    # often as the clock lets it: only the answer that ended the wait stays.
    (re.compile(r"^.*EventQueueCount=[1-9][0-9]*\n", re.M), ""),
]


def numbered(text):
    names = {}

    def name(kind, key):
        if (kind, key) not in names:
            names[(kind, key)] = f"<{kind}{sum(1 for k in names if k[0] == kind) + 1}>"
        return names[(kind, key)]

    text = PID_AT.sub(lambda m: m.group(1) + name("pid", int(m.group(2))), text)
    text = HWND_AT.sub(lambda m: m.group(1) + name("hwnd", int(m.group(2), 16)), text)

    # A number alone after "= " is one of them when it has their value.
    def alone(m):
        value = int(m.group(2))
        return m.group(1) + names.get(("pid", value), names.get(("hwnd", value), m.group(2)))
    return re.sub(r"^(  = )([0-9]+)$", alone, text, flags=re.M)


def normalise(text, places):
    text = text.replace("\r\n", "\n")
    for value, placeholder in places:
        text = text.replace(value.replace("\\", "\\\\"), placeholder).replace(value, placeholder)
    text = numbered(text)
    for pattern, replacement in LOG_RULES:
        text = pattern.sub(replacement, text)
    return text


# --- Cases -------------------------------------------------------------------
class Case:
    def __init__(self, path):
        self.path = path
        self.name = path.stem
        self.header = {}
        self.sections = []  # [kind, argument, lines]
        current = None
        for line in path.read_text(encoding="utf-8").split("\n"):
            if line.startswith("--- "):
                words = line[4:].split(None, 1)
                current = [words[0], words[1] if len(words) > 1 else "", []]
                self.sections.append(current)
            elif current is not None:
                current[2].append(line)
            elif ":" in line and not line.startswith("#"):
                key, value = line.split(":", 1)
                self.header[key.strip()] = value.strip()
        for section in self.sections:
            while section[2] and section[2][-1] == "":
                section[2].pop()
        kinds = {s[0] for s in self.sections} - {"file", "host", "run", "expect", "log"}
        if kinds or not any(s[0] == "run" for s in self.sections):
            raise ValueError(f"{path}: unknown sections {sorted(kinds)} or no '--- run'")

    def text(self, section):
        """The section's text: its own lines, or the file named after '<'."""
        argument = section[1]
        if "<" in argument:
            return (HERE / argument.split("<", 1)[1].strip()).read_text(encoding="utf-8")
        return "".join(line + "\n" for line in section[2])

    def expected(self, arch):
        """The expect section that holds for this bitness."""
        mine = [s for s in self.sections if s[0] == "expect" and s[1] == arch]
        return (mine or [s for s in self.sections if s[0] == "expect" and s[1] == ""] or [None])[0]


def log_target(case_dir, prefix, name):
    name = name.split("<", 1)[0].strip()
    if re.match(r"^[A-Za-z]:\\", name):
        return prefix / ("drive_" + name[0].lower()) / name[3:].replace("\\", "/")
    return case_dir / name.replace("\\", "/")


def read_log(path):
    if not path.exists():
        return "(no file)\n"
    raw = path.read_bytes().decode("utf-8", errors="replace")
    # Every line the add-in writes ends in CR LF: a bare LF is shown.
    lines = raw.split("\n")
    out = [line[:-1] if line.endswith("\r") else line + (" <LF without CR>" if i < len(lines) - 1 else "")
           for i, line in enumerate(lines)]
    return "\n".join(out)


def registry_report(case_dir):
    """Each registry snapshot after the first against the first, less empty keys."""
    names = []
    for f in sorted(case_dir.glob("*-1.reg"), key=lambda p: p.stat().st_mtime):
        names.append(f.name[:-6])
    lines = []
    for later in names[1:]:
        diff = []
        for i in range(1, len(SNAPSHOT_TREES) + 1):
            a, b = (without_empty_keys(case_dir / f"{n}-{i}.reg") for n in (names[0], later))
            diff += [d for d in difflib.unified_diff(a, b, lineterm="", n=0) if not d.startswith(("---", "+++", "@@"))]
        lines.append(f"registry at {later}: " + ("as at " + names[0] if not diff else "differs from " + names[0]))
        lines += ["  " + d for d in diff[:8]]
    return lines


def rows_report(case_dir):
    """The COM server's rows at each rows.bat after the first against the first, row by row."""
    names = [f.name[:-7] for f in sorted(case_dir.glob("*-1.rows"), key=lambda p: p.stat().st_mtime)]
    rows = {}
    for name in names:
        rows[name] = []
        for i in range(1, len(COM_KEYS) + 1):
            key = ""
            lines = export_lines(case_dir / f"{name}-{i}.rows")
            for n, line in enumerate(lines):
                if line.startswith("["):
                    key = line
                    after = lines[n + 1] if n + 1 < len(lines) else ""
                    if not after or (after.startswith("[") and not after.startswith(key[:-1] + "\\")):
                        rows[name].append(key + " (an empty key)")
                else:
                    rows[name].append(key + " " + line)
    lines = [f"COM rows at {names[0]}: {len(rows[names[0]])}"] if names else []
    for later in names[1:]:
        diff = [d for d in difflib.unified_diff(rows[names[0]], rows[later], lineterm="", n=0)
                if not d.startswith(("---", "+++", "@@"))]
        lines.append(f"COM rows at {later}: " + (f"as at {names[0]}" if not diff else f"differ from {names[0]}"))
        lines += ["  " + d for d in diff]
    return lines


def export_lines(path):
    """The key and value lines of a registry export (none when it is missing)."""
    if not path.exists():
        return []
    text = path.read_bytes().decode("utf-16", errors="replace").replace("\r", "")
    return [line for line in text.split("\n")[1:] if line]


def without_empty_keys(path):
    """An export's keys that have a value or keep a subkey: Windows Installer
    removes the keys an uninstall leaves empty, also ones that were empty before."""
    keys = []  # [name, lines]
    for line in export_lines(path):
        if line.startswith("["):
            keys.append([line[1:-1], []])
        elif line and keys:
            keys[-1][1].append(line)
    kept, next_kept = [], ""
    # An export lists a key right before its subkeys.
    for name, values in reversed(keys):
        if values or next_kept.startswith(name + "\\"):
            next_kept = name
            kept.append([f"[{name}]"] + values)
    return [line for key in reversed(kept) for line in key]


def play(case, args, prefix):
    arch = os.environ.get("ZANDREL_WINE_ARCH", "x64")
    if case.header.get("only", arch) != arch:
        print(f"[ SKIP ] {case.name}: for {case.header['only']} only")
        return True
    work = "C:\\zandrel-case-" + case.name
    case_dir = prefix / "drive_c" / ("zandrel-case-" + case.name)
    shutil.rmtree(case_dir, ignore_errors=True)
    case_dir.mkdir(parents=True)
    version = args.version or ""
    next_version = re.sub(r"[0-9]+$", lambda m: str(int(m.group()) + 1), version)
    forward = {"@WORK@": work, "@BIN@": windows_path(args.bin), "@MSIS@": windows_path(args.msis) if args.msis else "",
               "@VERSION@": version, "@NEXT_VERSION@": next_version, "@ARCH@": arch,
               "@PLATFORM@": "win32" if arch == "x86" else "win64", "@OWN@": "32" if arch == "x86" else "64",
               "@OTHER@": "64" if arch == "x86" else "32", "@SETTINGS@": SETTINGS, **IDS}
    places = sorted(((v, k) for k, v in forward.items() if k in ("@WORK@", "@BIN@", "@MSIS@", "@VERSION@",
                                                                 "@NEXT_VERSION@", "@PLATFORM@", *IDS) and v),
                    key=lambda p: -len(p[0]))

    def filled(text):
        for key, value in forward.items():
            text = text.replace(key, value)
        return text

    def write(name, text):
        (case_dir / name).write_bytes(filled(text).replace("\n", "\r\n").encode("utf-8"))

    write("snapshot.bat", "@echo off\n" + "".join(
        f'reg export "{tree}" {work}\\%1-{i}.reg /y >nul 2>&1\n' for i, tree in enumerate(SNAPSHOT_TREES, 1)))
    write("rows.bat", "@echo off\n" + "".join(
        f'reg export "HKLM\\Software\\Classes\\{key}" {work}\\%1-{i}.rows /y >nul 2>&1\n'
        for i, key in enumerate(COM_KEYS, 1)))
    write("log-on.bat", f'@echo off\nreg add "{SETTINGS}" /v Debug /t REG_DWORD /d 0x7F004000 /f >nul\n'
          f'reg add "{SETTINGS}" /v DebugOutputFile /t REG_SZ /d %1 /f >nul\n'
          f'reg add "{SETTINGS}" /v SuppressTimeStamps /t REG_SZ /d true /f >nul\n')
    # No settings: nothing to do; settings that cannot be removed: reg says why.
    write("log-off.bat", f'@echo off\nreg query "{SETTINGS}" >nul 2>&1\nif errorlevel 1 exit /b 0\n'
          f'reg delete "{SETTINGS}" /f >nul\n')
    # Wine's cmd and start now and then fail to find a program they found a
    # moment before ("Can't recognize ...", error level 9009; "File not
    # found.") when the machine is loaded; Windows does not. The cases start
    # the stand-in IDE through ide.bat (in the background with start "" /b
    # cmd /c), which starts it once more then, and the runner says so: the
    # stand-in never ends with 9009 itself. ide.bat ends with its exit code.
    write("ide.bat", "@echo off\n@BIN@\\standin_ide.exe %*\n"
          "if errorlevel 9009 if not errorlevel 9010 (\n"
          "  echo again >> @WORK@\\started-again.txt\n"
          "  @BIN@\\standin_ide.exe %*\n)\n"
          "set ide_rc=%errorlevel%\n"
          "if not %ide_rc%==0 echo standin_ide ended with exit code %ide_rc%\n"
          "exit /b %ide_rc%\n")
    # A stand-in IDE in the background: bg.bat NAME SCENARIO OUT. Every run
    # ends by waiting for each one to have ended (wait-bg.bat, at most 120 s),
    # since its last log lines come while it shuts down, and the prefix is
    # stopped as soon as the run is over; a run may wait sooner itself.
    write("bg.bat", "@echo off\necho.> @WORK@\\%1.bg-started\nstart \"\" /b cmd /c @WORK@\\bg-run.bat %1 %2 %3\n")
    write("bg-run.bat", "@echo off\ncall @WORK@\\ide.bat %2 > %3\necho.> @WORK@\\%1.bg-started.ended\n")
    write("wait-bg.bat", "@echo off\nset bg_waited=0\n:again\nset bg_pending=\n"
          "for %%f in (@WORK@\\*.bg-started) do if not exist %%f.ended set bg_pending=%%~nf\n"
          "if not defined bg_pending exit /b 0\n"
          "set /a bg_waited+=1\n"
          "if %bg_waited% geq 120 (\n  echo the stand-in IDE %bg_pending% did not end within 120 s\n  exit /b 1\n)\n"
          "ping -n 2 127.0.0.1 >nul\ngoto again\n")
    for section in case.sections:
        if section[0] == "file":
            write(section[1].split("<", 1)[0].strip(), case.text(section))
        elif section[0] == "log":
            log_target(case_dir, prefix, filled(section[1])).unlink(missing_ok=True)
    env = dict(os.environ, ZANDREL_BALANCE_FILE=work + "\\balance.txt")
    host_env = dict(env, WORK=str(case_dir), BIN=str(args.bin), MSIS=str(args.msis or ""), VERSION=version,
                    NEXT_VERSION=next_version, ROOT=str(ROOT))

    def host(section):
        done = subprocess.run(["bash", "-c", case.text(section)], capture_output=True, text=True, cwd=ROOT, env=host_env)
        return done.stdout + done.stderr

    at_run = next(i for i, s in enumerate(case.sections) if s[0] == "run")
    transcript = "".join(host(s) for s in case.sections[:at_run] if s[0] == "host")
    run_text = "".join(case.text(s) for s in case.sections if s[0] == "run")
    batches = "".join(case.text(s) for s in case.sections if s[0] == "file" and ".bat" in s[1].lower())
    commands = [line for line in (run_text + batches).splitlines() if not re.match(r"\s*@?(rem\b|::|echo\b)", line, re.I)]
    if any(re.search(r"(^|[\s(&|@])start\b", line, re.I) for line in commands):
        print(f"[ FAIL ] {case.name}: start stand-in IDEs in the background with bg.bat, which the run waits for")
        return False
    write("run.bat", run_text)
    # The run in a cmd of its own, so that however it ends (exit /b, a batch
    # it hands over to without call), the wait for the IDEs in the background
    # comes after it, and the run's exit code is passed on.
    write("main.bat", "@echo off\ncmd /c @WORK@\\run.bat\nset zandrel_rc=%errorlevel%\ncall @WORK@\\wait-bg.bat\n"
          "exit /b %zandrel_rc%\n")
    run = subprocess.run([str(ROOT / "tools" / "wine-run"), "cmd", "/c", work + "\\main.bat"], capture_output=True,
                         env=env)
    transcript += run.stdout.decode("utf-8", errors="replace")
    stderr = run.stderr.decode("utf-8", errors="replace")
    again = case_dir / "started-again.txt"
    if again.exists():
        # ide.bat's Wine difference: the message of the failed start goes, and the runner says so.
        stderr = "".join(line for line in stderr.splitlines(True)
                         if not (line.startswith("Can't recognize") and "standin_ide.exe" in line))
        for _ in again.read_text(errors="replace").splitlines():
            print(f"[ NOTE ] {case.name}: Wine's cmd did not find standin_ide.exe; started it again")
        again.unlink()
    if stderr:
        transcript += "[standard error]\n" + stderr
    if run.returncode:
        transcript += f"[exit code {run.returncode}]\n"
    transcript += "".join(host(s) for s in case.sections[at_run:] if s[0] == "host")
    transcript = "\n".join([transcript.rstrip("\n")] + registry_report(case_dir) + rows_report(case_dir)).strip("\n") + "\n"
    if case.header.get("register-again") == "yes":
        for marker in prefix.glob(".zandrel-registered-*"):
            marker.unlink()
    results = [(case.expected(arch), normalise(transcript, places))]
    for section in (s for s in case.sections if s[0] == "log"):
        results.append((section, normalise(read_log(log_target(case_dir, prefix, filled(section[1]))), places)))
    balance = case_dir / "balance.txt"
    verdicts = balance.read_text(errors="replace").splitlines() if balance.exists() else []
    unbalanced = [v for v in verdicts if " balanced: " not in v]
    ok = not unbalanced
    for v in unbalanced:
        print(f"[ FAIL ] {case.name}: a stand-in IDE run ended unbalanced: {v}")
    update = bool(os.environ.get("ZANDREL_UPDATE_GOLDEN"))
    for section, actual in results:
        what = "the transcript" if section is None or section[0] == "expect" else "log " + section[1]
        expected = case.text(section) if section else ""
        if actual == expected:
            continue
        if update and section is not None:
            if "<" in section[1]:
                (HERE / section[1].split("<", 1)[1].strip()).write_text(actual, encoding="utf-8")
            else:
                section[2][:] = actual.rstrip("\n").split("\n")
            continue
        ok = False
        print(f"[ FAIL ] {case.name}: {what}" + ("" if section else " (the case has no '--- expect')"))
        sys.stdout.writelines(difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                                   "expected", "actual"))
    if not ok:
        # What the IDEs in the background printed is compared only through
        # the logs; when a case fails, the cause is often in it.
        for name, out in re.findall(r"bg\.bat\s+(\S+)\s+\S+\s+@WORK@\\(\S+)", run_text):
            if (case_dir / out).exists():
                print(f"[ NOTE ] {case.name}: the stand-in IDE {name} in the background printed:")
                sys.stdout.write((case_dir / out).read_text(errors="replace").replace("\r", ""))
    if update:
        rewrite(case)
    if ok:
        print(f"[  OK  ] {case.name}" + (f" ({len(verdicts)} stand-in IDE runs, each balanced)" if verdicts else ""))
    return ok


def rewrite(case):
    lines = case.path.read_text(encoding="utf-8").split("\n")
    head = lines[:next((i for i, line in enumerate(lines) if line.startswith("--- ")), len(lines))]
    body = []
    for kind, argument, text in case.sections:
        body.append(f"--- {kind} {argument}".rstrip())
        body += [] if "<" in argument else text
    case.path.write_text("\n".join(head + body) + "\n", encoding="utf-8")


def main():
    if sys.argv[1:] == ["--normalise"]:  # a log on standard input, as the cases see it
        sys.stdout.write(normalise(sys.stdin.read(), []))
        return 0
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", type=Path, required=True, help="the build's bin folder")
    parser.add_argument("--msis", type=Path, help="the installers' folder")
    parser.add_argument("--version", help="the build's version")
    parser.add_argument("cases", nargs="+", type=Path)
    args = parser.parse_args()
    args.bin = args.bin.resolve()
    args.msis = args.msis.resolve() if args.msis else None
    cases = []
    for path in args.cases:
        cases += sorted(path.glob("*.case")) if path.is_dir() else [path]
    prefix = Path(subprocess.run(["bash", "-c", f"root='{ROOT}'; source '{ROOT}/tools/wine-env.sh' && echo $WINEPREFIX"],
                                 capture_output=True, text=True, check=True).stdout.strip())
    if subprocess.run([str(ROOT / "tools" / "wine-run"), "--prepare"]).returncode:
        print("play_cases: the Wine prefix could not be prepared")
        return 1
    failed = [case.name for case in map(Case, cases) if not play(case, args, prefix)]
    arch = os.environ.get("ZANDREL_WINE_ARCH", "x64")
    print(f"play_cases ({arch}): {len(cases) - len(failed)} passed, {len(failed)} failed" +
          (": " + ", ".join(failed) if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Holds zandrel-doctor --log's page to its text summary, as a browser shows it.

    page_check.py SUMMARY.txt PAGE.html SHOT.png [LOG]

With LOG, first the facts of the summary that do not depend on the timing of
the processes that wrote the log: the lifetimes, whether each was released
and their PIDs differ, their start-ups and the documents withdrawn, and
whether every line of LOG that has a time stamp was read as having one.

Renders the page in headless Chromium (a screenshot, and the DOM after
loading), then compares, lifetime by lifetime, the marks on each timeline
with the summary's counts: events queued and dispatched, documents registered
and withdrawn, errors (the marks shown and those the page says it left out). Prints one line a lifetime and a verdict; exit code 1
on any disagreement or when Chromium is missing (tools/setup installs it).
"""
import re
import shutil
import subprocess
import sys
from html.parser import HTMLParser

KINDS = ("queued", "dispatched", "registered", "withdrawn", "error")


def counts_of_summary(text):
    """Per '== ' block: the five counts the summary gives."""
    blocks = []
    for block in text.split("\n== ")[1:]:
        queued = re.search(r"events: queued (\d+)", block)
        dispatched = re.search(r"dispatched (\d+)", block)
        registered = re.search(r"documents: (\d+) registered", block)
        withdrawn = re.search(r", (\d+) withdrawn by name", block)
        errors = re.search(r"errors: (\d+) in", block)
        blocks.append({"queued": int(queued.group(1)), "dispatched": int(dispatched.group(1)),
                       "registered": int(registered.group(1)), "withdrawn": int(withdrawn.group(1)),
                       "error": int(errors.group(1)) if errors else 0})
    return blocks


class Marks(HTMLParser):
    """Per section.lifetime: how many g.mark of each kind, and their hover texts."""

    def __init__(self):
        super().__init__()
        self.sections, self.titles, self.left_out, self._in_title = [], 0, 0, False

    def handle_starttag(self, tag, attrs):
        classes = dict(attrs).get("class", "").split()
        if tag == "section" and "lifetime" in classes:
            self.sections.append({k: 0 for k in KINDS})
        elif tag == "g" and "mark" in classes and self.sections:
            self.sections[-1][classes[1]] += 1
        elif tag == "text" and "left-out" in classes and self.sections:
            self.sections[-1][dict(attrs)["data-kind"]] += int(dict(attrs)["data-count"])
            self.left_out += int(dict(attrs)["data-count"])
        elif tag == "title" and self.sections:
            self._in_title = True

    def handle_data(self, data):
        if self._in_title and re.match(r"line \d+: \S", data):
            self.titles += 1
        self._in_title = False


def facts(summary, log):
    lifetimes = re.findall(r"^== lifetime \d+: zandrel \S+, PID (\d+)", summary, re.M)
    unreleased = len(re.findall(r"^  no FinalRelease:", summary, re.M))
    print(f"summary: {len(lifetimes)} lifetimes, released: {'all' if not unreleased else unreleased}, "
          f"PIDs differ: {'yes' if len(set(lifetimes)) == len(lifetimes) else 'no'}")
    print("summary: start-up: " + "; ".join(sorted(re.findall(r"^  start-up: (.*) \(line", summary, re.M))))
    print("summary: withdrawn: " + ", ".join(sorted(re.findall(r"^    withdrawn (\S+)", summary, re.M))))
    with open(log, "rb") as f:
        stamped = sum(1 for line in f.read().split(b"\r\n") if line[:1].isdigit())
    said = re.search(r"lines, (\d+) with time stamps", summary)
    print(f"summary: lines with time stamps read as such: {'all' if said and int(said.group(1)) == stamped else 'NOT all'}")


def main():
    summary_path, page, shot = sys.argv[1:4]
    if len(sys.argv) > 4:
        with open(summary_path, encoding="utf-8", errors="replace") as f:
            facts(f.read().replace("\r\n", "\n"), sys.argv[4])
    chromium = shutil.which("chromium")
    if not chromium:
        print("page: chromium is missing (tools/setup installs it)")
        return 1
    flags = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars", "--window-size=1200,1400"]
    url = "file://" + page
    shot_run = subprocess.run(flags + ["--screenshot=" + shot, url], capture_output=True, timeout=120)
    dom = subprocess.run(flags + ["--dump-dom", url], capture_output=True, timeout=120)
    with open(shot, "rb") as f:
        png = f.read()
    if shot_run.returncode or not png.startswith(b"\x89PNG") or len(png) < 10000:
        print(f"page: no screenshot (exit {shot_run.returncode}, {len(png)} bytes)")
        return 1
    marks = Marks()
    marks.feed(dom.stdout.decode("utf-8", errors="replace"))
    with open(summary_path, encoding="utf-8", errors="replace") as f:
        summary = counts_of_summary(f.read().replace("\r\n", "\n"))
    ok = bool(summary) and len(summary) == len(marks.sections)
    if not ok:
        print(f"page: {len(marks.sections)} timelines for {len(summary)} blocks of the summary")
    for number, (said, shown) in enumerate(zip(summary, marks.sections), 1):
        if said != shown:
            ok = False
            print(f"page: block {number}: the summary says {said}, the page shows {shown}")
    total = sum(sum(s.values()) for s in marks.sections) - marks.left_out
    if marks.titles != total:
        ok = False
        print(f"page: {total} marks, {marks.titles} with their log line on hover")
    if ok:
        print("page: every timeline's marks agree with the summary, each with its log line on hover; "
              "screenshot taken")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

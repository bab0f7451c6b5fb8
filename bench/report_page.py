#!/usr/bin/env python3
"""What the --report page of a large batch costs a browser: the batch made
by report_batch (SITES small sites), checked with siteprep --check
--report, and the page opened in headless Chromium, a fresh browser each
turn, driven through the DevTools protocol over a pipe (no network).

Each turn measures the page's load time (its navigation entry's
loadEventEnd), the time until the charts in view are drawn, the page's JS
heap (performance.memory, precise), its DOM nodes, and the renderer's
resident memory of its own (RssAnon: the resident size less the shared
libraries' pages), first as it opens and again after scrolling to the
middle and to the end of the list through its links; and the same
renderer measure for a blank page.
Medians with min-max over TURNS turns; then the same for the page less
its overview table, the share of the grid of charts.

usage: bench/report_page.py SITEPREP REPORT_BATCH [SITES [TURNS]]
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"


class Browser:
    """A headless Chromium with one page, spoken to over fds 3 and 4."""

    def __init__(self, profile):
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()

        def fds():  # the pipe's ends at 3 and 4, where Chromium takes them
            reading, writing = os.dup(to_chrome_r), os.dup(from_chrome_w)
            os.dup2(reading, 3)
            os.dup2(writing, 4)
            for fd in (reading, writing, to_chrome_r, from_chrome_w, self.to_chrome,
                       self.from_chrome):
                if fd > 4:
                    os.close(fd)

        self.proc = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
             "--remote-debugging-pipe", "--enable-precise-memory-info",
             "--window-size=1200,900", "--user-data-dir=" + profile, "about:blank"],
            preexec_fn=fds, close_fds=False,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable", session=True)
        self.call("Performance.enable", session=True)

    def message(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_chrome, 1 << 16)
            if not chunk:
                raise RuntimeError("chromium closed its pipe")
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(text)

    def call(self, method, params=None, session=False):
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            command["sessionId"] = self.session
        os.write(self.to_chrome, json.dumps(command).encode() + b"\0")
        while True:
            reply = self.message()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(method + ": " + json.dumps(reply["error"]))
                return reply["result"]
            self.events.append(reply)

    def wait_event(self, method):
        while True:
            found = [e for e in self.events if e.get("method") == method]
            if found:
                self.events = [e for e in self.events if e.get("method") != method]
                return found[0]
            self.events.append(self.message())

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True}, session=True)
        return result["result"]["value"]

    def renderer_kb(self):
        """The largest RssAnon among the browser's renderer processes."""
        best = 0
        for pid in descendants(self.proc.pid):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if b"--type=renderer" not in f.read():
                        continue
                with open(f"/proc/{pid}/status") as f:
                    for line in f:
                        if line.startswith("RssAnon:"):
                            best = max(best, int(line.split()[1]))
            except OSError:
                pass
        return best

    def close(self):
        try:
            self.call("Browser.close")
        except RuntimeError:
            pass
        try:
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self.to_chrome)
        os.close(self.from_chrome)


def descendants(pid):
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    parent = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(parent, []).append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


# After two frames, so that the charts in view are drawn.
SETTLED = """new Promise(done => requestAnimationFrame(() => requestAnimationFrame(() => done({
  load_ms: performance.getEntriesByType("navigation")[0].loadEventEnd,
  drawn_ms: performance.now(),
  heap: performance.memory.usedJSHeapSize,
  charts: document.querySelectorAll("svg.climograph").length,
  nodes: document.getElementsByTagName("*").length}))))"""


def scrolled(fraction):
    """The grid's page that holds the site at fraction of the list, as a
    link from the overview shows it."""
    return ("location.hash = '#site-' + Math.max(1, Math.round("
            "document.querySelectorAll('script.site-data').length * %s));" % fraction + SETTLED)


def turn(url, profile):
    browser = Browser(profile)
    try:
        blank_kb = browser.renderer_kb()
        browser.call("Page.navigate", {"url": url}, session=True)
        browser.wait_event("Page.loadEventFired")
        opened = browser.evaluate(SETTLED)
        opened["rss_kb"] = browser.renderer_kb()
        opened["blank_kb"] = blank_kb
        for name, fraction in (("middle", 0.5), ("end", 1)):
            seen = browser.evaluate(scrolled(fraction))
            opened[name + "_heap"] = seen["heap"]
            opened[name + "_charts"] = seen["charts"]
            opened[name + "_rss_kb"] = browser.renderer_kb()
        return opened
    finally:
        browser.close()


def row(name, values, unit, scale=1.0):
    values = [v * scale for v in values]
    print("%-34s %10.1f %10.1f-%-10.1f %s" % (name, statistics.median(values), min(values),
                                              max(values), unit))


def report(results):
    print("%-34s %10s %21s" % ("", "median", "min-max"))
    row("load (loadEventEnd)", [r["load_ms"] for r in results], "s", 1e-3)
    row("charts drawn (two frames on)", [r["drawn_ms"] for r in results], "s", 1e-3)
    row("charts drawn on opening", [r["charts"] for r in results], "")
    row("DOM elements", [r["nodes"] for r in results], "")
    for name, key in (("opened", ""), ("at the middle", "middle_"), ("at the end", "end_")):
        row("JS heap, " + name, [r[key + "heap"] for r in results], "MB", 1e-6)
    for name, key in (("opened", "rss_kb"), ("at the middle", "middle_rss_kb"),
                      ("at the end", "end_rss_kb"), ("blank page", "blank_kb")):
        row("renderer RssAnon, " + name, [r[key] for r in results], "MB", 1.024e-3)
    row("charts drawn at the end", [r["end_charts"] for r in results], "")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    siteprep, maker = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    sites = int(sys.argv[3]) if len(sys.argv) > 3 else 10000
    turns = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    work = tempfile.mkdtemp(prefix="siteprep-report-")
    try:
        subprocess.run([maker, work, str(sites)], check=True)
        started = time.monotonic()
        subprocess.run([siteprep, "--check", "--no-progress", "--report", "r.html", "sites.txt"],
                       cwd=work, check=False, stdout=subprocess.DEVNULL)
        check_s = time.monotonic() - started
        page = os.path.join(work, "r.html")
        print("%d sites: siteprep --check --report %.1f s, page %.1f MB; medians of %d turns"
              % (sites, check_s, os.path.getsize(page) / 1e6, turns))
        with open(page) as f:
            text = f.read()
        start, end = text.index('<table class="overview"'), text.index("</table>")
        grid = os.path.join(work, "grid.html")
        with open(grid, "w") as f:
            f.write(text[:start] + text[end + len("</table>"):])
        for name, path in (("the whole page", page), ("the page less its overview table", grid)):
            print("\n%s, %.1f MB" % (name, os.path.getsize(path) / 1e6))
            report([turn("file://" + path, os.path.join(work, "profile%d" % t))
                    for t in range(turns)])
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()

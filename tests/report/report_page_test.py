#!/usr/bin/env python3
"""The report page as a person sees it: headless Chromium renders it without console errors, its
screenshot is not blank, every figure in the DOM equals the same key of `report --json` for the
same filters, and hostile record text arrives as text, never as markup.
Usage: report_page_test.py QUORVEL_CLI"""
import html.parser, json, os, shutil, sqlite3, struct, subprocess, sys, tempfile, zlib

CLI = sys.argv[1]
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--enable-logging=stderr", "--v=0"]
HOSTILE = "<script>alert('x')</script> & \"q\""
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def fill(path):
    db = sqlite3.connect(path)
    rows = []
    for i in range(120):
        start = "2026-12-08T%02d:%02d:00.000Z" % (8 + i // 30, (i * 2) % 60)
        probe = ["QVP00000001", "QVP00000002", "P" + HOSTILE][i % 3]
        status, result, via = ("passed", 0, "vendor")
        if i % 10 == 3:
            status, result = "failed", 8
        elif i % 17 == 5:
            status, result, via = "failed", 47, "swd"
        elif i % 29 == 7:
            status, result = "interrupted", None
        message = HOSTILE if i % 10 == 3 else "Programmed successfully!"
        rows.append((start, start, 3000 + (i * 37) % 900, "st-" + "ab"[i % 2], probe,
                     "job " + HOSTILE + ".qjob", "ab" * 32, status, result, message, via))
    db.executemany(
        "INSERT INTO runs (started_utc, ended_utc, duration_ms, host, pid, process_start,"
        " probe_serial, job_file, job_digest, status, result, message, via)"
        " VALUES (?,?,?,?,1,1,?,?,?,?,?,?,?)", rows)
    db.executemany("INSERT INTO serial_ledger VALUES (4096, 100, 1, ?, ?, ?, ?)",
                   [(k, 100 + k, k + 1, "void" if k % 10 == 3 else "used") for k in range(40)])
    db.commit()


class Figures(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.figures, self.open, self.scripts = {}, None, 0

    def handle_starttag(self, tag, attrs):
        if tag == "script":
            self.scripts += 1
        key = dict(attrs).get("data-k")
        if key:
            self.open = key
            self.figures[key] = ""

    def handle_endtag(self, tag):
        self.open = None

    def handle_data(self, data):
        if self.open:
            self.figures[self.open] += data


def lookup(obj, key):
    for part in key.split("."):
        obj = obj[int(part)] if isinstance(obj, list) else obj[part]
    return obj


def same(shown, value):
    if value is None:
        return shown == "-"
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        try:
            return float(shown) == float(value)
        except ValueError:
            return False
    return shown == value


def png_pixels(path):
    """RGBA/RGB rows of an 8-bit PNG, unfiltered."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8, depth
            channels = {2: 3, 6: 4}[colour]
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b, c = prev[x], prev[x - channels] if x >= channels else 0
            if f == 1: line[x] = (line[x] + a) & 255
            elif f == 2: line[x] = (line[x] + b) & 255
            elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return rows, channels


def chromium(page, tmp, *extra):
    profile = tempfile.mkdtemp(dir=tmp)  # a fresh profile each time
    return subprocess.run([CHROMIUM, *FLAGS, "--user-data-dir=" + profile, *extra,
                           "file://" + page], capture_output=True, text=True, timeout=120)


def main():
    if not CHROMIUM:
        print("chromium not found (Debian package chromium)", file=sys.stderr)
        return 1
    tmp = tempfile.mkdtemp(prefix="quorvel-report-")
    env = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")
    try:
        record = os.path.join(tmp, "record.sqlite")
        subprocess.run([CLI, "report", "--record", record], check=True, env=env,
                       capture_output=True)
        fill(record)
        for filters in ([], ["--since", "2026-12-08", "--until", "2026-12-08", "--station", "st-a"],
                        ["--probe", "P" + HOSTILE, "--job", "job " + HOSTILE + ".qjob"]):
            page = os.path.join(tmp, "page.html")
            out = subprocess.run([CLI, "report", "--record", record, "--html", page, "--json",
                                  *filters], capture_output=True, text=True, env=env)
            check(out.returncode == 0, "report %s exit %d: %s" % (filters, out.returncode, out.stderr))
            report = json.loads(out.stdout)
            dom = chromium(page, tmp, "--dump-dom")
            check(dom.returncode == 0, "chromium --dump-dom failed: " + dom.stderr[-500:])
            errors = [l for l in dom.stderr.splitlines() if "CONSOLE" in l]
            check(not errors, "console messages: %s" % errors)
            parser = Figures()
            parser.feed(dom.stdout)
            check(parser.scripts == 0, "%s: a script element reached the DOM" % filters)
            check(HOSTILE in dom.stdout.replace("&lt;", "<").replace("&gt;", ">")
                  .replace("&amp;", "&").replace("&quot;", '"').replace("&#39;", "'"),
                  "%s: hostile text not shown as text" % filters)
            figures = parser.figures
            check(len(figures) > 20, "%s: only %d figures in the DOM" % (filters, len(figures)))
            for key, shown in figures.items():
                value = lookup(report, key)
                check(same(shown, value), "%s: %s shows %r, JSON has %r" % (filters, key, shown, value))
            check(figures.get("headline.runs") == str(report["headline"]["runs"]),
                  "%s: headline runs missing" % filters)
        shot = os.path.join(tmp, "shot.png")
        run = chromium(page, tmp, "--window-size=1000,1400", "--screenshot=" + shot)
        check(run.returncode == 0 and os.path.exists(shot), "no screenshot: " + run.stderr[-500:])
        rows, channels = png_pixels(shot)
        colours, inked = set(), 0
        for row in rows[::4]:
            for x in range(0, len(row), channels * 4):
                px = row[x:x + 3]
                colours.add(px)
                inked += px != b"\xff\xff\xff" and px != b"\xf4\xf5\xf7"
        check(len(colours) > 20, "screenshot nearly blank: %d colours" % len(colours))
        check(inked > 500, "screenshot nearly blank: %d inked samples" % inked)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for f in failures:
        print("FAIL:", f, file=sys.stderr)
    return 1 if failures else 0


sys.exit(main())

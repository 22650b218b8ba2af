#!/usr/bin/env python3
"""quorvel-cli killed with SIGKILL at random moments of its runs: the production record stays
intact, every run that ended by itself is there with its result, every killed one shows as
interrupted, and no serial number is handed out twice.
Usage: kill_test.py QUORVEL_CLI VIRTUALPROBE_LIB [RUNS]"""
import os, random, signal, sqlite3, subprocess, sys, tempfile, time

cli, lib = sys.argv[1], sys.argv[2]
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 200
work = tempfile.mkdtemp(prefix="quorvel-kill-")
record = os.path.join(work, "record.sqlite")
image = os.path.join(work, "app.bin")
with open(image, "wb") as f:
    f.write(bytes((i * 7) & 0xFF for i in range(16384)))
env = dict(os.environ, LD_PRELOAD=lib, QUORVEL_VPROBE_REALTIME="1", QUORVEL_VPROBE_LATENCY_US="200",
           ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=0", LC_ALL="C")
args = [cli, "program", image + "@0", "--rolling", "1D000:1:1", "--serial-ledger", "--record", record]
rng = random.Random(20261208)
finished = {0: 0, "other": 0}
killed = 0
for _ in range(runs):
    p = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(rng.uniform(0, 0.25))
    if p.poll() is None:
        p.send_signal(signal.SIGKILL)
        killed += 1
    code = p.wait()
    if code >= 0:
        finished[0 if code == 0 else "other"] += 1

# Opening the record again (as report does) marks the runs of dead processes interrupted.
subprocess.run([cli, "report", "--record", record], env=env, stdout=subprocess.DEVNULL, check=True)
db = sqlite3.connect(record)
problems = []
if db.execute("PRAGMA integrity_check").fetchone()[0] != "ok":
    problems.append("integrity_check failed")
status = dict(db.execute("SELECT status, COUNT(*) FROM runs GROUP BY status").fetchall())
# A run killed after its end was written is rightly passed; one that ended by itself must be.
passed = status.get("passed", 0)
if not finished[0] <= passed <= finished[0] + killed:
    problems.append("passed rows %d, runs that ended with 0: %d" % (passed, finished[0]))
if sum(status.values()) > runs:
    problems.append("more rows than runs")
if status.get("started", 0):
    problems.append("%d runs still started" % status["started"])
serials = [s for (s,) in db.execute("SELECT serial FROM runs WHERE serial IS NOT NULL")]
if len(serials) != len(set(serials)):
    problems.append("a serial appears twice")
values = [v for (v,) in db.execute("SELECT value FROM serial_ledger")]
if len(values) != len(set(values)):
    problems.append("the ledger handed out a value twice")
used = db.execute("SELECT COUNT(*) FROM serial_ledger WHERE state = 'used'").fetchone()[0]
if used != status.get("passed", 0):
    problems.append("used serials %d, passed runs %d" % (used, status.get("passed", 0)))
print("runs %d, killed %d, ended by themselves %d; rows by status %s; %d serials, %d distinct;"
      " %d used, %d passed" % (runs, killed, runs - killed, status, len(serials), len(set(serials)),
                               used, status.get("passed", 0)))
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)

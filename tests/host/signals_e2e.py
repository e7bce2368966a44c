#!/usr/bin/env python3
"""SIGINT, SIGTERM and SIGHUP sent to a running qvrun whose standard output
goes to a file: the lines the program printed are there, and the process
ends as killed by the signal. The lines must be in the file before the
signal: output reaches its stream before the program waits.

    signals_e2e.py QVRUN
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = ["print_delay", "print_compute", "print_events"]
LINES = b"".join(b"line %d\n" % i for i in range(1, 51))
qvrun = os.path.abspath(sys.argv[1])
env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
env["QT_QPA_PLATFORM"] = "offscreen"
failures = []


def printed(path):
    with open(path, "rb") as f:
        return f.read()


def one(folder, name, sig):
    out = os.path.join(folder, "%s-%d.txt" % (name, sig))
    prog = os.path.join(HERE, "signals", name + ".qv")
    with open(out, "wb") as f:
        qv = subprocess.Popen([qvrun, prog], stdout=f, stderr=subprocess.DEVNULL, env=env)
    try:
        deadline = time.time() + 20
        # The waiting and event programs must show their lines while they
        # wait; the computing one only when stopped.
        while time.time() < deadline and LINES not in printed(out) and name != "print_compute":
            time.sleep(0.05)
        if name != "print_compute" and LINES not in printed(out):
            failures.append("%s: the lines did not reach the file before the wait" % name)
        if name == "print_compute":
            time.sleep(0.5)
        qv.send_signal(sig)
        qv.wait(timeout=10)
    except subprocess.TimeoutExpired:
        failures.append("%s, signal %d: still running" % (name, sig))
        qv.kill()
        qv.wait()
        return
    if LINES not in printed(out):
        failures.append("%s, signal %d: lines lost:\n%s" % (name, sig, printed(out).decode()))
    if qv.returncode != -sig:
        failures.append("%s, signal %d: status %d, expected %d" % (name, sig, qv.returncode, -sig))


with tempfile.TemporaryDirectory(prefix="qv_signals_") as folder:
    for name in PROGRAMS:
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            one(folder, name, sig)

print("\n".join(failures) if failures else "ok")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""SIGINT, SIGTERM and SIGHUP sent to a running qvrun whose standard output
goes to a file, while it waits, computes or pumps events: the lines the
program printed are in the file (those of the waiting programs before the
signal: output reaches its stream before the program waits), and the
process ends as killed by the signal.

    signals_e2e.py QVRUN
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from qvhost import check, env, finish, qvrun  # noqa: E402

LINES = b"".join(b"line %d\n" % i for i in range(1, 51))

with tempfile.TemporaryDirectory(prefix="qv_signals_") as folder:
    for name, sig in (("print_delay", signal.SIGINT), ("print_compute", signal.SIGTERM),
                      ("print_events", signal.SIGHUP)):
        out = os.path.join(folder, name + ".txt")
        with open(out, "wb") as f:
            qv = subprocess.Popen([qvrun(), os.path.join(HERE, "signals", name + ".qv")],
                                  stdout=f, stderr=subprocess.DEVNULL, env=env())
        deadline = time.time() + 20
        while name != "print_compute" and time.time() < deadline and \
                LINES not in open(out, "rb").read():
            time.sleep(0.05)
        time.sleep(0.5)
        check(name + ": the lines reach the file before the wait",
              name == "print_compute" or LINES in open(out, "rb").read())
        qv.send_signal(sig)
        try:
            qv.wait(timeout=10)
        except subprocess.TimeoutExpired:
            qv.kill()
            qv.wait()
        check("%s, signal %d: lines kept, killed by the signal" % (name, sig),
              LINES in open(out, "rb").read() and qv.returncode == -sig, qv.returncode)
finish()

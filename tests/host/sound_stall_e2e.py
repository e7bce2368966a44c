#!/usr/bin/env python3
"""A capture device that never answers must not hang qvrun. "default"
reads a named pipe (ALSA's file plugin): without a writer the device's
open blocks, so qvrun reports it unavailable and runs the program; with a
writer that sends a little and then stalls, a recording ends with the
capture's error.

    sound_stall_e2e.py QVRUN
"""
import os
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
HELLO = os.path.join(HERE, "..", "..", "examples", "hello.qv")
RECORD = os.path.join(HERE, "sound_stall", "record.qv")
BOUND = 15  # seconds: the waits are 2 s each, with room for a slow machine
qvrun = os.path.abspath(sys.argv[1])
failures = []


def check(name, cond, detail=""):
    if not cond:
        failures.append(name + (":\n" + detail if detail else ""))


def configure(folder):
    fifo = os.path.join(folder, "input.fifo")
    os.mkfifo(fifo)
    with open(os.path.join(HERE, "alsa", "asoundrc.in")) as f:
        text = f.read().replace("@INFILE@", fifo)
    conf = os.path.join(folder, "asound.conf")
    with open(conf, "w") as f:
        f.write(text)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(QT_QPA_PLATFORM="offscreen", ALSA_CONFIG_PATH=conf)
    return fifo, env


def run(prog, env):
    start = time.time()
    try:
        p = subprocess.run([qvrun, prog], capture_output=True, env=env, timeout=BOUND)
    except subprocess.TimeoutExpired:
        return None, BOUND
    return p, time.time() - start


def stalled_writer(fifo, stop):
    """Opens the pipe, sends 2048 frames of silence, then sends nothing."""
    fd = os.open(fifo, os.O_WRONLY)
    os.write(fd, bytes(8192))
    stop.wait(BOUND + 5)
    os.close(fd)


with tempfile.TemporaryDirectory(prefix="qv_stall_") as folder:
    fifo, env = configure(folder)

    p, took = run(HELLO, env)
    check("a device that does not open: the program still runs", p is not None)
    if p:
        out = p.stdout.decode("latin-1")
        check("the start line says the device is unavailable",
              "input stream handler 0, error: Connection timed out\n" in out, out)
        check("hello prints", "Hello, world!\n" in out and p.returncode == 1, out)

    p, took = run(RECORD, env)
    check("a recording without a device ends", p is not None)
    if p:
        out = p.stdout.decode("latin-1")
        check("without a device the recording fails with the capture's error",
              "recording\nCan't get sound data\n" in out and "recorded" not in out
              and "RUN-TIME error 1 (line 4)" in out and p.returncode == 1, out)

    # The open thread of the runs above still waits on the pipe in those
    # finished processes only; this run has a writer, which then stalls.
    stop = threading.Event()
    writer = threading.Thread(target=stalled_writer, args=(fifo, stop), daemon=True)
    writer.start()
    p, took = run(RECORD, env)
    stop.set()
    check("a stalled recording ends", p is not None)
    if p:
        out = p.stdout.decode("latin-1")
        check("the device opened", "error: none\n" in out, out)
        check("a stalled recording fails with the capture's error",
              "recording\nCan't get sound data\n" in out and "recorded" not in out
              and "RUN-TIME error 1 (line 4)" in out and p.returncode == 1, out)

print("\n".join(failures) if failures else "ok")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""A capture device that never answers must not hang qvrun. "default"
reads a named pipe: without a writer the device's open blocks, so qvrun
reports it unavailable and runs the program; with a writer that sends a
little and then stalls, a recording ends with the capture's error; a stop
signal sent while the open waits ends qvrun once it stops waiting.

    sound_stall_e2e.py QVRUN
"""
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from qvhost import capture_device, check, env, finish, qvrun, run  # noqa: E402

RECORD = os.path.join(HERE, "sound_stall", "record.qv")
FAILED = "recording\nCan't get sound data\n\nRUN-TIME error 1 (line 4)"


def stalled_writer(fifo, stop):
    """Opens the pipe, sends 2048 frames of silence, then sends nothing."""
    fd = os.open(fifo, os.O_WRONLY)
    os.write(fd, bytes(8192))
    stop.wait(20)
    os.close(fd)


with tempfile.TemporaryDirectory(prefix="qv_stall_") as folder:
    fifo = os.path.join(folder, "input.fifo")
    os.mkfifo(fifo)
    e = env(ALSA_CONFIG_PATH=capture_device(folder, fifo))
    try:
        p = run([RECORD], env=e, timeout=15)
        check("a device that does not open: unavailable, the recording fails",
              "input stream handler 0, error: Connection timed out\n" in p.stdout
              and FAILED in p.stdout and p.returncode == 1, p.stdout)
        # The open thread of the run above still waits on the pipe in that
        # finished process only; this run has a writer, which then stalls.
        stop = threading.Event()
        stalled = threading.Thread(target=stalled_writer, args=(fifo, stop), daemon=True)
        stalled.start()
        p = run([RECORD], env=e, timeout=15)
        stop.set()
        # Its end closes the pipe: a writer left open would let the next
        # open succeed at once (a loaded machine once ran the next case so).
        stalled.join(5)
        check("a stalled recording fails with the capture's error",
              "error: none\n" in p.stdout and FAILED in p.stdout and p.returncode == 1, p.stdout)
        # A stop signal while the device opens, slowly (its writer comes
        # after a second) but in time: qvrun ends before the program runs.
        def late_writer():
            time.sleep(1.0)
            fd = os.open(fifo, os.O_WRONLY)
            try:
                os.write(fd, bytes(65536 * 4 * 2))
            except OSError:
                pass
            os.close(fd)
        writer = threading.Thread(target=late_writer, daemon=True)
        qv = subprocess.Popen([qvrun(), RECORD], env=e, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
        writer.start()
        time.sleep(0.5)
        qv.send_signal(signal.SIGINT)
        out, _ = qv.communicate(timeout=15)
        writer.join(5)
        check("a stop signal during a slow open: nothing run, killed by the signal",
              b"recording" not in out and qv.returncode == -signal.SIGINT, (qv.returncode, out))
        # A stop signal while the open waits on the silent device takes
        # effect once qvrun stops waiting for it.
        qv = subprocess.Popen([qvrun(), RECORD], env=e, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        qv.send_signal(signal.SIGINT)
        out, _ = qv.communicate(timeout=15)
        check("a stop signal during the open: the open line flushed, killed by the signal",
              b"error: Connection timed out\n" in out and qv.returncode == -signal.SIGINT,
              (qv.returncode, out))
    except subprocess.TimeoutExpired as t:
        check("qvrun hangs on the device", False, t)
finish()

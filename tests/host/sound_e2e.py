#!/usr/bin/env python3
"""Runs one QV sound program through the real qvrun and ALSA capture path.

    sound_e2e.py QVRUN PROGRAM.qv [--update]

"default" becomes a capture device that plays a raw file written here: a
sine of amplitude 10000.5 at bin 100 of a 4096-point transform (about
1076.7 Hz) on the left channel and the constant -3 on the right. Programs
whose names begin with "nodevice" run with a configuration that has no
device at all. Expected files beside the program as for the golden tests:
<name>.out (standard output, normalised) and optional <name>.status.
"""
import array
import math
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import golden  # noqa: E402

FRAMES = 1 << 18
TONE_BIN = 100
TONE_AMP = 10000.5
RIGHT = -3


def write_device(folder, with_device):
    conf = os.path.join(folder, "asound.conf")
    if not with_device:
        with open(conf, "w") as f:
            f.write("# no devices at all\n")
        return conf
    raw = os.path.join(folder, "tone.raw")
    samples = array.array("h")
    for t in range(FRAMES):
        # round half away from zero, as the C++ test does
        v = TONE_AMP * math.sin(2 * math.pi * TONE_BIN * t / 4096)
        samples.append(int(math.copysign(math.floor(abs(v) + 0.5), v)))
        samples.append(RIGHT)
    if sys.byteorder != "little":
        samples.byteswap()
    with open(raw, "wb") as f:
        samples.tofile(f)
    with open(os.path.join(HERE, "alsa", "asoundrc.in")) as f:
        text = f.read().replace("@INFILE@", raw)
    with open(conf, "w") as f:
        f.write(text)
    return conf


def main():
    update = "--update" in sys.argv
    argv = [a for a in sys.argv[1:] if a != "--update"]
    qvrun, prog = os.path.abspath(argv[0]), os.path.abspath(argv[1])
    base = prog[:-3]
    with_device = not os.path.basename(prog).startswith("nodevice")
    with tempfile.TemporaryDirectory(prefix="qv_sound_") as folder:
        conf = write_device(folder, with_device)
        env = dict(os.environ, ALSA_CONFIG_PATH=conf)
        env.setdefault("QT_QPA_PLATFORM", "offscreen")
        proc = subprocess.run([qvrun, os.path.basename(prog)], capture_output=True, env=env,
                              timeout=50, cwd=os.path.dirname(prog))
    status = proc.returncode
    raw = proc.stdout.decode("latin-1")
    out = golden.normalise(raw)
    if update:
        with open(base + ".out", "w", encoding="latin-1") as f:
            f.write(out)
        if status != 1:
            with open(base + ".status", "w") as f:
                f.write("%d\n" % status)
        print("updated", base)
        return 0
    want_status = 1
    if os.path.exists(base + ".status"):
        with open(base + ".status") as f:
            want_status = int(f.read().strip())
    with open(base + ".out", encoding="latin-1") as f:
        want_out = f.read()
    failures = []
    # The open line's status is normalised away above; it must still tell
    # whether the device opened.
    opened = "input stream handler 0, error: " not in raw and "error: none\n" in raw
    if opened != with_device:
        failures.append("open line does not match the device:\n" + raw[:200])
    if status != want_status:
        failures.append("exit status %d, expected %d" % (status, want_status))
    if out != want_out:
        failures.append("standard output differs:\n--- expected\n%s\n--- actual\n%s" % (want_out, out))
    print("\n".join(failures) if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

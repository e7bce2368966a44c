#!/usr/bin/env python3
"""The example programs compile and run: each one runs for a few seconds
on the offscreen platform (with the test sound device of sound_e2e.py) and
must neither fail to compile nor stop with a run-time error. The examples
wait for keys, so a run still going after the grace time has passed.

    examples_smoke.py QVRUN
"""
import glob
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import sound_e2e  # noqa: E402

GRACE = 3  # seconds


def main():
    qvrun = os.path.abspath(sys.argv[1])
    examples = sorted(glob.glob(os.path.join(HERE, "..", "..", "examples", "*.qv")))
    failures = []
    with tempfile.TemporaryDirectory(prefix="qv_examples_") as folder:
        env = dict(os.environ, ALSA_CONFIG_PATH=sound_e2e.write_device(folder, True),
                   QT_QPA_PLATFORM="offscreen")
        for prog in examples:
            name = os.path.basename(prog)
            proc = subprocess.Popen([qvrun, prog], env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE)
            try:
                out, err = proc.communicate(timeout=GRACE)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.communicate()
                print("%s: still running after %d s" % (name, GRACE))
                continue
            text = out.decode("latin-1") + err.decode("latin-1")
            if "Running..." not in text or "error" in text.lower().replace("error: none", ""):
                failures.append("%s ended early:\n%s" % (name, text))
            else:
                print("%s: ran to its end" % name)
    if not examples:
        failures.append("no examples found")
    print("\n".join(failures) if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The example programs compile, run, and run the same when saved and
loaded. Each runs with "-cp" for a few seconds on the offscreen platform
(with the test sound device) and must not stop with an error; the saved
file then runs the same way. The examples that wait for keys are still
running when the time is up; the others must print the same both times.

    examples_smoke.py QVRUN
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import golden  # noqa: E402
import qvhost  # noqa: E402

GRACE = 3  # seconds


def smoke(args, env, folder):
    """The run's stdout and stderr, or None while it still runs after GRACE."""
    proc = subprocess.Popen([qvhost.qvrun()] + args, env=env, cwd=folder,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        out, err = proc.communicate(timeout=GRACE)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()
        return None
    return out.decode("latin-1"), err.decode("latin-1")


examples = sorted(glob.glob(os.path.join(qvhost.ROOT, "examples", "*.qv")))
qvhost.check("examples found", examples)
with tempfile.TemporaryDirectory(prefix="qv_examples_") as folder:
    env = qvhost.env(ALSA_CONFIG_PATH=qvhost.capture_device(folder, qvhost.tone(folder)))
    for prog in examples:
        name = os.path.basename(prog)[:-3]
        shutil.copy(prog, folder)
        runs = [smoke([name + ".qv", "-cp"], env, folder), smoke([name + ".cp"], env, folder)]
        texts = []
        for run in runs:
            if run:
                out = run[0] + run[1]
                qvhost.check(name + " ends early with an error", "Running..." in out
                             and "error" not in out.lower().replace("error: none", ""), out)
                texts.append(golden.split_output(golden.normalise(run[0]))[0])
        qvhost.check(name + ": the loaded run ends as the compiled one",
                     (runs[0] is None) == (runs[1] is None) and len(set(texts)) <= 1, texts)
qvhost.finish()

#!/usr/bin/env python3
"""Runs one golden QV program through the real qvrun and compares results.

For tests/golden/<group>/<name>.qv the files beside it say what to expect:
  <name>.out     expected standard output (required)
  <name>.err     expected standard error (default: not compared)
  <name>.status  expected exit status (default 1, qvrun's normal end)
  <name>.args    extra command-line arguments, one line; {dir} stands for
                 the program's folder
  <name>.stdin   standard input (default: empty)
With --variant V the program runs once more with the switch "-V" added,
against <name>.V.out (and <name>.V.status, <name>.V.err): one program
checked both with and without a switch such as -noptmp.
Timings of the statistics report, the audio-open line and the addresses of
detailed trace lines are normalised before comparing. With --update the
expected .out (and an existing .err) are rewritten from the actual run.
"""
import os
import re
import subprocess
import sys


def normalise(text):
    text = re.sub(r"Average compilation speed .*", "Average compilation speed <speed>", text)
    text = re.sub(r"Execution time [0-9.]+ sec, ", "Execution time <time> sec, ", text)
    text = re.sub(r"average call speed .*", "average call speed <speed>", text)
    text = re.sub(r"input stream handler [0-9a-f]+, error: .*",
                  "input stream handler <handle>, error: <status>", text)
    # Detailed trace lines show arena addresses, which move whenever the
    # allocation order changes.
    text = re.sub(r"entry: (0x[0-9a-f]+|\(nil\)) at 0x[0-9a-f]+",
                  "entry: <addr> at <addr>", text)
    return text


def run(qvrun, prog, env=None, variant=None):
    base = prog[:-3]
    folder = os.path.dirname(prog)
    args = ["-" + variant] if variant else []
    if os.path.exists(base + ".args"):
        with open(base + ".args") as f:
            args += f.read().strip().replace("{dir}", folder).split()
    stdin = b""
    if os.path.exists(base + ".stdin"):
        with open(base + ".stdin", "rb") as f:
            stdin = f.read()
    run_env = dict(os.environ)
    run_env.setdefault("QT_QPA_PLATFORM", "offscreen")
    if env:
        run_env.update(env)
    proc = subprocess.run([qvrun, os.path.basename(prog)] + args, input=stdin, capture_output=True,
                          env=run_env, timeout=50, cwd=folder)
    return (proc.returncode, normalise(proc.stdout.decode("latin-1")),
            normalise(proc.stderr.decode("latin-1")))


def main():
    update = "--update" in sys.argv
    argv = [a for a in sys.argv[1:] if a != "--update"]
    variant = None
    if "--variant" in argv:
        k = argv.index("--variant")
        variant = argv[k + 1]
        del argv[k:k + 2]
    qvrun, prog = os.path.abspath(argv[0]), os.path.abspath(argv[1])
    status, out, err = run(qvrun, prog, variant=variant)
    # The expected files of a variant carry its name.
    base = prog[:-3] + ("." + variant if variant else "")
    if update:
        with open(base + ".out", "w", encoding="latin-1") as f:
            f.write(out)
        if os.path.exists(base + ".err"):
            with open(base + ".err", "w", encoding="latin-1") as f:
                f.write(err)
        if status != 1:
            with open(base + ".status", "w") as f:
                f.write("%d\n" % status)
        print("updated", base)
        return 0
    failures = []
    want_status = 1
    if os.path.exists(base + ".status"):
        with open(base + ".status") as f:
            want_status = int(f.read().strip())
    if status != want_status:
        failures.append("exit status %d, expected %d" % (status, want_status))
    with open(base + ".out", encoding="latin-1") as f:
        want_out = f.read()
    if out != want_out:
        failures.append("standard output differs:\n--- expected\n%s\n--- actual\n%s" % (want_out, out))
    if os.path.exists(base + ".err"):
        with open(base + ".err", encoding="latin-1") as f:
            want_err = f.read()
        if err != want_err:
            failures.append("standard error differs:\n--- expected\n%s\n--- actual\n%s" % (want_err, err))
    if failures:
        print("\n".join(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

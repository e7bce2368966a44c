#!/usr/bin/env python3
"""Saves one QV program with "-cp", loads the saved file and compares runs.

  roundtrip.py QVRUN PROG.qv

The program is copied into a fresh folder and run as `qvrun prog.qv ARGS -cp`
(ARGS from <name>.args, without tracing switches, which a loaded run does
not take); that run writes prog.cp. Then `qvrun prog.cp` runs the saved
program. Both must print the same program output: the compiled run's
statistics report becomes the loaded run's empty line, and a run-time error
keeps its code and message but has no location in the loaded run.

Exit status 77 (skipped) for programs that do not compile, programs that do
not end by themselves (they wait for keys), and programs whose output
differs from one compiled run to the next.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
TIMEOUT = 20


def normalise(text):
    text = re.sub(r"input stream handler [0-9a-f]+, error: .*",
                  "input stream handler <handle>, error: <status>", text)
    # The report of a compiled run; a loaded run prints an empty one.
    text = re.sub(r"\n\d+ operations compiled\n.*\Z", "\n", text, flags=re.S)
    # A run-time error: code and message stay, the location goes.
    text = re.sub(r"\nRUN-TIME error (\d+) \(line [^)]*\): ([^\n]*)\n.*\Z",
                  r"\nRUN-TIME error \1: \2\n", text, flags=re.S)
    return text


def run(cmd, folder, stdin):
    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    proc = subprocess.run(cmd, input=stdin, capture_output=True, env=env,
                          timeout=TIMEOUT, cwd=folder)
    return proc.returncode, proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1")


def main():
    qvrun, prog = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    base, home = prog[:-3], os.path.dirname(prog)
    args = []
    if os.path.exists(base + ".args"):
        with open(base + ".args") as f:
            args = f.read().strip().replace("{dir}", home).split()
    args = [a for a in args if "-t" not in a and "-cp" not in a]
    stdin = b""
    if os.path.exists(base + ".stdin"):
        with open(base + ".stdin", "rb") as f:
            stdin = f.read()

    work = tempfile.mkdtemp(prefix="qvroundtrip")
    try:
        source = os.path.join(work, "prog.qv")
        shutil.copyfile(prog, source)
        saved = os.path.join(work, "prog.cp")
        try:
            status, out, err = run([qvrun, source] + args + ["-cp"], work, stdin)
        except subprocess.TimeoutExpired:
            print("skipped: the program does not end within %d seconds" % TIMEOUT)
            return SKIP
        if re.search(r"\nError \d+ \(line \d+\): ", out) or not os.path.exists(saved):
            print("skipped: the program does not compile")
            return SKIP
        try:
            lstatus, lout, lerr = run([qvrun, saved], work, stdin)
        except subprocess.TimeoutExpired:
            print("the loaded run did not end within %d seconds" % TIMEOUT)
            return 1
        failures = []
        for name, text in (("compiled", err), ("loaded", lerr)):
            if "Sanitizer" in text or "runtime error:" in text:
                failures.append("the %s run reports a fault:\n%s" % (name, text))
        if "Loading... " not in lerr:
            failures.append("the loaded run did not load: %r" % lerr)
        if "Error while loading" in lout:
            failures.append("the saved program was refused:\n" + lout)
        if lstatus != status:
            failures.append("exit status %d, compiled run %d" % (lstatus, status))
        want, got = normalise(out), normalise(lout)
        if got != want:
            _, again, _ = run([qvrun, source] + args, work, stdin)
            if normalise(again) != want:
                print("skipped: the program's output differs between compiled runs")
                return SKIP
            failures.append("output differs:\n--- compiled run\n%s\n--- loaded run\n%s"
                            % (want, got))
        if failures:
            print("\n".join(failures))
            return 1
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

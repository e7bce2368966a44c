#!/usr/bin/env python3
"""Command-line behaviour of qvrun that golden programs cannot express:
usage, files that cannot be programs, "-cp", and the operation listing."""
import os
import re
import select
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from qvhost import check, env, finish, qvrun, run  # noqa: E402

# One operation of each form the listing gives its parameters.
LISTED = """
!! returns bool, infix form not available, returned value can be ignored, params number from 1 to 1
param 0, type bool, available variable only, array not available

+ returns  type different, infix form available, params number from 2 to 32
param 0, type  different, available variable, constant, operation, array not available
param 1..N, type same as first, available variable, constant, operation, array not available

&& returns bool, infix form available, params number from 2 to 32
param 0, type bool, available variable, constant, operation, array not available
param 1, type bool, available variable, constant, operation, array not available
param 2..N, type as previous, available variable as previous, array as previous

par# returns  type different dynamic, infix form not available, params number from 1 to 2
param 0, type uint, available variable, constant, operation, array not available
param 1..N, type  different, available variable different, array not available

return returns  nothing, infix form not available, params number from 0 to 1
param 0..N, type as previous, available variable as previous, array as previous

clear returns  nothing, infix form not available, params number from 1 to 32
param 0..N, type  different, available variable only, array available

kbcode returns int, infix form not available, params number from 0 to 0
"""

with tempfile.TemporaryDirectory() as d:
    def qv(*args, **kw):
        return run(list(args), cwd=d, **kw)

    p = qv()
    check("usage on stderr only, status 1", p.stderr == "TRELLIMAX TEST\n\nUsage: QVRUN "
          "FILENAME.EXT\n\nWhere FILENAME.EXT should be right QV program\n"
          and p.stdout == "" and p.returncode == 1, p)

    # Files that cannot be programs: their path and the reason, status 1.
    open(os.path.join(d, "empty.qv"), "w").close()
    os.mkdir(os.path.join(d, "folder.qv"))
    os.mkfifo(os.path.join(d, "pipe.qv"))  # refused at once, not waited on
    with open(os.path.join(d, "huge.qv"), "wb") as f:
        f.truncate(0x80000000)  # too large for the arena's 32-bit offsets
    for name, reason in [("missing.qv", "No such file or directory"),
                         ("empty.qv", "No data available"), ("folder.qv", "Is a directory"),
                         ("pipe.qv", "Invalid argument"), ("huge.qv", "File too large")]:
        p = qv(name)
        check(name + " refused", p.stderr == "%s: %s\n" % (name, reason)
              and p.returncode == 1 and "RUN" not in p.stdout and "Error" not in p.stdout, p)
    os.mkfifo(os.path.join(d, "pipe.cp"))
    os.mkdir(os.path.join(d, "folder.cp"))
    for name, reason in [("pipe.cp", "(22): Invalid argument"), ("folder.cp", "(21): Is a directory")]:
        p = qv(name)
        check(name + " refused as a compiled program", p.returncode == 1 and
              "Error while loading %s\nFile: %s\n" % (reason, name) in p.stdout, p)

    # The compiled program is written only when an argument after the
    # program's name says "-cp".
    with open(os.path.join(d, "one-cp.qv"), "w") as f:
        f.write("int i;\ni = 1;\n")
    p = qv("one-cp.qv")
    check("no compiled-program file without -cp",
          p.returncode == 1 and not os.path.exists(os.path.join(d, "one-cp.cp")), p)
    p = qv("one-cp.qv", "-cp")
    check("-cp writes the compiled program next to the source",
          p.returncode == 1 and os.path.exists(os.path.join(d, "one-cp.cp")), p)
    # With the standard input closed, the file that takes the program's
    # place may be given descriptor 0, which is as good as any other.
    with open(os.path.join(d, "one-cp.cp"), "rb") as f:
        written = f.read()
    os.remove(os.path.join(d, "one-cp.cp"))
    p = qv("one-cp.qv", "-cp", stdin=None, preexec_fn=lambda: os.close(0))
    cp = os.path.join(d, "one-cp.cp")
    check("-cp writes the same file with the standard input closed", p.returncode == 1
          and os.path.exists(cp) and open(cp, "rb").read() == written, p)

    # The detailed trace with its third switch waits for a key (a byte of
    # the standard input) after each line it prints; without it, it reads
    # nothing. The standard input stays open, and empty, until it closes:
    # a run that waits is still under way after 1.5 s, one that does not
    # ends with nothing to read. What it printed before the wait has come
    # out by then, the trace line it waits after included.
    for third, waits in [(" TRUE", True), (" FALSE", False), ("", False)]:
        with open(os.path.join(d, "keys.qv"), "w") as f:
            f.write("int x;\ntrace TRUE TRUE%s;\nx = 1;\nx = 2;\ntrace FALSE;\nputs x;\n" % third)
        proc = subprocess.Popen([qvrun(), "keys.qv", "-t"], cwd=d, env=env(), stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            proc.wait(timeout=1.5 if waits else 60)
            waited = False
        except subprocess.TimeoutExpired:
            waited = True
        shown = b""
        if waited and select.select([proc.stdout], [], [], 5)[0]:
            shown = os.read(proc.stdout.fileno(), 65536)
        out = (shown + proc.communicate(input=b"", timeout=30)[0]).decode("latin-1")
        check("trace TRUE TRUE%s %s for a key" % (third, "waits" if waits else "does not wait"),
              waited == waits and "\n2\n" in out, out[-300:])
        if waits:
            check("what the trace printed shows before it waits", b"entry: " in shown, shown)

    # "-o" in any argument, even an existing program's name: the listing
    # instead of a run, status 0.
    with open(os.path.join(d, "prog-o.txt"), "w") as f:
        f.write('puts "not run";')
    p = qv("prog-o.txt")
    out = p.stdout
    check("listing instead of running", p.returncode == 0 and "not run" not in out and
          re.match(r"\n(Draw field created\n)?input stream handler [^\n]*\nOperations list\n", out)
          and out.endswith("\nFinished\n\n"), out[:300])
    check("the listing names 126 operations",
          len(re.findall(r"^\S+ returns ", out, re.M)) == 126, out)
    for block in LISTED.strip().split("\n\n"):
        check("listed as\n" + block, "\n\n" + block + "\n\n" in out)
finish()

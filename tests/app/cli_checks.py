#!/usr/bin/env python3
"""Command-line behaviour of qvrun that golden programs cannot express."""
import os
import subprocess
import sys
import tempfile

qvrun = os.path.abspath(sys.argv[1])
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
failures = []


def run(args, cwd):
    return subprocess.run([qvrun] + args, capture_output=True, env=env, cwd=cwd, timeout=30)


def check(name, cond):
    if not cond:
        failures.append(name)


USAGE = (b"TRELLIMAX TEST\n\nUsage: QVRUN FILENAME.EXT\n\n"
         b"Where FILENAME.EXT should be right QV program\n")

with tempfile.TemporaryDirectory() as d:
    p = run([], d)
    check("usage text on stderr only", p.stderr == USAGE and p.stdout == b"")
    check("usage exit status 1", p.returncode == 1)

    p = run(["missing.qv"], d)
    check("missing file: error text for the path",
          p.stderr == b"missing.qv: No such file or directory\n")
    check("missing file: exit status 1", p.returncode == 1)
    check("missing file: nothing on stdout but the audio line",
          b"RUN" not in p.stdout and b"Error" not in p.stdout)

    open(os.path.join(d, "empty.qv"), "w").close()
    p = run(["empty.qv"], d)
    check("empty file is refused with its path and reason",
          p.stderr == b"empty.qv: No data available\n")
    check("empty file: exit status 1", p.returncode == 1)

    # The compiled program is written only when "-cp" asks for it.
    with open(os.path.join(d, "one.qv"), "w") as f:
        f.write("int i;\ni = 1;\n")
    p = run(["one.qv"], d)
    check("no compiled-program file without -cp",
          p.returncode == 1 and not os.path.exists(os.path.join(d, "one.cp")))
    p = run(["one.qv", "-cp"], d)
    check("-cp writes the compiled program next to the source",
          p.returncode == 1 and os.path.exists(os.path.join(d, "one.cp")))

    os.mkdir(os.path.join(d, "folder.qv"))
    p = run(["folder.qv"], d)
    check("a folder is refused with its path and reason",
          p.stderr == b"folder.qv: Is a directory\n")
    check("a folder: exit status 1", p.returncode == 1)

    # A named pipe without a writer is refused at once, not waited on.
    os.mkfifo(os.path.join(d, "pipe.qv"))
    p = run(["pipe.qv"], d)
    check("a named pipe is refused with its path",
          p.stderr == b"pipe.qv: Invalid argument\n" and p.returncode == 1)

    # The same for a compiled program, and a folder named like one.
    os.mkfifo(os.path.join(d, "pipe.cp"))
    p = run(["pipe.cp"], d)
    check("a named pipe is refused as a compiled program",
          b"Error while loading (22): Invalid argument\nFile: pipe.cp\n" in p.stdout
          and p.returncode == 1)
    os.mkdir(os.path.join(d, "folder.cp"))
    p = run(["folder.cp"], d)
    check("a folder is refused as a compiled program",
          b"Error while loading (21): Is a directory\nFile: folder.cp\n" in p.stdout
          and p.returncode == 1)

    # A sparse file of 2 GiB: too large for the arena's 32-bit offsets.
    with open(os.path.join(d, "huge.qv"), "wb") as f:
        f.truncate(0x80000000)
    p = run(["huge.qv"], d)
    check("a huge file is refused with its path and reason",
          p.stderr == b"huge.qv: File too large\n" and p.returncode == 1)

    # "-o" anywhere in the first argument lists, even for an existing file.
    with open(os.path.join(d, "prog-o.txt"), "w") as f:
        f.write('puts "not run";')
    p = run(["prog-o.txt"], d)
    check("listing instead of running", b"\nOperations list\n" in p.stdout
          and b"not run" not in p.stdout and p.stdout.endswith(b"\nFinished\n\n"))
    check("listing exit status 0", p.returncode == 0)

if failures:
    print("FAILED:", *failures, sep="\n  ")
    sys.exit(1)
print("all command-line checks passed")

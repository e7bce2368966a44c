#!/usr/bin/env python3
"""Runs the QV examples of one Markdown file through the real qvrun.

    doc_examples.py QVRUN FILE.md

A fenced block whose info string is `qv` (optionally followed by qvrun
arguments, as in ```qv -noptmp) is an example. When the next fenced block
(only blank lines between) has the info string `output`, the example's
standard output must equal it, after
  - the start lines "Draw field created" and "input stream handler ..."
    (and the blank lines before them) are removed,
  - the statistics report (from the blank line before "N operations
    compiled" to the end) is removed,
  - leading and trailing blank lines are stripped on both sides.
Error reports stay in the compared text. An example without an output
block must compile and run within the time limit, end with exit status 1
and print no error report. `qv no-run` marks fragments and programs that
wait (windows, keys, sound): they are not run.

Every failure names the file, the line of the example, and shows the
expected and the actual output.
"""
import os
import re
import subprocess
import sys
import tempfile

TIME_LIMIT = 20  # seconds per example

FENCE = re.compile(r"^( {0,3})(`{3,}|~{3,})\s*(.*?)\s*$")
ERROR_REPORT = re.compile(r"^(Error \d+ \(line \d+\): |RUN-TIME error \d+ \(line \d+\): "
                          r"|Error while loading)", re.M)
STATS_START = re.compile(r"^\d+ operations compiled$")
START_LINE = re.compile(r"^(Draw field created|input stream handler .*)$")


def fenced_blocks(text):
    """Yields (line number of the opening fence, info string, body, end line)."""
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m or (m.group(2)[0] == "`" and "`" in m.group(3)):
            i += 1
            continue
        indent, fence, info = len(m.group(1)), m.group(2), m.group(3)
        start = i
        body = []
        i += 1
        while i < len(lines):
            close = re.match(r"^ {0,3}(" + re.escape(fence[0]) + r"{%d,})\s*$" % len(fence), lines[i])
            if close:
                break
            line = lines[i]
            strip = min(indent, len(line) - len(line.lstrip(" ")))
            body.append(line[strip:])
            i += 1
        yield start + 1, info, "\n".join(body), i + 1
        i += 1


def examples(text):
    """Yields (line, qvrun arguments or None for no-run, program, expected output or None)."""
    blocks = list(fenced_blocks(text))
    lines = text.split("\n")
    for k, (line, info, body, end) in enumerate(blocks):
        words = info.split()
        if not words or words[0] != "qv":
            continue
        args = words[1:]
        expected = None
        if k + 1 < len(blocks):
            nline, ninfo, nbody, _ = blocks[k + 1]
            between = lines[end:nline - 1]
            if ninfo.split()[:1] == ["output"] and all(not l.strip() for l in between):
                expected = nbody
        if "no-run" in args:
            yield line, None, body, expected
        else:
            yield line, args, body, expected


def strip_blank_ends(lines):
    while lines and not lines[0].strip():
        lines.pop(0)
    while lines and not lines[-1].strip():
        lines.pop()
    return lines


def normalise(stdout):
    lines = stdout.replace("\r\n", "\n").split("\n")
    kept = []
    for line in lines:
        if START_LINE.match(line):
            while kept and not kept[-1].strip():
                kept.pop()
            continue
        kept.append(line)
    for i in range(len(kept) - 1, -1, -1):
        if STATS_START.match(kept[i]):
            j = i
            if j > 0 and not kept[j - 1].strip():
                j -= 1
            kept = kept[:j]
            break
    return "\n".join(strip_blank_ends(kept))


def run_example(qvrun, program, args):
    with tempfile.TemporaryDirectory(prefix="qvdoc") as folder:
        with open(os.path.join(folder, "example.qv"), "w", encoding="latin-1") as f:
            f.write(program + "\n")
        env = dict(os.environ)
        env.setdefault("QT_QPA_PLATFORM", "offscreen")
        proc = subprocess.run([qvrun, "example.qv"] + args, cwd=folder, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=TIME_LIMIT)
        return proc.returncode, proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1")


def indent(text):
    return "\n".join("    | " + l for l in text.split("\n"))


def main():
    if len(sys.argv) != 3:
        print("usage: doc_examples.py QVRUN FILE.md")
        return 2
    qvrun, path = os.path.abspath(sys.argv[1]), sys.argv[2]
    with open(path, encoding="utf-8") as f:
        text = f.read()
    name = os.path.relpath(path)
    failures = 0
    ran = 0
    skipped = 0
    for line, args, program, expected in examples(text):
        if args is None:
            skipped += 1
            continue
        ran += 1
        where = "%s:%d" % (name, line)
        try:
            status, out, err = run_example(qvrun, program, args)
        except subprocess.TimeoutExpired:
            failures += 1
            print("%s: example did not end within %d seconds (mark it `qv no-run` if it waits)"
                  % (where, TIME_LIMIT))
            continue
        actual = normalise(out)
        if expected is not None:
            want = "\n".join(strip_blank_ends(expected.split("\n")))
            if actual != want:
                failures += 1
                print("%s: output differs\n  --- expected\n%s\n  --- actual\n%s"
                      % (where, indent(want), indent(actual)))
        else:
            problems = []
            if status != 1:
                problems.append("exit status %d, expected 1" % status)
            if ERROR_REPORT.search(out):
                problems.append("error report")
            if problems:
                failures += 1
                print("%s: %s (an example without an output block must run cleanly)\n"
                      "  --- output\n%s\n  --- standard error\n%s"
                      % (where, ", ".join(problems), indent(actual), indent(err.strip())))
    print("%s: %d examples run, %d not run (no-run), %d failed" % (name, ran, skipped, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Runs the QV examples of one Markdown file through the real qvrun.

    doc_examples.py QVRUN FILE.md

A fenced block ```qv (optionally followed by qvrun arguments, as in
```qv -noptmp) is an example. When the next fenced block, with only blank
lines between, is ```output, the example's standard output must equal it,
without the start lines, the statistics report and blank lines at either
end; error reports stay. An example without an output block must end with
status 1 and no error report, unless its comments say what to expect
(`expect:`, `error:`; see tests/support/golden.py), which is then checked. ```qv no-run marks fragments and programs
that wait (windows, keys, sound): they are not run.
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import golden  # noqa: E402
from qvhost import check, finish, qvrun, run  # noqa: E402

BLOCK = re.compile(r"^```[ \t]*(\S*)[ \t]*(.*?)\n(.*?)^```[ \t]*$", re.M | re.S)
ERROR = re.compile(r"^(Error \d+ \(line \d+\): |RUN-TIME error \d+ \(line \d+\): "
                   r"|Error while loading)", re.M)


def trim(text):
    return re.sub(r"\A([ \t]*\n)+", "", text).rstrip()


def normalise(out):
    out = re.sub(r"\n*(Draw field created|input stream handler [^\n]*)(?=\n)", "", out)
    return trim(re.sub(r"^\d+ operations compiled\n.*\Z", "", out, flags=re.M | re.S))


path = sys.argv[2]
with open(path, encoding="utf-8") as f:
    text = f.read()
blocks = list(BLOCK.finditer(text))
count = 0
for k, m in enumerate(blocks):
    args = m.group(2).split()
    if m.group(1) != "qv" or "no-run" in args:
        continue
    nxt = blocks[k + 1] if k + 1 < len(blocks) else None
    want = nxt.group(3) if nxt and nxt.group(1) == "output" and \
        not text[m.end():nxt.start()].strip() else None
    where = "%s:%d" % (os.path.relpath(path), text.count("\n", 0, m.start()) + 1)
    count += 1
    with tempfile.TemporaryDirectory(prefix="qvdoc") as d:
        with open(os.path.join(d, "example.qv"), "w", encoding="latin-1") as f:
            f.write(m.group(3))
        if want is None and re.search(r"`(expect|error):", m.group(3)):
            fails = golden.run_program(qvrun(), os.path.join(d, "example.qv"))
            check(where + ": not as its comments expect", not fails, "\n".join(fails))
            continue
        try:
            p = run(["example.qv"] + args, cwd=d, timeout=20, stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            check(where + ": does not end (mark it `qv no-run` if it waits)", False)
            continue
    got = normalise(p.stdout)
    if want is not None:
        check(where + ": output differs", got == trim(want),
              "--- expected\n%s\n--- actual\n%s" % (trim(want), got))
    else:
        check(where + ": an example without an output block must run cleanly",
              p.returncode == 1 and not ERROR.search(p.stdout), got + "\n" + p.stderr)
print("%s: %d examples run" % (path, count))
finish()

#!/usr/bin/env python3
"""Runs a table of programs that end with an error through the real qvrun.

    error_table.py QVRUN compile|run-time TABLE

One case a row: `name code line source`. The source is a Python expression
giving the program's text, or a pair (text, expected output) where the
output before the error matters; filler is written as an expression
("i = 1;\\n" * 1500) instead of stored. A line that starts with blanks
continues the row above; `#` starts a comment line.

Each case must end with "Error CODE (line LINE)" (compile) or "RUN-TIME
error CODE (line LINE)" (run-time), exit status 1 and no sanitizer report.
A run-time case also runs with -noptmp, and is saved with -cp and loaded
again (golden.roundtrip): the loaded run must print the same and end with
the same error, without a location.
"""
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import golden  # noqa: E402

REPORT = re.compile(r"\n(RUN-TIME error|Error) (\d+) \(line ([^)]*)\): ")
KINDS = {"compile": "Error", "run-time": "RUN-TIME error"}


def read_table(path):
    rows = []
    with open(path, encoding="latin-1") as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.startswith("#"):
                continue
            if line[0] in " \t" and rows:
                rows[-1][1] += " " + line.strip()
            else:
                rows.append([number, line.strip()])
    cases = []
    for number, row in rows:
        name, code, line, expr = row.split(None, 3)
        value = eval(expr, {})  # pylint: disable=eval-used  (the table is ours)
        source, output = value if isinstance(value, tuple) else (value, None)
        cases.append((name, number, int(code), int(line), source, output))
    return cases


def check_run(qvrun, prog, args, kind, code, line, output):
    status, out, err = golden.run(qvrun, prog, args)
    out = golden.normalise(out)
    problems = []
    reports = REPORT.findall(out)
    want = (kind, str(code), str(line))
    if reports != [want]:
        got = ", ".join("%s %s (line %s)" % r for r in reports) or "no error report"
        problems.append("ended with %s, expected %s %s (line %s)" % ((got,) + want))
    text = golden.split_output(out)[0]
    if output is not None and text != output:
        problems.append("output differs:\n--- expected\n%s--- actual\n%s" % (output, text))
    if status != 1:
        problems.append("exit status %d, expected 1" % status)
    return problems + golden.faults("run", err)


def run_case(qvrun, kind, code, line, source, output):
    work = tempfile.mkdtemp(prefix="qv_error_table_")
    try:
        prog = os.path.join(work, "case.qv")
        with open(prog, "w", encoding="latin-1") as f:
            f.write(source)
        problems = check_run(qvrun, prog, [], KINDS[kind], code, line, output)
        if kind == "run-time":
            problems += ["-noptmp: " + p for p in
                         check_run(qvrun, prog, ["-noptmp"], KINDS[kind], code, line, output)]
            problems += golden.roundtrip(qvrun, prog, [])
        return problems
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    qvrun, kind, table = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    failures = 0
    cases = read_table(table)
    for name, number, code, line, source, output in cases:
        problems = run_case(qvrun, kind, code, line, source, output)
        for p in problems:
            print("%s:%d: %s (error %d): %s" % (os.path.basename(table), number, name, code, p))
        failures += bool(problems)
    print("%d of %d cases failed" % (failures, len(cases)) if failures else
          "%d cases ok" % len(cases))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Runs a QV test program through the real qvrun and checks what it printed.

    golden.py QVRUN PROG.qv [--update]

What to expect is written in the program's own comments:
  `expect: TEXT`      one line of output; more lines may follow inside the
                      same comment (their common indentation removed; an
                      empty line before the closing backquote is expected
                      as an empty line of output)
  `error: N`          the run ends with error N (compile or run-time)
                      reported for the line this comment starts on;
                      `error: N line L` names another line
  `status: N`         exit status (default 1, qvrun's normal end)
  `args: A B`         extra command-line arguments
  `variants: V ...`   run again with "-V" added, expecting the same
Only the program's own output is compared, not the start lines or the
statistics report; <name>.output beside the program holds output that a
comment cannot (a trace shows backquotes). Where the whole report is the point, <name>.out beside
the program holds the expected standard output instead (normalised timings
and addresses), and <name>.V.out that of variant V; --update rewrites those.

Every program that compiles is also saved with "-cp", loaded and run again:
the loaded run must print the same and end the same way (an error then has
no line).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import textwrap

DIRECTIVE = re.compile(r"(expect|error|status|args|variants):")
END = re.compile(r"\n(\d+ operations compiled\n|(RUN-TIME error|Error) (\d+) \(line ([^)]*)\): )")


def normalise(text):
    """The parts of a report that change from run to run."""
    for pattern, repl in ((r"Average compilation speed .*", "Average compilation speed <speed>"),
                          (r"Execution time [0-9.]+ sec, ", "Execution time <time> sec, "),
                          (r"average call speed .*", "average call speed <speed>"),
                          (r"input stream handler [0-9a-f]+, error: .*",
                           "input stream handler <handle>, error: <status>"),
                          # detailed trace lines show arena addresses
                          (r"entry: (0x[0-9a-f]+|\(nil\)) at 0x[0-9a-f]+", "entry: <addr> at <addr>")):
        text = re.sub(pattern, repl, text)
    return text


def comments(source):
    """(line, text) of every backquote comment outside strings."""
    out, line, i = [], 1, 0
    while i < len(source):
        c = source[i]
        if c in "\"`":
            j = source.find(c, i + 1)
            j = len(source) if j < 0 else j
            if c == "`":
                out.append((line, source[i + 1:j]))
            line += source.count("\n", i, j)
            i = j + 1
        else:
            line += c == "\n"
            i += 1
    return out


class Expectations:
    def __init__(self, prog):
        with open(prog, encoding="latin-1") as f:
            source = f.read()
        self.lines, self.error, self.status, self.args, self.variants = [], None, 1, [], []
        for line, text in comments(source):
            m = DIRECTIVE.match(text.strip())
            if not m:
                continue
            key, rest = m.group(1), text.strip()[m.end():]
            if key == "expect":
                first, _, more = text.split("expect:", 1)[1].partition("\n")
                if first.strip():
                    self.lines.append(first[1:] if first.startswith(" ") else first)
                more = textwrap.dedent(more).split("\n")
                if not more[-1].strip():  # the closing backquote's own line
                    more.pop()
                self.lines += more
            elif key == "error":
                w = rest.split()
                self.error = (int(w[0]), int(w[2]) if len(w) > 2 and w[1] == "line" else line)
            elif key == "status":
                self.status = int(rest)
            elif key == "args":
                self.args = rest.split()
            else:
                self.variants = rest.split()
        # Output that a comment cannot hold (a trace shows backquotes).
        if os.path.exists(prog[:-3] + ".output"):
            with open(prog[:-3] + ".output", encoding="latin-1") as f:
                self.lines += f.read().split("\n")[:-1]


def run(qvrun, prog, args, env=None, cwd=None):
    run_env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    run_env.update(env or {})
    proc = subprocess.run([qvrun, prog] + args, capture_output=True, env=run_env, timeout=50,
                          cwd=cwd or os.path.dirname(prog), stdin=subprocess.DEVNULL)
    return proc.returncode, proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1")


def split_output(out):
    """(program output, (code, line) of the error or None, the report)."""
    body = out[re.match(r"\n(Draw field created\n)?(input stream handler [^\n]*\n)?", out).end():]
    ends = list(END.finditer("\n" + body))
    if not ends:  # a loaded run ends with one empty line
        return body[:-1] if body.endswith("\n") else body, None, ""
    m = ends[-1]
    text = ("\n" + body)[1:m.start()]
    if m.group(3):
        where = m.group(4)
        return text, (int(m.group(3)), int(where) if where.isdigit() else None), ""
    return text, None, body[m.start():]


def differs(name, what, want, got):
    return ["%s: %s differs:\n--- expected\n%s--- actual\n%s" % (name, what, want, got)] \
        if want != got else []


def check(name, status, out, want, whole=None):
    """Failures of one run: against <name>.out when `whole` names it."""
    failures = ["%s: exit status %d, expected %d" % (name, status, want.status)] \
        if status != want.status else []
    if whole:
        with open(whole, encoding="latin-1") as f:
            return failures + differs(name, "standard output", f.read(), out)
    text, error, _ = split_output(out)
    if error != want.error:
        failures.append("%s: ended with error %s, expected %s" % (name, error, want.error))
    return failures + differs(name, "output", "".join(x + "\n" for x in want.lines), text)


def faults(name, err):
    """A sanitizer's report on standard error, as a failure."""
    return ["%s: fault reported:\n%s" % (name, err)] \
        if "Sanitizer" in err or "runtime error:" in err else []


def roundtrip(qvrun, prog, args, env=None):
    """Saves with -cp, loads the file and compares the program's output: the
    same output, status and error code, the error without a location."""
    work = tempfile.mkdtemp(prefix="qv_roundtrip_")
    try:
        source = os.path.join(work, "prog.qv")
        shutil.copyfile(prog, source)
        status, out, err = run(qvrun, source,
                               [a for a in args if not a.startswith("-t")] + ["-cp"], env)
        if not os.path.exists(os.path.join(work, "prog.cp")):
            return ["roundtrip: no compiled program was saved"]
        lstatus, lout, lerr = run(qvrun, os.path.join(work, "prog.cp"), [], env)
        failures = faults("roundtrip: saving run", err) + faults("roundtrip: loaded run", lerr)
        if "Loading... " not in lerr or "Error while loading" in lout:
            failures.append("roundtrip: the saved program was not loaded:\n" + lout + lerr)
        (text, error, _), (ltext, lerror, _) = split_output(out), split_output(lout)
        if (error and (error[0], None)) != lerror:
            failures.append("roundtrip: ended with error %s, compiled run %s" % (lerror, error))
        if lstatus != status:
            failures.append("roundtrip: exit status %d, compiled run %d" % (lstatus, status))
        return failures + differs("roundtrip", "output of the loaded run", text, ltext)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run_program(qvrun, prog, env=None, update=False):
    """All checks of one program; returns the list of failures."""
    prog = os.path.abspath(prog)
    base, want = prog[:-3], Expectations(prog)
    whole = os.path.exists(base + ".out")
    variants = set(want.variants)
    if whole:
        stem = os.path.basename(base) + "."
        variants |= {f[len(stem):-4] for f in os.listdir(os.path.dirname(prog))
                     if f.startswith(stem) and f.endswith(".out") and f.count(".") == 2}
    failures, compiled = [], ""
    for variant in [None] + sorted(variants):
        name = "-" + variant if variant else "run"
        status, out, err = run(qvrun, prog, want.args + (["-" + variant] if variant else []), env)
        out = normalise(out)
        expected = whole and base + ("." + variant if variant else "") + ".out"
        if update and expected:
            with open(expected, "w", encoding="latin-1") as f:
                f.write(out)
        failures += faults(name, err) + check(name, status, out, want, expected)
        compiled = compiled or out
    if not re.search(r"\nError \d+ \(line \d+\): ", compiled) and "-o" not in want.args:
        failures += roundtrip(qvrun, prog, want.args, env)
    return failures


def main():
    argv = [a for a in sys.argv[1:] if a != "--update"]
    failures = run_program(os.path.abspath(argv[0]), argv[1], update="--update" in sys.argv)
    print("\n".join(failures) if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

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
  `args: A B`         extra command-line arguments; {dir} is the program's folder
  `variants: V ...`   run again with "-V" added, expecting the same
Only the program's own output is compared, not the start lines or the
statistics report. Where the whole report is the point, <name>.out beside
the program holds the expected standard output instead (normalised timings
and addresses), and <name>.V.out that of variant V; --update rewrites those.
<name>.stdin is fed to standard input.

Every program that compiles is also saved with "-cp", loaded and run again:
the loaded run must print the same and end the same way (an error then has
no line). `roundtrip: no` leaves that out (programs whose output changes
from one run to the next).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import textwrap

TIMEOUT = 50
DIRECTIVE = re.compile(r"(expect|error|status|args|variants|roundtrip):")


def normalise(text):
    """The parts of a report that change from run to run."""
    text = re.sub(r"Average compilation speed .*", "Average compilation speed <speed>", text)
    text = re.sub(r"Execution time [0-9.]+ sec, ", "Execution time <time> sec, ", text)
    text = re.sub(r"average call speed .*", "average call speed <speed>", text)
    text = re.sub(r"input stream handler [0-9a-f]+, error: .*",
                  "input stream handler <handle>, error: <status>", text)
    # Detailed trace lines show arena addresses.
    return re.sub(r"entry: (0x[0-9a-f]+|\(nil\)) at 0x[0-9a-f]+", "entry: <addr> at <addr>", text)


def comments(source):
    """(line, text) of every backquote comment outside strings."""
    out, line, i, n = [], 1, 0, len(source)
    while i < n:
        c = source[i]
        if c == '"':
            j = source.find('"', i + 1)
            j = n if j < 0 else j
            line += source.count("\n", i, j)
            i = j + 1
        elif c == "`":
            j = source.find("`", i + 1)
            j = n if j < 0 else j
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
        self.lines, self.error, self.status = [], None, 1
        self.args, self.variants, self.roundtrip = [], [], True
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
                self.args = rest.replace("{dir}", os.path.dirname(prog)).split()
            elif key == "variants":
                self.variants = rest.split()
            elif key == "roundtrip":
                self.roundtrip = rest.strip() != "no"


def run(qvrun, prog, args, env=None, stdin=b"", cwd=None):
    run_env = dict(os.environ)
    run_env.setdefault("QT_QPA_PLATFORM", "offscreen")
    run_env.update(env or {})
    proc = subprocess.run([qvrun, prog] + args, input=stdin, capture_output=True,
                          env=run_env, timeout=TIMEOUT, cwd=cwd or os.path.dirname(prog))
    return proc.returncode, proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1")


END = re.compile(r"\n(\d+ operations compiled\n|(RUN-TIME error|Error) (\d+) \(line ([^)]*)\): )")


def split_output(out):
    """(program output, (code, line) of the error or None, the report)."""
    start = re.match(r"\n(Draw field created\n)?(input stream handler [^\n]*\n)?", out)
    body = out[start.end():]
    ends = list(END.finditer("\n" + body))
    if not ends:  # a loaded run ends with one empty line
        return body[:-1] if body.endswith("\n") else body, None, ""
    m = ends[-1]
    text = ("\n" + body)[1:m.start()]
    if m.group(3):
        where = m.group(4)
        return text, (int(m.group(3)), int(where) if where.isdigit() else None), ""
    return text, None, body[m.start():]


def check(name, status, out, want, loaded=False):
    failures = []
    text, error, _ = split_output(out)
    expected = "".join(line + "\n" for line in want.lines)
    if text != expected:
        failures.append("%s: output differs:\n--- expected\n%s--- actual\n%s" % (name, expected, text))
    want_error = want.error and (want.error[0], None if loaded else want.error[1])
    if error != want_error:
        failures.append("%s: ended with error %s, expected %s" % (name, error, want_error))
    if status != want.status:
        failures.append("%s: exit status %d, expected %d" % (name, status, want.status))
    return failures


def check_file(name, status, out, base, want_status, update):
    if update:
        with open(base + ".out", "w", encoding="latin-1") as f:
            f.write(out)
        return []
    with open(base + ".out", encoding="latin-1") as f:
        want_out = f.read()
    failures = []
    if out != want_out:
        failures.append("%s: standard output differs:\n--- expected\n%s--- actual\n%s"
                        % (name, want_out, out))
    if status != want_status:
        failures.append("%s: exit status %d, expected %d" % (name, status, want_status))
    return failures


def roundtrip(qvrun, prog, args, stdin, env=None):
    """Saves with -cp, loads the file and compares the program's output."""
    work = tempfile.mkdtemp(prefix="qv_roundtrip_")
    try:
        source = os.path.join(work, "prog.qv")
        shutil.copyfile(prog, source)
        args = [a for a in args if not a.startswith("-t")]
        status, out, _ = run(qvrun, source, args + ["-cp"], env, stdin)
        saved = os.path.join(work, "prog.cp")
        if not os.path.exists(saved):
            return ["roundtrip: no compiled program was saved"]
        lstatus, lout, lerr = run(qvrun, saved, [], env, stdin)
        failures = []
        if "Loading... " not in lerr or "Error while loading" in lout:
            failures.append("roundtrip: the saved program was not loaded:\n" + lout + lerr)
        text, error, _ = split_output(normalise(out))
        ltext, lerror, _ = split_output(normalise(lout))
        if ltext != text or (error and error[0]) != (lerror and lerror[0]):
            failures.append("roundtrip: output differs:\n--- compiled run\n%s--- loaded run\n%s"
                            % (text, ltext))
        if lstatus != status:
            failures.append("roundtrip: exit status %d, compiled run %d" % (lstatus, status))
        return failures
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run_program(qvrun, prog, env=None, update=False):
    """All checks of one program; returns the list of failures."""
    prog = os.path.abspath(prog)
    base = prog[:-3]
    want = Expectations(prog)
    stdin = b""
    if os.path.exists(base + ".stdin"):
        with open(base + ".stdin", "rb") as f:
            stdin = f.read()
    whole = os.path.exists(base + ".out")
    variants = want.variants + [v.split(".")[-2] for v in os.listdir(os.path.dirname(prog))
                                if whole and v.startswith(os.path.basename(base) + ".")
                                and v.endswith(".out") and v.count(".") == 2]
    failures = []
    compiled = None
    for variant in [None] + sorted(set(variants)):
        name = "-" + variant if variant else "run"
        args = want.args + (["-" + variant] if variant else [])
        status, out, err = run(qvrun, prog, args, env, stdin)
        out = normalise(out)
        if "Sanitizer" in err or "runtime error:" in err:
            failures.append("%s: fault reported:\n%s" % (name, err))
        if whole:
            vbase = base + ("." + variant if variant else "")
            failures += check_file(name, status, out, vbase, want.status, update)
        else:
            failures += check(name, status, out, want)
        if variant is None:
            compiled = out
    if want.roundtrip and not re.search(r"\nError \d+ \(line \d+\): ", compiled) \
            and "-o" not in want.args:
        failures += roundtrip(qvrun, prog, want.args, stdin, env)
    return failures


def main():
    update = "--update" in sys.argv
    argv = [a for a in sys.argv[1:] if a != "--update"]
    failures = run_program(os.path.abspath(argv[0]), argv[1], update=update)
    print("\n".join(failures) if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

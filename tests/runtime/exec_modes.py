#!/usr/bin/env python3
"""Random programs run every way qvrun can run them must agree.

    exec_modes.py QVRUN [FIRST COUNT]

The executor runs a program through steps specialised by the decoder
(blocks run in place, loop bodies round after round, recursion on copies,
record pairs), and falls back to the general path when tracing, with
-noptmp, and for a loaded program file. Programs that no one wrote by
hand, in the plain style (globals and block variables, nested if and
else, for and loop with break and continue, exec, switch, recursive
calls with par#, return and setret, arrays, texts, floats, a block
variable run by exec, if and for that its blocks change), are run
plain, traced (-t), with -noptmp, and saved (-cp) then loaded: the values
they print ("@@" lines), their errors and, where the code is the same,
the count of records executed must be equal. The programs are the same
at every run (the seeds are fixed).
"""
import os
import random
import re
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from qvhost import check, finish, run  # noqa: E402

GLOBALS = ["g%d" % i for i in range(5)]
MAX_TRACED_RECORDS = 60000  # a traced run prints a few lines a record


class Writer:
    """One program of seed `seed`: a few blocks f0.. taking a depth and a
    value (each calls only itself and the blocks before it, one level
    down, so every program ends), then main statements."""

    def __init__(self, seed):
        self.r = random.Random(seed)
        self.blocks = self.r.randint(1, 3)
        self.rich = [self.r.random() < 0.5 for _ in range(self.blocks)]
        self.in_p = False  # writing p0 or p1

    # fn: the block being written (-1 for its first statements, which call
    # nothing), None for the main program, p0 and p1. Where the type of an
    # operand is not given by its place (a first operand), par# names it:
    # elsewhere a type name is an error.
    def atom(self, fn, locs, first=False):
        r = self.r
        k = r.random()
        if k < 0.35 and not first:
            return str(r.randint(-9, 20))
        if k < 0.8:
            return r.choice(GLOBALS + locs)
        if fn is not None and k < 0.95:
            return ("(int par# %d)" if first else "(par# %d)") % r.randint(0, 1)
        if fn is not None and fn >= 0 and self.rich[fn] and r.random() < 0.4:
            return "f%d_arr[%d]" % (fn, r.randint(0, 3))
        return "arr[%d]" % r.randint(0, 7)

    def expr(self, fn, locs, depth=0, first=False):
        r = self.r
        if depth > 1 or r.random() < 0.35:
            return self.atom(fn, locs, first)
        a = self.expr(fn, locs, depth + 1, True)
        b = lambda: self.expr(fn, locs, depth + 1)  # noqa: E731
        k = r.random()
        if k < 0.2:
            return "(%s + %s)" % (a, b())
        if k < 0.35:
            return "(%s - %s)" % (a, b())
        if k < 0.5:
            return "(%s * %s)" % (a, r.choice([self.atom(fn, locs), str(r.randint(-3, 5))]))
        if k < 0.6:
            return "(%s %% %d)" % (a, r.choice([2, 3, 5, 7, -4]))
        if k < 0.68:
            return "(%s / %d)" % (a, r.choice([2, 3, 4, -2, 8]))
        if k < 0.75:
            return "(+ %s %s %s)" % (a, self.atom(fn, locs), self.atom(fn, locs))
        if k < 0.9 and (fn is None or fn >= 0) and not self.in_p:
            arg = self.argument(fn, locs, depth)
            if fn is None:  # the depth from an int variable, so the call's value is int
                return "(call f%d d%d %s)" % (r.randrange(self.blocks), r.randint(0, 3), arg)
            return "(call f%d (- (int par# 0) 1) %s)" % (r.randint(0, fn), arg)
        return "(? %s %s %s)" % (self.cond(fn, locs), a, r.choice(GLOBALS + locs))

    # The value a call passes: often a variable of the calling block, whose
    # slot the call's frame then names.
    def argument(self, fn, locs, depth=0):
        if locs and self.r.random() < 0.4:
            return self.r.choice(locs)
        return self.expr(fn, locs, depth + 1, True)

    def cond(self, fn, locs):
        r = self.r
        op = r.choice(["<", ">", "<=", ">=", "==", "!="])
        c = "(%s %s %s)" % (self.expr(fn, locs, 2, True), op, self.expr(fn, locs, 2))
        if r.random() < 0.15:
            c = "(&& %s (%s %s %s))" % (c, self.atom(fn, locs, True), r.choice(["<", ">"]),
                                        self.atom(fn, locs))
        return c

    def stmts(self, fn, locs, depth, loops, n):
        return "; ".join(self.stmt(fn, locs, depth, loops) for _ in range(n))

    def stmt(self, fn, locs, depth, loops):
        r = self.r
        e = lambda first=False: self.expr(fn, locs, 0, first)  # noqa: E731
        inner = lambda n, more=0: self.stmts(fn, locs, depth + 1, loops + more, n)  # noqa: E731
        var = lambda: r.choice(GLOBALS + locs)  # noqa: E731
        texts = ["s0"] + (["f%d_s" % fn] if fn is not None and self.rich[fn] else [])
        index = ("p_l%d" if self.in_p else "m_l%d" if fn is None else "f%d_l%%d" % fn) % loops
        if fn is None and not self.in_p and r.random() < 0.15:
            return self.block_var_stmt(loops)
        k = r.random()
        deep = depth >= 3
        if k < 0.18 or (deep and k < 0.5):
            return "%s = %s" % (var(), e())
        if k < 0.26:
            return "%s %s %s" % (var(), r.choice(["+=", "-="]), e())
        if k < 0.31:
            return "%s %s" % (var(), r.choice(["++", "--"]))
        if k < 0.42 or deep:
            return 'puts "@@" %s' % e()
        if k < 0.55:
            s = "if %s { %s }" % (self.cond(fn, locs), inner(r.randint(1, 3)))
            if r.random() < 0.6:
                s += " { %s }" % inner(r.randint(1, 3))
            return s
        if k < 0.63 and loops < 3:
            lo = r.randint(-2, 3)
            hi = lo + r.randint(1, 4)
            if r.random() < 0.2:
                return "for %s %d %d -1 { %s }" % (index, hi, lo, inner(r.randint(1, 4), 1))
            return "for %s %d %d 1 { %s }" % (index, lo, hi, inner(r.randint(1, 4), 1))
        if k < 0.7 and loops < 3:
            return "%s = 0; loop { %s ++; breakif (%s > %d); %s }" % (
                index, index, index, r.randint(0, 4), inner(r.randint(1, 3), 1))
        if k < 0.76 and loops > 0:
            c = self.cond(fn, locs)
            return r.choice(["breakif %s", "continueif %s", "if %s { break }",
                             "if %s { continue }"]) % c
        if k < 0.8:
            return "exec { %s }" % inner(r.randint(1, 2))
        if k < 0.84:
            return "switch (%s %% 3) { %s } { %s }" % (e(True), inner(1), inner(1))
        if k < 0.86:
            return "arr[%d] = %s" % (r.randint(0, 7), e())
        if k < 0.875:
            t = r.choice(texts)
            return "%s = (substr (concat %s %s %s) %d %d)" % (
                t, t, r.choice(['"x"', '"yz"']), r.choice(texts + ['"ab"']),
                r.randint(0, 2), r.randint(2, 9))
        if k < 0.885:
            t = r.choice(texts)
            return 'puts "@@" %s " " (length %s)' % (t, t)
        if k < 0.895:
            return "x0 = ((x0 * 0.5) + %s)" % var()
        if fn is not None and self.rich[fn] and k < 0.9:
            return "f%d_arr[%d] = %s" % (fn, r.randint(0, 3), e())
        if fn is not None and k < 0.905:
            return "setret %s" % e(True)
        if fn is not None and k < 0.94:
            return "if %s { return %s }" % (self.cond(fn, locs), e(True))
        if self.in_p:
            return "%s = %s" % (var(), e())
        if fn is None:
            return "call f%d d%d %s" % (r.randrange(self.blocks), r.randint(0, 3), e(True))
        return "call f%d (- (int par# 0) 1) %s" % (r.randint(0, fn), self.argument(fn, locs))

    # "cur" holds p0 or p1, which may set it to the other while they run:
    # a block run in place, a loop's body or an "if"'s branch that its slot
    # no longer holds at its next run.
    def block_var_stmt(self, loops):
        r = self.r
        k = r.random()
        if k < 0.3:
            return "cur = p%d" % r.randint(0, 1)
        if k < 0.5:
            return "exec cur"
        if k < 0.7:
            return "if %s cur p%d" % (self.cond(None, []), r.randint(0, 1))
        if k < 0.85 or loops >= 3:
            return "if %s cur" % self.cond(None, [])
        index = "m_l%d" % loops
        return "for %s 1 %d 1 cur" % (index, r.randint(1, 4))

    def program(self):
        r = self.r
        out = ["int %s;" % "; int ".join("%s %d" % (g, r.randint(-5, 9)) for g in GLOBALS),
               "int m_l0; int m_l1; int m_l2; int p_l0; int p_l1; int p_l2;",
               'int arr[8]; str s0 "q"; float x0 1.5; int d0 0; int d1 1; int d2 2; int d3 3;',
               "block cur;"]
        for f in range(self.blocks):
            locs = ["f%d_%s" % (f, n) for n in "ab"[: r.randint(0, 2)]]
            # Every declaration comes before the first return: a block left
            # before one of them ran could not delete that variable. A block
            # with a text or an array of its own sets an outer run's values
            # aside for its inner runs; one with numbers alone runs them on
            # copies.
            body = ["int f%d_l0; int f%d_l1; int f%d_l2" % (f, f, f)]
            if self.rich[f]:
                body.append('int f%d_arr[4]; str f%d_s; f%d_s = "w"' % (f, f, f))
            for v in locs:
                body.append("int %s; %s = %s" % (v, v, self.expr(-1, [])))
            body.append("if ((int par# 0) <= 0) { return %s }" % self.expr(-1, [], 0, True))
            body.append(self.stmts(f, locs, 1, 0, r.randint(1, 3)))
            body.append("return %s" % self.expr(f, locs, 0, True))
            out.append("block f%d {\n  %s\n};" % (f, ";\n  ".join(body)))
        # p0 and p1 run no calls and no "cur", so that nothing runs for ever.
        self.in_p = True
        for p in range(2):
            body = self.stmts(None, [], 2, 0, r.randint(1, 3))
            if r.random() < 0.5:
                body += "; cur = p%d" % r.randint(0, 1)
            out.append("block p%d { %s };" % (p, body))
        self.in_p = False
        out.append("cur = p0;")
        for _ in range(r.randint(3, 6)):
            out.append(self.stmt(None, [], 0, 0) + ";")
        out.append('puts "@@end" %s " " s0 " " x0;' % " ".join('" " ' + g for g in GLOBALS))
        return "\n".join(out) + "\n"


def results(out, with_records=True):
    """The lines that every way of running must print alike."""
    keep = []
    for line in out.splitlines():
        if line.startswith("@@") or re.match(r"(RUN-TIME error|Error) \d+", line):
            keep.append(line)
        elif with_records and re.match(r"\d+ calls, average", line):
            keep.append(line.split(",")[0])
    return keep


def records(out):
    m = re.search(r"^(\d+) calls, average", out, re.M)
    return int(m.group(1)) if m else 0


first, count = (int(a) for a in sys.argv[2:4]) if len(sys.argv) > 3 else (1, 250)
with tempfile.TemporaryDirectory(prefix="qvmodes") as d:
    for seed in range(first, first + count):
        prog = os.path.join(d, "p%d.qv" % seed)
        with open(prog, "w") as f:
            f.write(Writer(seed).program())
        p = run([prog])
        plain = p.stdout
        name = "seed %d" % seed
        if not check(name + ": does not compile", "Running..." in p.stderr, plain):
            continue
        want = results(plain)
        ways = {"-noptmp": (run([prog, "-noptmp"]).stdout, False),
                "-cp": (run([prog, "-cp"]).stdout, True)}
        if records(plain) <= MAX_TRACED_RECORDS:
            ways["-t"] = (run([prog, "-t"], timeout=60).stdout, True)
        for way, (out, same_code) in ways.items():
            got = results(out, same_code)
            check("%s %s: differs from the plain run" % (name, way),
                  got == (want if same_code else results(plain, False)),
                  "\n".join(["want:"] + want + ["got:"] + got))
        # A loaded program names no line and prints no statistics.
        loaded = run([os.path.join(d, "p%d.cp" % seed)]).stdout
        strip = lambda lines: [re.sub(r" \(line [^)]*\)", "", x) for x in lines]  # noqa: E731
        check(name + " loaded: differs from the plain run",
              strip(results(loaded, False)) == strip(results(plain, False)),
              loaded)
finish()

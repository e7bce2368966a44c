#!/usr/bin/env python3
"""Deep nesting under a small native stack ends with error 53, never with a
crash: block nesting that runs through native calls (loops, several blocks
of one "exec", "switch", tracing) is checked against the stack's end, and
the rest costs no native frames."""
import os
import subprocess
import sys
import tempfile

qvrun = os.path.abspath(sys.argv[1])
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
STACK_KB = 384

LONG_BODY = " ".join("m += 1;" for _ in range(20))  # more records than a short block
PROGRAMS = {
    "exec_long": "int n m;\nblock f { n ++; %s exec f };\nexec f;\n" % LONG_BODY,
    "loop": "int n;\nblock f { n ++; loop { exec f; break } };\nexec f;\n",
    "for": "int n i;\nblock f { n ++; for i 1 1 1 { exec f } };\nexec f;\n",
    "switch": "int n;\nblock f { n ++; switch 0 f };\nexec f;\n",
    "exec_two": "int n;\nblock g { };\nblock f { n ++; exec g f };\nexec f;\n",
}

failures = []
with tempfile.TemporaryDirectory() as d:
    for name, text in PROGRAMS.items():
        with open(os.path.join(d, name + ".qv"), "w") as f:
            f.write(text + 'puts "not reached";\n')
        for switches in ([], ["-t"]):
            cmd = "ulimit -s %d; exec \"$0\" \"$@\"" % STACK_KB
            p = subprocess.run(["sh", "-c", cmd, qvrun, name + ".qv"] + switches, cwd=d, env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
            out = p.stdout.decode("latin-1")
            label = " ".join([name] + switches)
            if p.returncode != 1 or "RUN-TIME error 53 " not in out or "not reached" in out:
                failures.append("%s: exit status %d, %s" % (
                    label, p.returncode, out.strip().splitlines()[-8:] if out else "no output"))

for f in failures:
    print(f)
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""Deep nesting under a small native stack ends with error 53, never with a
crash: block nesting that runs through native calls (loops, several blocks
of one "exec", "switch", tracing) is checked against the stack's end."""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from qvhost import check, env, finish, qvrun  # noqa: E402

PROGRAMS = {
    "exec_long": "int n m;\nblock f { n ++; %s exec f };\n" % ("m += 1; " * 20),
    "loop": "int n;\nblock f { n ++; loop { exec f; break } };\n",
    "for": "int n i;\nblock f { n ++; for i 1 1 1 { exec f } };\n",
    "switch": "int n;\nblock f { n ++; switch 0 f };\n",
    "exec_two": "int n;\nblock g { };\nblock f { n ++; exec g f };\n",
}

with tempfile.TemporaryDirectory() as d:
    for name, text in PROGRAMS.items():
        with open(os.path.join(d, name + ".qv"), "w") as f:
            f.write(text + 'exec f;\nputs "not reached";\n')
        for switches in ([], ["-t"]):
            p = subprocess.run(["sh", "-c", 'ulimit -s 384; exec "$0" "$@"', qvrun(),
                                name + ".qv"] + switches, cwd=d, env=env(), timeout=120,
                               capture_output=True, text=True, errors="replace")
            check(" ".join([name] + switches), p.returncode == 1 and "RUN-TIME error 53 "
                  in p.stdout and "not reached" not in p.stdout, p.stdout[-400:])
finish()

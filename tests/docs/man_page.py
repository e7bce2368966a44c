#!/usr/bin/env python3
"""docs/qvrun.1 renders without a warning and has the sections a manual
page needs. Exit 77 (skipped) when neither man nor groff is installed.

Usage: man_page.py SOURCE_DIR"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from qvhost import SKIP, check, finish  # noqa: E402

page = os.path.join(sys.argv[1], "docs", "qvrun.1")
if shutil.which("man"):
    cmd = ["man", "--warnings", "-l", page]
elif shutil.which("groff"):
    cmd = ["groff", "-man", "-Tutf8", "-ww", page]
else:
    sys.exit(SKIP)
r = subprocess.run(cmd, capture_output=True, text=True, timeout=60,
                   env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80", MAN_KEEP_FORMATTING=""))
check("renders without warnings", r.returncode == 0 and not r.stderr.strip(), r.stderr)
for s in ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "FILES",
          "EXAMPLES", "SEE ALSO"]:
    check("section " + s, "\n" + s + "\n" in r.stdout)
for word in ["-noptmp", "-cp", "QV_PICTURE", "WAYLAND_DISPLAY"]:
    check("describes " + word, word in r.stdout.replace("\u2010", "-"))
finish()

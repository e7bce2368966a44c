#!/usr/bin/env python3
"""docs/qvrun.1 renders without a warning and has the sections a manual
page needs. Exit 77 (skipped) when neither man nor groff is installed.

Usage: man_page.py SOURCE_DIR"""
import os
import shutil
import subprocess
import sys

SECTIONS = ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS",
            "ENVIRONMENT", "FILES", "EXAMPLES", "SEE ALSO"]


def main():
    page = os.path.join(sys.argv[1], "docs", "qvrun.1")
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80", MAN_KEEP_FORMATTING="")
    if shutil.which("man"):
        cmd = ["man", "--warnings", "-l", page]
    elif shutil.which("groff"):
        cmd = ["groff", "-man", "-Tutf8", "-ww", page]
    else:
        print("neither man nor groff installed")
        return 77
    r = subprocess.run(cmd, capture_output=True, text=True, env=env, timeout=60)
    problems = []
    if r.returncode != 0:
        problems.append("%s exited with %d" % (cmd[0], r.returncode))
    if r.stderr.strip():
        problems.append("warnings:\n" + r.stderr)
    text = r.stdout
    for s in SECTIONS:
        if "\n" + s + "\n" not in text:
            problems.append("section missing: " + s)
    for word in ["-noptmp", "-cp", "QV_PICTURE", "WAYLAND_DISPLAY"]:
        if word not in text.replace("\u2010", "-"):
            problems.append("not described: " + word)
    for p in problems:
        print("qvrun.1:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

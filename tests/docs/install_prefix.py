#!/usr/bin/env python3
"""cmake --install into a temporary prefix: the installed qvrun runs an
installed example, and the manual page, the documents and the editor files
are in their places.

Usage: install_prefix.py CMAKE BUILD_DIR"""
import os
import shutil
import subprocess
import sys
import tempfile


def main():
    cmake, build = sys.argv[1], sys.argv[2]
    prefix = tempfile.mkdtemp(prefix="qv-install-")
    problems = []
    try:
        r = subprocess.run([cmake, "--install", build, "--prefix", prefix],
                           capture_output=True, text=True, timeout=120)
        if r.returncode != 0:
            print(r.stdout, r.stderr)
            return 1
        qvrun = os.path.join(prefix, "bin", "qvrun")
        doc = os.path.join(prefix, "share", "doc", "qv")
        for rel in ["bin/qvrun", "share/man/man1/qvrun.1",
                    "share/doc/qv/README.md", "share/doc/qv/operations.md",
                    "share/doc/qv/examples/hello.qv",
                    "share/vim/vimfiles/syntax/qv.vim",
                    "share/vim/vimfiles/ftdetect/qv.vim",
                    "share/qv/editors/textmate/qv.tmLanguage.json",
                    "share/qv/editors/vscode/package.json"]:
            if not os.path.isfile(os.path.join(prefix, rel)):
                problems.append("not installed: " + rel)
        if not os.access(qvrun, os.X_OK):
            problems.append("installed qvrun is not executable")
        else:
            env = dict(os.environ)
            env.pop("DISPLAY", None)
            env.pop("WAYLAND_DISPLAY", None)
            example = os.path.join(doc, "examples", "hello.qv")
            r = subprocess.run([qvrun, example], capture_output=True, text=True,
                               env=env, cwd=prefix, timeout=60)
            if "Hello, world!" not in r.stdout or "RUN-TIME error" in r.stdout:
                problems.append("installed example did not run:\n" + r.stdout + r.stderr)
            if r.returncode != 1:
                problems.append("a run ends with exit status %d, not 1" % r.returncode)
        if shutil.which("man"):
            r = subprocess.run(["man", "-l", os.path.join(prefix, "share", "man", "man1", "qvrun.1")],
                               capture_output=True, text=True, timeout=60,
                               env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
            if "qvrun - compile and run a QV program" not in r.stdout:
                problems.append("installed manual page does not render")
    finally:
        shutil.rmtree(prefix, ignore_errors=True)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from qvhost import check, env, finish  # noqa: E402

# qvrun reads its options by substring, in the path too: no hyphen in the
# prefix, so that a random part starting with "o" or "t" cannot make the
# path an option ("-o" lists the operations instead of running).
with tempfile.TemporaryDirectory(prefix="qv_install_") as prefix:
    r = subprocess.run([sys.argv[1], "--install", sys.argv[2], "--prefix", prefix],
                       capture_output=True, text=True, timeout=120)
    if check("cmake --install", r.returncode == 0, r.stdout + r.stderr):
        for rel in ["bin/qvrun", "share/man/man1/qvrun.1", "share/doc/qv/README.md",
                    "share/doc/qv/operations.md", "share/doc/qv/examples/hello.qv",
                    "share/vim/vimfiles/syntax/qv.vim", "share/vim/vimfiles/ftdetect/qv.vim",
                    "share/qv/editors/textmate/qv.tmLanguage.json",
                    "share/qv/editors/vscode/package.json"]:
            check("installed: " + rel, os.path.isfile(os.path.join(prefix, rel)))
        r = subprocess.run([os.path.join(prefix, "bin", "qvrun"),
                            os.path.join(prefix, "share/doc/qv/examples/hello.qv")],
                           capture_output=True, text=True, env=env(), cwd=prefix, timeout=60)
        check("the installed qvrun runs the installed example", r.returncode == 1
              and "Hello, world!" in r.stdout and "RUN-TIME error" not in r.stdout, r)
        if shutil.which("man"):
            r = subprocess.run(["man", "-l", os.path.join(prefix, "share/man/man1/qvrun.1")],
                               capture_output=True, text=True, timeout=60,
                               env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
            check("the installed manual page renders",
                  "qvrun - compile and run a QV program" in r.stdout)
finish()

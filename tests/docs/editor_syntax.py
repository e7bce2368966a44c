#!/usr/bin/env python3
"""The editor syntax files name exactly the operations of the listing and
the types and named constants of the tables, and are what
scripts/gen-editor-syntax.py makes of them.

Usage: editor_syntax.py QVRUN SOURCE_DIR"""
import runpy
import json
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import qv_names  # noqa: E402


def vim_names(text):
    lists = {}
    for name, body in re.findall(r"^let s:qv_(\w+) = \[(.*)\]$", text, re.M):
        lists[name] = [s.replace("''", "'") for s in re.findall(r"'((?:[^']|'')*)'", body)]
    return lists


def textmate_names(text):
    repo = json.loads(text)["repository"]
    lists = {}
    for key, name in (("operation", "operations"), ("type", "types"), ("constant", "constants")):
        m = re.search(r"\(\?:(.*)\)\(\?!", repo[key]["match"])
        alts = re.split(r"(?<!\\)\|", m.group(1))
        lists[name] = [re.sub(r"\\(.)", r"\1", a) for a in alts]
    return lists


def compare(label, found, expected, problems):
    for n in sorted(set(expected) - set(found)):
        problems.append("%s: %r is missing" % (label, n))
    for n in sorted(set(found) - set(expected)):
        problems.append("%s: %r is not a QV name" % (label, n))


def main():
    qvrun, root = sys.argv[1], sys.argv[2]
    expected = {"operations": qv_names.operations(qvrun)}
    expected["types"], expected["constants"] = qv_names.types_and_constants(
        os.path.join(root, "src", "driver", "typetable.cpp"))
    vim_path = os.path.join(root, "editors", "vim", "syntax", "qv.vim")
    tm_path = os.path.join(root, "editors", "textmate", "qv.tmLanguage.json")
    files = {vim_path: vim_names, tm_path: textmate_names}
    problems = []
    for path, parse in files.items():
        text = open(path, encoding="utf-8").read()
        found = parse(text)
        for kind, names in expected.items():
            compare("%s %s" % (os.path.relpath(path, root), kind), found.get(kind, []),
                    names, problems)
    ft = os.path.join(root, "editors", "vim", "ftdetect", "qv.vim")
    if "*.qv" not in open(ft, encoding="utf-8").read():
        problems.append("editors/vim/ftdetect/qv.vim does not detect *.qv")
    # The files are exactly what the generator writes.
    gen = runpy.run_path(os.path.join(root, "scripts", "gen-editor-syntax.py"))
    for rel, text in gen["generate"](qvrun).items():
        if open(os.path.join(root, rel), encoding="utf-8").read() != text:
            problems.append(rel + " is out of date: run scripts/gen-editor-syntax.py")
    for p in problems:
        print(p)
    if problems:
        return 1
    print("editor syntax files up to date")
    return 0


if __name__ == "__main__":
    sys.exit(main())

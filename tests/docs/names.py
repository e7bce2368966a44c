#!/usr/bin/env python3
"""The language's names (the operations of qvrun's listing, the type and
named-constant tables) are all documented in docs/operations.md (an
operation a heading "### name", a type and a constant a table row), and
the editor syntax files name exactly them and are what
scripts/gen-editor-syntax.py makes of them.

Usage: names.py QVRUN SOURCE_DIR"""
import json
import os
import re
import runpy
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import qv_names  # noqa: E402
from qvhost import check, finish  # noqa: E402

qvrun, root = sys.argv[1], sys.argv[2]


def read(rel):
    with open(os.path.join(root, rel), encoding="utf-8") as f:
        return f.read()


names = {"operations": qv_names.operations(qvrun)}
names["types"], names["constants"] = qv_names.types_and_constants(
    os.path.join(root, "src", "runtime", "typetable.cpp"))

doc = read("docs/operations.md")
headings = set(re.findall(r"^### (.+?)\s*$", doc, re.M)) - {"Declarations"}
cells = set(re.findall(r"\|\s*`([^`|]+)`\s*(?=\|)", doc))
check("operations.md: a heading for each operation, and no other",
      headings == set(names["operations"]), headings ^ set(names["operations"]))
for kind in ("types", "constants"):
    check("operations.md: a row for each of the " + kind,
          set(names[kind]) <= cells, set(names[kind]) - cells)


def vim_names(text):
    return {name: [s.replace("''", "'") for s in re.findall(r"'((?:[^']|'')*)'", body)]
            for name, body in re.findall(r"^let s:qv_(\w+) = \[(.*)\]$", text, re.M)}


def textmate_names(text):
    repo, found = json.loads(text)["repository"], {}
    for key, name in (("operation", "operations"), ("type", "types"), ("constant", "constants")):
        alts = re.split(r"(?<!\\)\|", re.search(r"\(\?:(.*)\)\(\?!", repo[key]["match"]).group(1))
        found[name] = [re.sub(r"\\(.)", r"\1", a) for a in alts]
    return found


for rel, parse in (("editors/vim/syntax/qv.vim", vim_names),
                   ("editors/textmate/qv.tmLanguage.json", textmate_names)):
    found = parse(read(rel))
    for kind, want in names.items():
        check("%s: exactly the %s" % (rel, kind), sorted(found.get(kind, [])) == sorted(want),
              set(found.get(kind, [])) ^ set(want))
check("the vim file type detects *.qv", "*.qv" in read("editors/vim/ftdetect/qv.vim"))
gen = runpy.run_path(os.path.join(root, "scripts", "gen-editor-syntax.py"))
for rel, text in gen["generate"](qvrun).items():
    check(rel + " is up to date (scripts/gen-editor-syntax.py)", read(rel) == text)
finish()

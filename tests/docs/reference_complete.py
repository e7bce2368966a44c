#!/usr/bin/env python3
"""Every operation, type and named constant has its entry in
docs/operations.md: an operation a heading "### name", a type and a
constant a row of their tables.

Usage: reference_complete.py QVRUN SOURCE_DIR"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import qv_names  # noqa: E402


def main():
    qvrun, root = sys.argv[1], sys.argv[2]
    doc = open(os.path.join(root, "docs", "operations.md"), encoding="utf-8").read()
    ops = qv_names.operations(qvrun)
    types, consts = qv_names.types_and_constants(
        os.path.join(root, "src", "runtime", "typetable.cpp"))
    headings = set(re.findall(r"^### (.+?)\s*$", doc, re.M))
    # Table rows: the first cell of each row, and every `name` cell.
    cells = set(re.findall(r"\|\s*`([^`|]+)`\s*(?=\|)", doc))
    missing = []
    for op in ops:
        if op not in headings:
            missing.append("operation " + op)
    for t in types:
        if t not in cells:
            missing.append("type " + t)
    for c in consts:
        if c not in cells:
            missing.append("named constant " + c)
    extra = sorted(h for h in headings if h not in ops and h != "Declarations")
    for h in extra:
        missing.append("heading for an operation that does not exist: " + h)
    if len(ops) != 126:
        missing.append("the listing has %d operations, expected 126" % len(ops))
    for m in missing:
        print("docs/operations.md:", m)
    if missing:
        return 1
    print("%d operations, %d types, %d named constants documented"
          % (len(ops), len(types), len(consts)))
    return 0


if __name__ == "__main__":
    sys.exit(main())

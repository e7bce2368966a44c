#!/usr/bin/env python3
"""Every include of src/ points to its own layer or a lower one.

The layers, bottom up: runtime (value slots, arena, tables, executor),
types, compiler, host (window, sound, program files), app (process entry
and command line). Prints each include that points up and fails on any."""
import os
import re
import sys

LAYERS = ["runtime", "types", "compiler", "host", "app"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main():
    src = os.path.join(sys.argv[1], "src")
    bad = []
    for layer in os.listdir(src):
        if layer not in LAYERS:
            bad.append("src/%s: not a layer" % layer)
            continue
        for name in sorted(os.listdir(os.path.join(src, layer))):
            path = os.path.join(src, layer, name)
            for target in INCLUDE.findall(open(path, encoding="utf-8").read()):
                resolved = os.path.normpath(os.path.join(src, layer, target))
                to = os.path.relpath(resolved, src).split(os.sep)[0]
                if to in LAYERS and LAYERS.index(to) > LAYERS.index(layer):
                    bad.append("src/%s/%s includes %s (%s above %s)" % (layer, name, target, to, layer))
    for b in bad:
        print(b)
    print("%d includes point up" % len(bad))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

"""The names a QV program can use, read from their sources of truth: the
operation listing of the real qvrun ("qvrun -o") and the type and
named-constant tables of src/runtime/typetable.cpp."""
import re
import subprocess


def operations(qvrun):
    out = subprocess.run([qvrun, "-o"], capture_output=True, text=True,
                         timeout=60).stdout
    names = re.findall(r"^(\S+) returns ", out, re.M)
    if not names:
        raise SystemExit("no operations in the listing of " + qvrun)
    return names


def _string_array(text, name):
    m = re.search(name + r"\[[^\]]*\]\s*=\s*\{(.*?)\};", text, re.S)
    if not m:
        raise SystemExit("table %s not found" % name)
    return re.findall(r'"((?:[^"\\]|\\.)*)"', m.group(1))


def types_and_constants(typetable_cpp):
    text = open(typetable_cpp, encoding="utf-8").read()
    return _string_array(text, "typname"), _string_array(text, "litname")

#!/usr/bin/env python3
"""qvrun without a screen: a display that cannot be opened, the picture
written as a PNG file (QV_PICTURE), standard output that cannot be written,
the temporary files of a killed save, and the window library that only a
program that draws, takes keys or processes events loads.

    headless_e2e.py QVRUN
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
HELLO = os.path.join(HERE, "..", "..", "examples", "hello.qv")
PICTURE = os.path.join(HERE, "headless", "picture.qv")
qvrun = os.path.abspath(sys.argv[1])
failures = []


def check(name, cond, detail=""):
    if not cond:
        failures.append(name + (":\n" + detail if detail else ""))


def base_env(**extra):
    env = {k: v for k, v in os.environ.items()
           if k not in ("QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QV_PICTURE")}
    env.update(extra)
    return env


def read_png(path):
    """Pixels of an 8-bit RGB or RGBA PNG as a function (x, y) -> (r, g, b)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError("unexpected PNG kind %r" % (header,))
    bpp = 3 if colour == 2 else 4
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return (width, height), lambda x, y: tuple(rows[y][x * bpp:x * bpp + 3])


def display_fallback(d):
    for name, env in (("X display", base_env(DISPLAY=":55")),
                      ("Wayland display", base_env(WAYLAND_DISPLAY="qv-no-such-wayland",
                                                   XDG_RUNTIME_DIR=d))):
        p = subprocess.run([qvrun, HELLO], capture_output=True, env=env, timeout=30)
        shown = ":55" if name == "X display" else "qv-no-such-wayland"
        check("a dead %s: one line, then off screen" % name,
              p.stderr.startswith(b"Cannot open display %s, drawing off screen\n" % shown.encode())
              and p.stderr.count(b"display") == 1, p.stderr.decode("latin-1"))
        check("a dead %s: the program runs" % name,
              p.returncode == 1 and b"Hello, world!\n" in p.stdout,
              "status %d\n%s" % (p.returncode, p.stdout.decode("latin-1")))


def picture(d):
    target = os.path.join(d, "chart.png")
    env = base_env(QV_PICTURE=target)
    qv = subprocess.Popen([qvrun, PICTURE], env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while not os.path.exists(target) and time.time() < deadline and qv.poll() is None:
        time.sleep(0.05)
    try:
        size, at = read_png(target)
        check("the flushed picture is 480 x 272", size == (480, 272), str(size))
        check("the flush wrote what was drawn before it",
              at(10, 10) == (255, 0, 0) and at(11, 10) == (0, 0, 0), str(at(10, 10)))
        check("nothing drawn after the flush is in its picture",
              at(120, 100) == (0, 0, 0), str(at(120, 100)))
    except (OSError, ValueError, TypeError) as e:
        check("the picture is written at the flush", False, repr(e))
    out, _ = qv.communicate(timeout=30)
    check("the picture program runs", qv.returncode == 1 and b"flushed" in out, out.decode())
    try:
        size, at = read_png(target)
        check("the end of the run writes the whole picture",
              at(10, 10) == (255, 0, 0) and at(20, 100) == (0, 255, 0)
              and at(220, 100) == (0, 255, 0) and at(479, 271) == (0, 0, 255)
              and at(221, 100) == (0, 0, 0), str([at(20, 100), at(479, 271)]))
    except (OSError, ValueError, TypeError) as e:
        check("the picture is written at the end", False, repr(e))
    check("no temporary picture file stays behind",
          [f for f in os.listdir(d) if f.startswith("chart.png.")] == [], str(os.listdir(d)))

    p = subprocess.run([qvrun, PICTURE], capture_output=True, timeout=30,
                       env=base_env(QV_PICTURE=os.path.join(d, "no-such-folder", "x.png")))
    check("an unwritable picture is reported once",
          p.stderr.count(b"Cannot write picture ") == 1
          and b"x.png: No such file or directory\n" in p.stderr and p.returncode == 1,
          p.stderr.decode("latin-1"))


def output_errors():
    with open("/dev/full", "wb") as full:
        p = subprocess.run([qvrun, HELLO], stdout=full, stderr=subprocess.PIPE,
                           env=base_env(), timeout=30)
    check("lost output is reported on stderr",
          p.stderr.endswith(b"\nError writing standard output: No space left on device\n"),
          p.stderr.decode("latin-1"))
    check("lost output: status 1", p.returncode == 1)
    with open("/dev/full", "wb") as full:
        p = subprocess.run([qvrun, "-o"], stdout=full, stderr=subprocess.PIPE,
                           env=base_env(), timeout=30)
    check("a lost listing fails", p.returncode == 1
          and b"Error writing standard output: No space left on device\n" in p.stderr)


def stale_saves(d):
    src = os.path.join(d, "prog.qv")
    with open(HELLO, "rb") as f, open(src, "wb") as g:
        g.write(f.read())
    left = ["prog.cp.Ab12Zq", "prog.cp.000000"]
    kept = ["prog.cp.toolong1", "prog.cp.ab", "other.cp.Ab12Zq", "prog.cpx.Ab12Zq"]
    for name in left + kept:
        open(os.path.join(d, name), "w").close()
    p = subprocess.run([qvrun, src, "-cp"], capture_output=True, env=base_env(), timeout=30)
    names = os.listdir(d)
    check("the save works", p.returncode == 1 and "prog.cp" in names)
    check("a save removes what killed saves of its target left",
          not any(n in names for n in left), str(sorted(names)))
    check("other files stay", all(n in names for n in kept), str(sorted(names)))


def timeless(text):
    text = re.sub(r"Execution time [0-9.]+ sec", "Execution time <t> sec", text)
    return re.sub(r"speed [^\n]*", "speed <s>", text)


# Off screen the window is nobody's to see: a run loads the window library
# only for a program whose operations need it, and prints the same as the
# run that makes its window at start (a picture file asks for that one).
def window_library(d):
    programs = {
        "plain": ('int i 2; float f 0.75; puts i " " (f * 3) " " (sqrt 2);', False),
        "draws": ('color 255 0 0; point 1 1; flush; puts "drawn";', True),
        "pumps": ('processevents; puts "pumped";', True),
        "keys": ('int k; onkbhit { k = (kbcode) }; puts "keys";', True),
        "error": ('puts "before"; circle 1 2;', False),
    }
    for name, (text, needs) in programs.items():
        src = os.path.join(d, name + ".qv")
        with open(src, "w") as f:
            f.write(text + "\n")
        runs = [[src]]
        if name != "error":
            subprocess.run([qvrun, src, "-cp"], capture_output=True, env=base_env(), timeout=30)
            runs.append([os.path.join(d, name + ".cp")])
        for args in runs:
            what = "%s (%s)" % (name, os.path.basename(args[0]))
            env = base_env(QT_QPA_PLATFORM="offscreen", LD_DEBUG="files")
            p = subprocess.run([qvrun] + args, capture_output=True, env=env, timeout=30)
            loaded = b"libqvwindow.so" in p.stderr
            check("%s: the window library loads %s" % (what, "" if needs else "not "),
                  loaded == needs)
            check("%s: no Qt without the window" % what,
                  needs or b"libQt6" not in p.stderr)
            with_window = subprocess.run(
                [qvrun] + args, capture_output=True, timeout=30,
                env=base_env(QV_PICTURE=os.path.join(d, name + ".png")))
            check("%s: the same output as with the window at start" % what,
                  timeless(p.stdout.decode("latin-1")) ==
                  timeless(with_window.stdout.decode("latin-1"))
                  and p.returncode == with_window.returncode,
                  p.stdout.decode("latin-1") + "\n----\n" + with_window.stdout.decode("latin-1"))


with tempfile.TemporaryDirectory(prefix="qv_headless_") as folder:
    window_library(folder)
    display_fallback(folder)
    picture(folder)
    output_errors()
    stale_saves(folder)

print("\n".join(failures) if failures else "ok")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""qvrun without a screen: a display or platform that cannot be opened, the picture
written as a PNG file (QV_PICTURE), standard output that cannot be written,
the temporary files of a killed save, what a save or picture replaces
(links, pipes, long names), and the window library that only a
program that draws, takes keys or processes events loads. The picture is
read with ImageMagick's convert.

    headless_e2e.py QVRUN
"""
import os
import re
import stat
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from qvhost import HELLO, check, env, finish, pixels, qvrun, run  # noqa: E402

PICTURE = os.path.join(HERE, "headless", "picture.qv")


def display_fallback(d):
    for shown, e in ((":55", env(DISPLAY=":55")),
                     ("qv-no-such-wayland", env(WAYLAND_DISPLAY="qv-no-such-wayland",
                                                XDG_RUNTIME_DIR=d))):
        p = run([HELLO], env=e)
        check("a dead display %s: one line, then the program runs off screen" % shown,
              p.stderr.startswith("Cannot open display %s, drawing off screen\n" % shown)
              and p.stderr.count("display") == 1 and p.returncode == 1
              and "Hello, world!\n" in p.stdout, p)
    # A platform named that cannot start here: the toolkit would abort the
    # process; qvrun starts again off screen, before the run.
    for platform in ("qv-nowhere", "xcb", "linuxfb"):
        p = run([HELLO], env=env(QT_QPA_PLATFORM=platform))
        check("platform %s cannot start: one line, then the program runs off screen" % platform,
              p.stderr.startswith("Cannot start window platform %s, drawing off screen\n"
                                  % platform) and p.stderr.count("platform") == 1
              and p.stdout.count("Draw field created") == 1 and p.returncode == 1
              and "Hello, world!\n" in p.stdout, p)
    p = run([HELLO], env=env(QT_QPA_PLATFORM=""))
    check("an empty platform is none named: off screen, without a word",
          not p.stderr.startswith("Cannot") and p.returncode == 1
          and "Hello, world!\n" in p.stdout, p)


def picture(d):
    target = os.path.join(d, "chart.png")
    # What writes of killed runs left is removed; files of the user's stay.
    stale, kept = "chart.png.qvpic-Ab12Zq", ["chart.png.Ab12Zq", "chart.png.old"]
    for name in [stale] + kept:
        open(os.path.join(d, name), "w").close()
    qv = subprocess.Popen([qvrun(), PICTURE], env=env(QV_PICTURE=target),
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while not os.path.exists(target) and time.time() < deadline and qv.poll() is None:
        time.sleep(0.05)
    # At the flush: what was drawn before it, nothing drawn after it.
    # At the end of the run: the whole picture.
    for when, want in (("at the flush", {(10, 10): (255, 0, 0), (11, 10): (0, 0, 0),
                                         (120, 100): (0, 0, 0)}),
                       ("at the end", {(10, 10): (255, 0, 0), (20, 100): (0, 255, 0),
                                       (220, 100): (0, 255, 0), (221, 100): (0, 0, 0),
                                       (479, 271): (0, 0, 255)})):
        if when == "at the end":
            out, _ = qv.communicate(timeout=30)
            check("the picture program runs", qv.returncode == 1 and b"flushed" in out, out)
        try:
            size, at = pixels(["convert", target, "-depth", "8", "ppm:-"])
            got = {xy: at(*xy) for xy in want}
            check("the picture written " + when, size == (480, 272) and got == want, (size, got))
        except (OSError, ValueError, TypeError) as e:
            check("the picture is written " + when, False, repr(e))
    check("no temporary picture file stays behind, none of the user's goes",
          sorted(f for f in os.listdir(d) if f.startswith("chart.png.")) == sorted(kept),
          os.listdir(d))
    p = run([PICTURE], env=env(QV_PICTURE=os.path.join(d, "no-such-folder", "x.png")))
    check("an unwritable picture is reported once", p.returncode == 1
          and p.stderr.count("Cannot write picture ") == 1
          and "Running...\nCannot write picture " in p.stderr
          and "x.png: No such file or directory\n" in p.stderr, p.stderr)


def output_errors():
    for args, what in (([HELLO], "a run"), (["-o"], "a listing")):
        with open("/dev/full", "wb") as full:
            p = run(args, stdout=full, stderr=subprocess.PIPE, capture_output=False)
        check(what + " with lost output fails and says why", p.returncode == 1 and
              p.stderr.endswith("\nError writing standard output: No space left on device\n"),
              p.stderr)


def stale_saves(d):
    src = os.path.join(d, "prog.qv")
    with open(HELLO, "rb") as f, open(src, "wb") as g:
        g.write(f.read())
    left = ["prog.cp.qvsave-Ab12Zq", "prog.cp.qvsave-000000"]
    kept = ["prog.cp.qvsave-toolong", "prog.cp.qvsave-ab", "other.cp.qvsave-Ab12Zq",
            "prog.cpx.qvsave-Ab12Zq", "prog.cp.backup", "prog.cp.Ab12Zq"]
    for name in left + kept:
        open(os.path.join(d, name), "w").close()
    p = run([src, "-cp"])
    names = sorted(os.listdir(d))
    check("a save removes what killed saves of its target left, and only that",
          p.returncode == 1 and "prog.cp" in names and not set(left) & set(names)
          and set(kept) <= set(names), names)


def is_png(path):
    with open(path, "rb") as f:
        return f.read(8) == b"\x89PNG\r\n\x1a\n"


def write_targets(d):
    """What a picture or a save replaces: links are followed, a file that is
    no regular one is written in place, never replaced; long names fit."""
    src = os.path.join(d, "written.qv")
    with open(src, "w") as f:
        f.write('color 255 0 0; line 0 0 10 10; puts "drawn";\n')
    real, link = os.path.join(d, "real.png"), os.path.join(d, "link.png")
    open(real, "w").close()
    os.symlink("real.png", link)
    p = run([src], env=env(QV_PICTURE=link))
    check("a picture through a link replaces the file it names, the link stays",
          p.returncode == 1 and os.path.islink(link) and is_png(real), p.stderr)
    fifo = os.path.join(d, "pipe.png")
    os.mkfifo(fifo)
    p = run([src], env=env(QV_PICTURE=fifo), timeout=20)
    check("a pipe that no one reads is reported and stays a pipe",
          p.returncode == 1 and "drawn\n" in p.stdout and stat.S_ISFIFO(os.stat(fifo).st_mode)
          and "Cannot write picture %s: No such device or address\n" % fifo in p.stderr, p.stderr)
    reader = subprocess.Popen(["cat", fifo], stdout=subprocess.PIPE)
    time.sleep(0.2)  # cat opens the pipe
    p = run([src], env=env(QV_PICTURE=fifo), timeout=20)
    got = reader.communicate(timeout=20)[0]
    check("a pipe with a reader gets the picture",
          p.returncode == 1 and "Cannot" not in p.stderr and got.startswith(b"\x89PNG"), p.stderr)
    # A reader that leaves early: a picture of noise is larger than what
    # the pipe holds, so the write fails under way; qvrun says so and goes on.
    noise = os.path.join(d, "noise.qv")
    with open(noise, "w") as f:
        f.write("int x; int y;\nfor y 0 271 1 { for x 0 479 1 {"
                " pixel (random 256) (random 256) (random 256) x y } };\n"
                'flush; puts "after";\n')
    reader = subprocess.Popen(["head", "-c", "10", fifo], stdout=subprocess.DEVNULL)
    time.sleep(0.2)
    p = run([noise], env=env(QV_PICTURE=fifo), timeout=60)
    reader.wait(timeout=20)
    check("a pipe whose reader leaves: reported once, the run goes on",
          p.returncode == 1 and "after\n" in p.stdout and p.stderr.count("Cannot write") == 1
          and "Cannot write picture %s: " % fifo in p.stderr and "libpng" not in p.stderr,
          p.stderr)
    # A run that never started records no picture over an older one.
    with open(real, "rb") as f:
        before = f.read()
    bad = os.path.join(d, "bad.qv")
    with open(bad, "w") as f:
        f.write("puts (1 +);\n")
    for args in ([bad], [os.path.join(d, "missing.qv")]):
        p = run(args, env=env(QV_PICTURE=real))
        with open(real, "rb") as f:
            check("no run, no picture: %s leaves the older one" % os.path.basename(args[0]),
                  p.returncode == 1 and f.read() == before, p.stdout + p.stderr)
    # Saves: through a link, and a name as long as a name may be, whose
    # temporary file's name is cut short to fit.
    os.symlink("real.cp", os.path.join(d, "written.cp"))
    p = run([src, "-cp"])
    check("a save through a link replaces the file it names, the link stays",
          p.returncode == 1 and os.path.islink(os.path.join(d, "written.cp"))
          and run([os.path.join(d, "written.cp")]).stdout.count("drawn\n") == 1, p.stderr)
    long = os.path.join(d, "n" * 250)
    with open(long + ".qv", "w") as f:
        f.write('color 0 0 255; line 0 0 5 5; puts "long";\n')
    stale = "n" * 241 + ".qvsave-Ab12Zq"  # 255 letters
    open(os.path.join(d, stale), "w").close()
    p = run([long + ".qv", "-cp"], env=env(QV_PICTURE=long + ".png"))
    check("a name of 253 letters saves and draws; its cut-short stale temporary goes",
          p.returncode == 1 and "long\n" in p.stdout and "Cannot" not in p.stderr
          and is_png(long + ".png") and os.path.exists(long + ".cp")
          and not os.path.exists(os.path.join(d, stale))
          and not [n for n in os.listdir(d)
                   if n.startswith("nnn") and (".qvpic-" in n or ".qvsave-" in n)],
          p.stdout + p.stderr)


def timeless(text):
    return re.sub(r"speed [^\n]*", "", re.sub(r"Execution time [0-9.]+ sec", "", text))


# Off screen a run loads the window library only for a program whose
# operations need it, and prints the same as the run that makes its
# window at start (a picture file asks for that one).
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
        runs = [src]
        if name != "error":
            run([src, "-cp"])
            runs.append(os.path.join(d, name + ".cp"))
        for prog in runs:
            what = "%s (%s)" % (name, os.path.basename(prog))
            p = run([prog], env=env(QT_QPA_PLATFORM="offscreen", LD_DEBUG="files"))
            check("%s: the window library loads only when needed, Qt only with it" % what,
                  ("libqvwindow.so" in p.stderr) == needs and (needs or "libQt6" not in p.stderr))
            w = run([prog], env=env(QV_PICTURE=os.path.join(d, name + ".png")))
            check("%s: the same output as with the window at start" % what,
                  timeless(p.stdout) == timeless(w.stdout) and p.returncode == w.returncode,
                  p.stdout + "\n----\n" + w.stdout)


# Off screen, a locale that behaves as "C" is not loaded; the window's
# toolkit loads the user's locale whatever it is. Both print the same.
def locales(d):
    src = os.path.join(d, "numbers.qv")
    with open(src, "w") as f:
        f.write('float f 2.5; puts (f * 3) " " (sqrt 2) " " 1e30; puts (1 / 0);\n')
    for settings in ({"LANG": "C.UTF-8"}, {"LC_ALL": "POSIX"}, {"LANG": "C.UTF-8", "LANGUAGE": "de"},
                     {"LC_ALL": "C.utf8", "LC_NUMERIC": "C"}, {"LANG": "qv_NOWHERE.UTF-8"}):
        p = run([src], env=env(**settings))
        w = run([src], env=env(QV_PICTURE=os.path.join(d, "numbers.png"), **settings))
        check("locale %s: the same output off screen as with the window" % settings,
              timeless(p.stdout) == timeless(w.stdout) and p.returncode == w.returncode == 1
              and "7.500000" in p.stdout, p.stdout + "\n----\n" + w.stdout)


with tempfile.TemporaryDirectory(prefix="qv_headless_") as folder:
    locales(folder)
    window_library(folder)
    display_fallback(folder)
    picture(folder)
    output_errors()
    stale_saves(folder)
    write_targets(folder)
finish()

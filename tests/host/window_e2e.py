#!/usr/bin/env python3
"""The window under a real X server: qvrun draws and flushes, the screen
shows the picture at the drawing area's place, and a key typed into the
window reaches the program's key handler.

    window_e2e.py QVRUN

Starts its own Xvfb and ends it; exits 77 (skipped) when Xvfb, ImageMagick's
import, xwininfo or xdotool is missing.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = os.path.join(HERE, "window", "draw_keys.qv")
SKIP = 77

BLACK, RED, GREEN, BLUE, YELLOW = (0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)


def start_xvfb():
    read_fd, write_fd = os.pipe()
    # No reset when the last client leaves: a reset drops every connection,
    # also that of a qvrun starting just as a probing xwininfo ends.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "640x480x24",
                             "-wr", "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        number = f.readline().strip()
    if not number:
        xvfb.kill()
        raise RuntimeError("Xvfb did not start")
    return xvfb, ":" + number


def find_window(env, deadline):
    """The id and screen position of qvrun's 500 x 292 top-level window."""
    pattern = re.compile(r'(0x[0-9a-f]+) "qvrun": \("qvrun" "qvrun"\)\s+500x292\+-?\d+\+-?\d+\s+'
                         r'\+(-?\d+)\+(-?\d+)')
    last = ""
    while time.time() < deadline:
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True,
                              text=True).stdout
        m = pattern.search(tree)
        if m:
            return m.group(1), int(m.group(2)), int(m.group(3))
        last = tree
        time.sleep(0.2)
    print(last)
    return None


def screenshot(env):
    data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=env,
                          capture_output=True).stdout
    # P6 header: magic, width, height, maximum, each followed by white space.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise RuntimeError("unexpected screenshot format %r" % fields)
    width = int(fields[1])
    pixels = data[pos + 1:]

    def at(x, y):
        i = 3 * (y * width + x)
        return tuple(pixels[i:i + 3])
    return at


def check(env, wx, wy, deadline):
    """Waits for the flushed picture, then checks it pixel by pixel."""
    ox, oy = wx + 10, wy + 10  # the drawing area inside the window
    while time.time() < deadline:
        at = screenshot(env)
        if at(ox + 10, oy + 10) == RED:
            break
        time.sleep(0.2)
    else:
        return ["the red point never reached the screen"]
    want = [
        ("red point", 10, 10, RED), ("beside it", 11, 10, BLACK),
        ("picture corner", 0, 0, BLACK), ("line start", 20, 100, GREEN),
        ("line middle", 120, 100, GREEN), ("line end", 220, 100, GREEN),
        ("past the line", 221, 100, BLACK), ("circle top", 350, 50, BLUE),
        ("circle left", 300, 100, BLUE), ("circle bottom", 350, 150, BLUE),
        ("circle centre", 350, 100, BLACK), ("last pixel", 479, 271, YELLOW),
        ("drawn after flush", 200, 200, BLACK),
    ]
    failures = []
    for what, x, y, colour in want:
        got = at(ox + x, oy + y)
        if got != colour:
            failures.append("%s at (%d, %d): %s, expected %s" % (what, x, y, got, colour))
    # The picture is 480 x 272: the window's own background lies around it.
    for what, x, y in [("left of the area", -1, 100), ("right of the area", 480, 271),
                       ("below the area", 479, 272), ("above the area", 10, -1)]:
        if at(ox + x, oy + y) == BLACK:
            failures.append("%s at (%d, %d) is black" % (what, x, y))
    return failures


def main():
    qvrun = os.path.abspath(sys.argv[1])
    missing = [t for t in ("Xvfb", "import", "xwininfo", "xdotool") if not shutil.which(t)]
    if missing:
        print("SKIP: %s not installed (scripts/install-deps.sh installs them)" % ", ".join(missing))
        return SKIP
    xvfb, display = start_xvfb()
    env = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY")}
    env["DISPLAY"] = display
    qv = None
    try:
        qv = subprocess.Popen([qvrun, os.path.basename(PROGRAM)], cwd=os.path.dirname(PROGRAM),
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.time() + 20
        found = find_window(env, deadline)
        if not found:
            print("qvrun's 500x292 window did not appear")
            return 1
        wid, wx, wy = found
        failures = check(env, wx, wy, deadline)
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], env=env, timeout=10)
        subprocess.run(["xdotool", "key", "q"], env=env, timeout=10)
        out, _ = qv.communicate(timeout=40)
        out = out.decode("latin-1")
        if "\nkey 113\n" not in out:
            failures.append("the key did not reach the handler:\n" + out)
        if qv.returncode != 1:
            failures.append("exit status %d, expected 1" % qv.returncode)
    finally:
        if qv and qv.poll() is None:
            qv.kill()
            qv.wait()
        xvfb.send_signal(signal.SIGTERM)
        xvfb.wait()
    print("\n".join(failures) if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

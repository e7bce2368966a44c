#!/usr/bin/env python3
"""The window under a real X server (an Xvfb of its own for each case):
the screen shows what was drawn before "flush" at the drawing area's
place, and a key typed into the window reaches the key handler. The
window manager's close request or a tool that destroys the window ends
the run with error 78, the X server going away with error 79; each keeps
the output printed so far. A server that resets as its last client
leaves, with other clients coming and going, still takes every run.

    window_e2e.py QVRUN

Exits 77 (skipped) when Xvfb, ImageMagick's import, xwininfo, xdotool or
libX11 is missing.
"""
import ctypes
import ctypes.util
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import qvhost  # noqa: E402
from qvhost import check  # noqa: E402

BLACK, RED, GREEN, BLUE, YELLOW = (0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)
CLOSED = "RUN-TIME error 78 (line %d): Window closed, run stopped\n"
LOST = "RUN-TIME error 79 (line %s): Display connection lost\n"


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


def wm_close(display, window):
    """What a window manager's close button sends: WM_DELETE_WINDOW."""
    x = ctypes.CDLL(ctypes.util.find_library("X11"))
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    d = x.XOpenDisplay(display.encode())
    ev = XEvent()
    ev.xclient.type = 33  # ClientMessage
    ev.xclient.window = window
    ev.xclient.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
    ev.xclient.format = 32
    ev.xclient.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
    x.XSendEvent(d, window, 0, 0, ctypes.byref(ev))
    x.XFlush(d)
    x.XCloseDisplay(d)


def screenshot(env):
    """(x, y) -> colour of the root window."""
    return qvhost.pixels(["import", "-window", "root", "-depth", "8", "ppm:-"], env)[1]


def draw_and_key(env, wid, wx, wy, xvfb):
    ox, oy = wx + 10, wy + 10  # the drawing area inside the window
    deadline = time.time() + 20
    at = screenshot(env)
    while at(ox + 10, oy + 10) != RED and time.time() < deadline:
        time.sleep(0.2)
        at = screenshot(env)
    for what, x, y, colour in [
            ("red point", 10, 10, RED), ("beside it", 11, 10, BLACK), ("corner", 0, 0, BLACK),
            ("line start", 20, 100, GREEN), ("line end", 220, 100, GREEN),
            ("past the line", 221, 100, BLACK), ("circle top", 350, 50, BLUE),
            ("circle left", 300, 100, BLUE), ("circle bottom", 350, 150, BLUE),
            ("circle centre", 350, 100, BLACK), ("last pixel", 479, 271, YELLOW),
            ("drawn after flush", 200, 200, BLACK)]:
        check("%s at (%d, %d)" % (what, x, y), at(ox + x, oy + y) == colour, at(ox + x, oy + y))
    # The picture is 480 x 272: the window's own background lies around it.
    for x, y in [(-1, 100), (480, 271), (479, 272), (10, -1)]:
        check("outside the area at (%d, %d) is not black" % (x, y), at(ox + x, oy + y) != BLACK)
    subprocess.run(["xdotool", "windowfocus", "--sync", str(wid)], env=env, timeout=10)
    subprocess.run(["xdotool", "key", "q"], env=env, timeout=10)


def key(env, wid, wx, wy, xvfb):
    subprocess.run(["xdotool", "windowfocus", "--sync", str(wid)], env=env, timeout=10)
    subprocess.run(["xdotool", "key", "q"], env=env, timeout=10)


def close(env, wid, wx, wy, xvfb):
    wm_close(env["DISPLAY"], wid)


def destroy(env, wid, wx, wy, xvfb):
    subprocess.run(["xdotool", "windowclose", str(wid)], env=env, timeout=10)


def server(env, wid, wx, wy, xvfb):
    qvhost.stop(xvfb)


def case(prog, end, want):
    xvfb, display = qvhost.start_xvfb()
    env = qvhost.env(DISPLAY=display)
    qv = subprocess.Popen([qvhost.qvrun(), os.path.join(HERE, "window", prog)], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    name = "%s, %s" % (prog, end.__name__)
    try:
        found = qvhost.find_window(env)
        if check(name + ": the 500x292 window appears", found):
            time.sleep(0.5)  # the program is in its loop
            end(env, *found, xvfb)
        out, _ = qv.communicate(timeout=30)
        out = out.decode("latin-1")
        check(name + ": ends with status 1", qv.returncode == 1, qv.returncode)
        check(name + ": prints\n" + "\n".join(want), all(w in out for w in want), out)
        if end is server:
            check(name + ": reports the lost display", LOST % 4 in out or LOST % "no location" in out, out)
    except subprocess.TimeoutExpired:
        check(name + ": qvrun still runs", False)
    finally:
        if qv.poll() is None:
            qv.kill()
            qv.wait()
        qvhost.stop(xvfb)


def resetting_server():
    """A server that resets whenever its last client leaves refuses
    connections for a moment while it does; with other programs coming and
    going, a qvrun starting then still finds its display."""
    xvfb, display = qvhost.start_xvfb(resets=True)
    env = qvhost.env(DISPLAY=display)
    others = subprocess.Popen(["sh", "-c", "while :; do xwininfo -root >/dev/null 2>&1; done"],
                              env=env)
    try:
        refused = []
        for i in range(25):
            p = qvhost.run([qvhost.HELLO], env=env)
            if "Cannot open display" in p.stderr or "Hello, world!" not in p.stdout:
                refused.append((i, p.stderr))
        check("a server that resets between other clients: every run finds the display",
              not refused, refused)
    finally:
        qvhost.stop(others)
        qvhost.stop(xvfb)


qvhost.need_tools("Xvfb", "import", "xwininfo", "xdotool")
if not ctypes.util.find_library("X11"):
    sys.exit(qvhost.SKIP)
case("draw_keys.qv", draw_and_key, ["\nkey 113\n"])
case("pump_call.qv", close, ["\nwaiting\n", CLOSED % 4 + "\nloop { processevents; i += 1 };\n      ^\n"])
case("pump_blocks.qv", close, ["\nwaiting\n", CLOSED % 5 + "\nloop { i += 1 };\n      ^\n"])
case("pump_call.qv", destroy, ["\nwaiting\n", CLOSED % 4])
case("pump_call.qv", server, ["\nwaiting\n"])
case("ended_handler.qv", key,
     ["\nwaiting\n", "RUN-TIME error 60 (line no location): Variable or array not initialized\n"])
resetting_server()
qvhost.finish()

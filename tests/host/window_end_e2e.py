#!/usr/bin/env python3
"""Ends of a run that come from the window system, under a real X server:
the window manager's close request, a tool that destroys the window, and
the X server going away. Each ends the run with its report, keeps the
output printed so far, and ends the process.

    window_end_e2e.py QVRUN

Starts its own Xvfb servers; exits 77 (skipped) when Xvfb, xwininfo,
xdotool or libX11 is missing.
"""
import ctypes
import ctypes.util
import os
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from window_e2e import find_window, start_xvfb  # noqa: E402

SKIP = 77
BOUND = 30  # seconds for the window to appear and for the run to end
CLOSED = "RUN-TIME error 78 (line %d): Window closed, run stopped\n"
LOST = "RUN-TIME error 79 (line %s): Display connection lost\n"


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


def load_xlib():
    name = ctypes.util.find_library("X11")
    if not name:
        return None
    x = ctypes.CDLL(name)
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


def wm_close(xlib, display, window):
    """What a window manager's close button sends: WM_DELETE_WINDOW."""
    d = xlib.XOpenDisplay(display.encode())
    ev = XEvent()
    ev.xclient.type = 33  # ClientMessage
    ev.xclient.window = window
    ev.xclient.message_type = xlib.XInternAtom(d, b"WM_PROTOCOLS", 0)
    ev.xclient.format = 32
    ev.xclient.data[0] = xlib.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
    xlib.XSendEvent(d, window, 0, 0, ctypes.byref(ev))
    xlib.XFlush(d)
    xlib.XCloseDisplay(d)


def run_case(qvrun, prog, how, xlib):
    """Starts qvrun on its own Xvfb, ends the run `how`; (stdout, status) or a failure text."""
    xvfb, display = start_xvfb()
    env = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY")}
    env["DISPLAY"] = display
    qv = subprocess.Popen([qvrun, os.path.join(HERE, "window_end", prog)], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        found = find_window(env, time.time() + BOUND)
        if not found:
            qv.kill()
            out, _ = qv.communicate()
            return "%s: the window did not appear (status %s):\n%s" % (
                how, qv.returncode, out.decode("latin-1"))
        wid = int(found[0], 16)
        time.sleep(0.5)  # the program is in its loop
        if how == "close":
            wm_close(xlib, display, wid)
        elif how == "destroy":
            subprocess.run(["xdotool", "windowclose", str(wid)], env=env, timeout=10)
        else:
            xvfb.send_signal(signal.SIGTERM)
            xvfb.wait()
        try:
            out, _ = qv.communicate(timeout=BOUND)
        except subprocess.TimeoutExpired:
            return "%s: qvrun still runs after the window went" % how
        return out.decode("latin-1"), qv.returncode
    finally:
        if qv.poll() is None:
            qv.kill()
            qv.wait()
        if xvfb.poll() is None:
            xvfb.send_signal(signal.SIGTERM)
            xvfb.wait()


def main():
    qvrun = os.path.abspath(sys.argv[1])
    missing = [t for t in ("Xvfb", "xwininfo", "xdotool") if not shutil.which(t)]
    xlib = load_xlib()
    if missing or not xlib:
        print("SKIP: %s not installed" % ", ".join(missing or ["libX11"]))
        return SKIP
    cases = [
        ("pump_call.qv", "close", CLOSED % 4 + "\nloop { processevents; i += 1 };\n      ^\n"),
        ("pump_blocks.qv", "close", CLOSED % 5 + "\nloop { i += 1 };\n      ^\n"),
        ("pump_call.qv", "destroy", CLOSED % 4),
        ("pump_call.qv", "server", None),
    ]
    failures = []
    for prog, how, want in cases:
        got = run_case(qvrun, prog, how, xlib)
        if isinstance(got, str):
            failures.append(got)
            continue
        out, status = got
        name = "%s, %s" % (prog, how)
        if "\nwaiting\n" not in out:
            failures.append("%s: the output before the end was lost:\n%s" % (name, out))
        if want is None:
            if not (LOST % 4 in out or LOST % "no location" in out):
                failures.append("%s: no report of the lost display:\n%s" % (name, out))
        elif want not in out:
            failures.append("%s: expected\n%s\ngot\n%s" % (name, want, out))
        if status != 1:
            failures.append("%s: exit status %d, expected 1" % (name, status))
    print("\n".join(failures) if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

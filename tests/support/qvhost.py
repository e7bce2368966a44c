"""What the end-to-end scripts share: running qvrun, collecting failures,
an X server of their own, and a capture device that plays a file."""
import os
import re
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.dirname(HERE)
ROOT = os.path.dirname(TESTS)
HELLO = os.path.join(ROOT, "examples", "hello.qv")
SKIP = 77
failures = []


def env(**extra):
    """The environment without any screen, and `extra`; offscreen unless
    `extra` names a display."""
    e = {k: v for k, v in os.environ.items()
         if k not in ("QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QV_PICTURE")}
    if not any(k in extra for k in ("DISPLAY", "WAYLAND_DISPLAY", "QV_PICTURE")):
        e["QT_QPA_PLATFORM"] = "offscreen"
    e.update(extra)
    return e


def run(args, timeout=30, **kw):
    """qvrun (sys.argv[1]) with `args`; stdout and stderr as latin-1 text."""
    kw.setdefault("env", env())
    kw.setdefault("capture_output", True)
    p = subprocess.run([qvrun()] + args, timeout=timeout, **kw)
    for name in ("stdout", "stderr"):
        if isinstance(getattr(p, name), bytes):
            setattr(p, name, getattr(p, name).decode("latin-1"))
    return p


def qvrun():
    return os.path.abspath(sys.argv[1])


def check(name, cond, detail=""):
    if not cond:
        failures.append(name + (":\n" + str(detail) if detail != "" else ""))
    return cond


def finish():
    print("\n".join(failures) if failures else "ok")
    sys.exit(1 if failures else 0)


def pixels(cmd, env=None):
    """(width, height) and (x, y) -> (r, g, b) of the 8-bit PPM picture that
    `cmd` (ImageMagick's import or convert) writes to its output."""
    data = subprocess.run(cmd, env=env, capture_output=True, timeout=30).stdout
    magic, width, height, top = data.split(None, 4)[:4]
    if magic != b"P6" or top != b"255":
        raise ValueError("unexpected picture format")
    w, h = int(width), int(height)
    data = data[len(data) - 3 * w * h:]
    return (w, h), lambda x, y: tuple(data[3 * (y * w + x):3 * (y * w + x) + 3])


def need_tools(*tools):
    """Exits with SKIP when a tool is not installed."""
    missing = [t for t in tools if not shutil.which(t)]
    if missing:
        print("SKIP: %s not installed" % ", ".join(missing))
        sys.exit(SKIP)


def start_xvfb(resets=False):
    """(process, ":N") of a fresh Xvfb. Unless `resets`, it does not reset
    when its last client leaves, which a desktop's server never does."""
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "640x480x24",
                             "-wr", "-nolisten", "tcp"] + ([] if resets else ["-noreset"]),
                            pass_fds=(write_fd,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        number = f.readline().strip()
    if not number:
        xvfb.kill()
        raise RuntimeError("Xvfb did not start")
    return xvfb, ":" + number


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def find_window(display_env, bound=30):
    """(id, x, y) of qvrun's 500 x 292 top-level window, or None."""
    pattern = re.compile(r'(0x[0-9a-f]+) "qvrun": \("qvrun" "qvrun"\)\s+500x292\+-?\d+\+-?\d+\s+'
                         r'\+(-?\d+)\+(-?\d+)')
    deadline = time.time() + bound
    while time.time() < deadline:
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=display_env,
                              capture_output=True, text=True).stdout
        m = pattern.search(tree)
        if m:
            return int(m.group(1), 16), int(m.group(2)), int(m.group(3))
        time.sleep(0.2)
    return None


def capture_device(folder, infile):
    """An ALSA configuration whose "default" records the raw 16-bit stereo
    frames of `infile`; None for one without any device."""
    conf = os.path.join(folder, "asound.conf")
    with open(conf, "w") as f:
        if infile is None:
            f.write("# no devices at all\n")
        else:
            f.write('pcm.null { type null }\npcm.!default { type file slave.pcm "null" '
                    'file "/dev/null" infile "%s" format "raw" }\n' % infile)
    return conf


def tone(folder, frames=1 << 18):
    """A raw file: a sine of amplitude 10000.5 at bin 100 of a 4096-point
    transform on the left channel (rounded half away from zero), the
    constant -3 on the right."""
    import array
    import math
    samples = array.array("h")
    for t in range(frames):
        v = 10000.5 * math.sin(2 * math.pi * 100 * t / 4096)
        samples.append(int(math.copysign(math.floor(abs(v) + 0.5), v)))
        samples.append(-3)
    if sys.byteorder != "little":
        samples.byteswap()
    raw = os.path.join(folder, "tone.raw")
    with open(raw, "wb") as f:
        samples.tofile(f)
    return raw

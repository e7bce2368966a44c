#!/usr/bin/env python3
"""Runs one QV sound program through the golden runner, on the real ALSA
capture path: "default" plays a tone (see qvhost.tone), and programs whose
names begin with "nodevice" run without any device. Their start line
must say whether the device opened.

    sound_e2e.py QVRUN PROGRAM.qv
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import golden  # noqa: E402
import qvhost  # noqa: E402


prog = os.path.abspath(sys.argv[2])
with_device = not os.path.basename(prog).startswith("nodevice")
with tempfile.TemporaryDirectory(prefix="qv_sound_") as folder:
    env = qvhost.env(ALSA_CONFIG_PATH=qvhost.capture_device(
        folder, qvhost.tone(folder) if with_device else None))
    qvhost.failures += golden.run_program(qvhost.qvrun(), prog, env=env)
    out = qvhost.run([prog], env=env).stdout
qvhost.check("the open line says whether the device opened",
             ("input stream handler 0, error: " not in out and "error: none\n" in out)
             == with_device, out[:200])
qvhost.finish()

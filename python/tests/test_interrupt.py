"""Ctrl-C ends a long sweep within a second, with no thread left behind."""

import os
import signal
import subprocess
import sys
import textwrap
import time


import pytest


@pytest.mark.parametrize("jobs", [1, 2])
def test_keyboard_interrupt_ends_a_long_sweep(jobs):
    script = textwrap.dedent(f"""
        import sys, threading, quarnel
        print("started", flush=True)
        try:
            quarnel.sweep(vary={{"Vf": (0.005, 0.03, 100000)}}, jobs={jobs}, progress=False)
        except KeyboardInterrupt:
            print("interrupted", threading.active_count(), flush=True)
            sys.exit(0)
        sys.exit(1)
    """)
    process = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True,
                               env=os.environ.copy())
    assert process.stdout.readline().strip() == "started"
    time.sleep(1.0)
    sent = time.monotonic()
    process.send_signal(signal.SIGINT)
    out, _ = process.communicate(timeout=30)
    assert process.returncode == 0, out
    assert out.split() == ["interrupted", "1"]
    assert time.monotonic() - sent < 5

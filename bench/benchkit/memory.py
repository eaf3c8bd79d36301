"""Resident memory of this process, and running a measurement in a fresh one.

The peak is VmHWM from /proc/self/status, which execve resets, rather than
ru_maxrss: Linux carries ru_maxrss over from the parent through fork and
exec, so a child started by a large parent would begin with the parent's
peak and hide its own.
"""
from __future__ import annotations

import json
import os
import subprocess
import sys


def rss_now() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def rss_peak() -> int:
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    raise OSError("no VmHWM in /proc/self/status")


def growth(base_now: int, base_peak: int, after_now: int, after_peak: int) -> dict:
    return {"base_now": base_now, "base_peak": base_peak,
            "after_now": after_now, "after_peak": after_peak,
            # A peak from before the baseline (imports, input arrays) that
            # stays the highest would hide the measured step's own peak.
            "peak_hidden": after_peak == base_peak and base_peak > base_now + (1 << 20)}


def run_child(arguments: list[str]) -> dict | None:
    """Runs `python <arguments>` and returns the JSON object it prints last."""
    result = subprocess.run([sys.executable, *arguments], capture_output=True, text=True)
    if result.returncode != 0:
        print(f"  child {' '.join(arguments[1:])} failed:\n{result.stderr[-3000:]}",
              file=sys.stderr)
        return None
    return json.loads(result.stdout.strip().splitlines()[-1])

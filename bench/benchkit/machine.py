"""A description of the machine and software a run measured, for the report."""
from __future__ import annotations

import datetime
import os
import platform
import subprocess
import sys

from benchkit import peers
from benchkit.paths import REPO


def _proc_field(path: str, field: str) -> str | None:
    try:
        with open(path) as source:
            for line in source:
                if line.startswith(field):
                    return line.split(":", 1)[1].strip()
    except OSError:
        return None
    return None


def _memory() -> str:
    total = _proc_field("/proc/meminfo", "MemTotal")
    if total is None:
        return "unknown"
    return f"{int(total.split()[0]) / (1 << 20):.1f} GiB"


def _commit() -> str:
    try:
        head = subprocess.run(["git", "-C", str(REPO), "rev-parse", "--short", "HEAD"],
                              capture_output=True, text=True, check=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", str(REPO), "status", "--porcelain", "--", "src"],
                               capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown"
    return head + (" (src/ has uncommitted changes)" if dirty else "")


def _quiverlane_path() -> str:
    try:
        import quiverlane
    except ImportError:
        return "not importable"
    return os.path.relpath(quiverlane.__file__, REPO)


def describe() -> dict:
    libraries = {label: peers.version(name) or "not installed"
                 for name, label in peers.LIBRARIES.items()}
    for extra in ("numpy", "matplotlib"):
        libraries[extra] = peers.version(extra) or "not installed"
    return {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "cpu": _proc_field("/proc/cpuinfo", "model name") or platform.processor() or "unknown",
        "cores": os.cpu_count(),
        "memory": _memory(),
        "kernel": f"{platform.system()} {platform.release()}",
        "python": f"{platform.python_implementation()} {sys.version.split()[0]}",
        "quiverlane": f"{_quiverlane_path()}, commit {_commit()}",
        "libraries": libraries,
    }

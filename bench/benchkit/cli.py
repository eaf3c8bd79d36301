"""Options every suite shares, and the import of the module under test."""
from __future__ import annotations

import argparse
import sys

from benchkit import peers


def parser(description: str, repeats: int = 3) -> argparse.ArgumentParser:
    result = argparse.ArgumentParser(description=description)
    result.add_argument("--repeats", type=int, default=repeats,
                        help=f"timed runs per contender, best counts (default {repeats})")
    result.add_argument("--no-peers", action="store_true",
                        help="leave out the peer libraries")
    result.add_argument("--json", help="also save the figures and ratios to this file")
    return result


def import_quiverlane():
    """The module under test, or an exit that says how to build it."""
    try:
        import quiverlane
    except ImportError as error:
        sys.exit(f"cannot import quiverlane ({error}); build it with\n"
                 "  cmake -S . -B build-bench -G Ninja -DPython_EXECUTABLE=$(which python3)"
                 " && cmake --build build-bench\n"
                 "and run with PYTHONPATH=build-bench, or pip install the repository")
    return quiverlane


def start(args):
    """Imports quiverlane and applies --no-peers."""
    if args.no_peers:
        peers.disable_all()
    quiverlane = import_quiverlane()
    print(f"quiverlane: {quiverlane.__file__}", flush=True)
    return quiverlane

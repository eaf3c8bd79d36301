#!/usr/bin/env python3
"""Run every bench/bench_*.py in turn with default settings.

    python bench/run_all.py [NAME ...]

With names (e.g. `add_edge`), runs only bench_<NAME>.py.  Each benchmark
runs in its own interpreter, so one's memory does not weigh on the next.
Exits non-zero if any benchmark fails.
"""
import glob
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def main() -> int:
    scripts = sorted(glob.glob(os.path.join(HERE, "bench_*.py")))
    wanted = sys.argv[1:]
    if wanted:
        scripts = [s for s in scripts
                   if os.path.basename(s)[len("bench_"):-len(".py")] in wanted]
        if not scripts:
            print(f"no benchmark matches {' '.join(wanted)}", file=sys.stderr)
            return 2
    failed = []
    for script in scripts:
        name = os.path.basename(script)
        print(f"=== {name}", flush=True)
        start = time.perf_counter()
        code = subprocess.call([sys.executable, script])
        print(f"=== {name}: {'ok' if code == 0 else f'FAILED ({code})'}, "
              f"{time.perf_counter() - start:.0f} s\n", flush=True)
        if code != 0:
            failed.append(name)
    if failed:
        print("failed: " + ", ".join(failed), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

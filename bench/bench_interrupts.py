#!/usr/bin/env python3
"""How soon Ctrl-C ends a long call: SIGINT to KeyboardInterrupt out of it.

    python bench/bench_interrupts.py [--repeats 5] [--json PATH]

A child interpreter builds a 2000 x 2000 grid (4,000,000 vertices) and runs
components(), copy(), r_neighbours(0, 4294967295), edges() and
subgraph(all); this process sends SIGINT 50 ms into each call and the child
reports when the KeyboardInterrupt left the call. The figure per call is the
worst latency over the rounds, compared with the 0.5 s target (ratio below 1:
within it). The tests check that the interrupt ends the call inside it; how
fast lives here, where a loaded machine shows as noise and not as a failure.
"""
from __future__ import annotations

import argparse
import signal
import subprocess
import sys
import textwrap
import time

from benchkit.record import Recorder

TARGET = 0.5
CALLS = ["components", "copy", "r_neighbours", "edges", "subgraph"]

CHILD = r"""
import sys, time
from quiverlane import Graph

side = 2000
g = Graph()
for cell in range(side * side):
    if (cell + 1) % side:
        g.add_edge(cell, cell + 1)
    if cell + side < side * side:
        g.add_edge(cell, cell + side)
everything = g.vertices()
calls = {
    "components": g.components,
    "copy": g.copy,
    "r_neighbours": lambda: g.r_neighbours(0, 4294967295),
    "edges": g.edges,
    "subgraph": lambda: g.subgraph(everything),
}
for line in sys.stdin:
    name = line.strip()
    print("calling", flush=True)
    try:
        calls[name]()
        outcome = "returned"
    except KeyboardInterrupt:
        outcome = "interrupted"
    print(outcome, time.monotonic(), flush=True)
"""


def latencies(repeats: int) -> dict[str, list[float]]:
    child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(CHILD)],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    found: dict[str, list[float]] = {name: [] for name in CALLS}
    try:
        for _ in range(repeats):
            for name in CALLS:
                child.stdin.write(name + "\n")
                child.stdin.flush()
                assert child.stdout.readline() == "calling\n"
                time.sleep(0.05)
                sent = time.monotonic()
                child.send_signal(signal.SIGINT)
                outcome, when = child.stdout.readline().split()
                if outcome != "interrupted":
                    sys.exit(f"{name} returned before the signal: make the graph larger")
                found[name].append(float(when) - sent)
    finally:
        child.stdin.close()
        child.wait(timeout=60)
    return found


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--no-peers", action="store_true", help="accepted; no peer is measured")
    parser.add_argument("--json", help="also save the figures and ratios to this file")
    args = parser.parse_args()
    recorder = Recorder("interrupts", "SIGINT to KeyboardInterrupt out of a long call")
    recorder.figure("interrupt:target", "target latency", TARGET)
    print(f"{'call':<14}{'best':>10}{'worst':>10}  of {args.repeats}")
    for name, values in latencies(args.repeats).items():
        print(f"{name:<14}{min(values) * 1e3:>8.1f}ms{max(values) * 1e3:>8.1f}ms")
        key = f"interrupt:{name}"
        recorder.figure(key, f"worst latency, {name}()", max(values), runs=len(values))
        recorder.ratio("11 Ctrl-C latency (grid, 4M vertices)", f"{name}() / 0.5 s",
                       "latency/target", key, "interrupt:target", headline=True)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

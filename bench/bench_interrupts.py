#!/usr/bin/env python3
"""How soon Ctrl-C ends a long call: SIGINT to KeyboardInterrupt out of it.

    python bench/bench_interrupts.py [--repeats 5] [--json PATH]

A child interpreter loads a 3163 x 3163 grid (10,004,569 vertices and
20,002,812 edges, an edge-list file generated once into the cache) and runs
components(), copy(), r_neighbours(0, 4294967295), edges(), subgraph(all)
and vertices(); this process sends SIGINT 50 ms into each call and the child
reports when the KeyboardInterrupt left the call. The figure per call is the
worst latency over the rounds, compared with the 0.5 s target (ratio below 1:
within it). The tests check that the interrupt ends the call inside it; how
fast lives here, where a loaded machine shows as noise and not as a failure.

edges() is also interrupted late, at 60% of the time a whole edges() took just before (the
build varies from run to run, and a call that finishes first is not counted),
when most of the result is built: the call cannot end before the pairs made
so far are freed. That floor is measured beside it: the same number of the
same pairs, a finished edges() cut to that length, freed by the interpreter
(`del`). How many pairs the interrupted call had made comes from the
interpreter's count of allocated blocks, read in the signal handler (which
runs inside the call), against the count a whole edges() adds.
"""
from __future__ import annotations

import argparse
import signal
import subprocess
import sys
import textwrap
import time

from benchkit.paths import cache_dir, scratch_name
from benchkit.record import Recorder

TARGET = 0.5
SIDE = 3163
CALLS = ["components", "copy", "r_neighbours", "edges", "subgraph", "vertices"]
LATE = "edges-late"
LATE_AT = 0.6

CHILD = r"""
import gc, sys, time, signal
from quiverlane import Graph

g = Graph.from_file(sys.argv[1])
everything = g.vertices()
calls = {
    "components": g.components,
    "copy": g.copy,
    "r_neighbours": lambda: g.r_neighbours(0, 4294967295),
    "edges": g.edges,
    "subgraph": lambda: g.subgraph(everything),
    "vertices": g.vertices,
    "edges-late": g.edges,
}
blocks_at_signal = [0]

def handler(signum, frame):
    # Raises only inside a call, which holds the graph: a signal that comes
    # after the call returned is dropped.
    blocks = sys.getallocatedblocks()
    try:
        g.add_vertex(4294967295)
    except RuntimeError:
        blocks_at_signal[0] = blocks
        raise KeyboardInterrupt
    g.remove_vertex(4294967295)

signal.signal(signal.SIGINT, handler)
for line in sys.stdin:
    name = line.strip()
    delay = 0.05
    if name == "edges-late":
        gc.collect()
        start_blocks = sys.getallocatedblocks()
        started = time.perf_counter()
        whole = g.edges()
        delay = (time.perf_counter() - started) * float(sys.argv[2])
        whole_blocks = sys.getallocatedblocks() - start_blocks
        del whole
    gc.collect()
    before = sys.getallocatedblocks()
    print("calling", delay, flush=True)
    try:
        calls[name]()
        outcome = "returned"
    except KeyboardInterrupt:
        outcome = "interrupted"
    caught = time.monotonic()
    floor = 0.0
    if name == "edges-late" and outcome == "interrupted":
        made = round(g.num_edges() * (blocks_at_signal[0] - before) / whole_blocks)
        pairs = g.edges()
        del pairs[made:]
        started = time.perf_counter()
        del pairs
        floor = time.perf_counter() - started
    print(outcome, caught, floor, flush=True)
"""


def grid_file():
    """The grid as an edge list, ids row by row, written once into the cache."""
    path = cache_dir("graphs") / f"interrupt-grid-{SIDE}.txt"
    if not path.exists():
        scratch = scratch_name(path)
        with open(scratch, "w") as out:
            for row in range(SIDE):
                base = row * SIDE
                out.write("".join([f"{base + c} {base + c + 1}\n" for c in range(SIDE - 1)]))
                if row < SIDE - 1:
                    out.write("".join([f"{base + c} {base + c + SIDE}\n" for c in range(SIDE)]))
        scratch.replace(path)
    return path


def latencies(repeats: int) -> tuple[dict[str, list[float]], list[float]]:
    child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(CHILD), str(grid_file()), str(LATE_AT)],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    found: dict[str, list[float]] = {name: [] for name in CALLS + [LATE]}
    floors: list[float] = []
    try:
        for _ in range(repeats):
            for name in CALLS + [LATE]:
                child.stdin.write(name + "\n")
                child.stdin.flush()
                word, delay = child.stdout.readline().split()
                assert word == "calling", word
                time.sleep(float(delay))
                sent = time.monotonic()
                child.send_signal(signal.SIGINT)
                outcome, when, floor = child.stdout.readline().split()
                if outcome != "interrupted":
                    if name == LATE:
                        continue  # finished before the signal: no figure this round
                    sys.exit(f"{name} returned before the signal: make the graph larger")
                found[name].append(float(when) - sent)
                if name == LATE:
                    floors.append(float(floor))
    finally:
        child.stdin.close()
        child.wait(timeout=120)
    return found, floors


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--no-peers", action="store_true", help="accepted; no peer is measured")
    parser.add_argument("--json", help="also save the figures and ratios to this file")
    args = parser.parse_args()
    recorder = Recorder("interrupts", "SIGINT to KeyboardInterrupt out of a long call")
    recorder.figure("interrupt:target", "target latency", TARGET)
    print(f"{'call':<14}{'best':>10}{'worst':>10}  of {args.repeats}")
    found, floors = latencies(args.repeats)
    if not floors:
        sys.exit("edges() finished before the signal in every round")
    for name, values in found.items():
        print(f"{name:<14}{min(values) * 1e3:>8.1f}ms{max(values) * 1e3:>8.1f}ms")
        key = f"interrupt:{name}"
        what = "edges() at 60% built" if name == LATE else f"{name}()"
        recorder.figure(key, f"worst latency, {what}", max(values), runs=len(values))
        recorder.ratio("11 Ctrl-C latency (grid, 20M edges)", f"{what} / 0.5 s",
                       "latency/target", key, "interrupt:target", headline=True)
    # Round by round, the latency against freeing what that round had made.
    ratios = [late / floor for late, floor in zip(found[LATE], floors)]
    print(f"{'free floor':<14}{min(floors) * 1e3:>8.1f}ms{max(floors) * 1e3:>8.1f}ms"
          f"  (edges-late / floor: worst {max(ratios):.2f}x)")
    worst = max(range(len(ratios)), key=ratios.__getitem__)
    recorder.figure("interrupt:edges-late-round", "latency, edges() at 60%, worst round against its floor",
                    found[LATE][worst])
    recorder.figure("interrupt:free-floor", "freeing the same pairs with del, that round", floors[worst])
    recorder.ratio("11 Ctrl-C latency (grid, 20M edges)", "edges() at 60% / freeing its pairs",
                   "ours/floor", "interrupt:edges-late-round", "interrupt:free-floor", headline=True)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

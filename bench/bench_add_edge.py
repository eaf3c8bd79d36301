#!/usr/bin/env python3
"""Per-call time and memory per edge of building a graph through add_edge.

    python bench/bench_add_edge.py [--edges 2000000] [--repeats 3]

Builds a power-law graph (Chung-Lu, average degree about 10, vertex ids spread
over the whole u32 range) one edge at a time with the same Python loop

    for u, v in zip(us, vs):
        f(u, v)

for several choices of f, and prints one table:

  * time per call and its ratio to the same loop calling a no-op C method
    registered the way Graph.add_edge is (bench/noop/noop.c, compiled here
    at run time into bench/_noop/);
  * peak and retained resident-memory growth per edge, each structure built
    in a fresh subprocess whose baseline is taken after the edge arrays exist.

See bench/README.md for what each column means.
"""
from __future__ import annotations

import argparse
import array
import bisect
import gc
import importlib.util
import itertools
import json
import os
import platform
import random
import resource
import subprocess
import sys
import sysconfig
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CACHE = os.path.join(HERE, "_noop")
NOOP_SOURCE = os.path.join(HERE, "noop", "noop.c")

# Targets for Graph.add_edge.
TARGET_CALL_RATIO = 1.5     # loop time relative to the no-op C method loop
TARGET_PEAK_BYTES = 24.0    # peak RSS growth per edge

# A build slower than this is timed once instead of --repeats times.
SLOW_BUILD_SECONDS = 10.0

# Generator parameters.  Bump GENERATOR_VERSION whenever the generator's
# output changes, so stale cached edge files are not reused.
GENERATOR_VERSION = 1
AVERAGE_DEGREE = 10
POWER_LAW_EXPONENT = 2.5    # degree distribution P(k) ~ k^-2.5


# --------------------------------------------------------------------------
# The no-op extension


def build_noop() -> str:
    """Compile bench/noop/noop.c into the cache unless an up-to-date build exists."""
    suffix = sysconfig.get_config_var("EXT_SUFFIX") or ".so"
    target = os.path.join(CACHE, "_qlnoop" + suffix)
    if (os.path.exists(target)
            and os.path.getmtime(target) >= os.path.getmtime(NOOP_SOURCE)):
        return target
    os.makedirs(CACHE, exist_ok=True)
    compiler = os.environ.get("CC") or sysconfig.get_config_var("CC") or "cc"
    compiler = compiler.split()[0]
    include = sysconfig.get_paths()["include"]
    platinclude = sysconfig.get_paths()["platinclude"]
    scratch = f"{target}.{os.getpid()}.tmp"
    cmd = [compiler, "-shared", "-fPIC", "-O2", "-I", include, "-I", platinclude,
           NOOP_SOURCE, "-o", scratch]
    result = subprocess.run(cmd, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("building the no-op module failed:\n  " + " ".join(cmd)
                 + "\n" + result.stdout + result.stderr)
    os.replace(scratch, target)  # atomic: concurrent runs never see half a file
    return target


def load_noop():
    path = build_noop()
    module_spec = importlib.util.spec_from_file_location("_qlnoop", path)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


# --------------------------------------------------------------------------
# The input graph


def generate_edges(edges: int, seed: int):
    """A simple power-law graph with `edges` distinct edges and no loops.

    Chung-Lu: vertex i (0 <= i < n) has weight (i + 1) ** -(1 / (gamma - 1)),
    and each edge joins two endpoints drawn independently in proportion to
    weight; loops and repeated pairs are redrawn.  The n vertex indices are
    then mapped to n distinct ids drawn uniformly from the whole u32 range,
    so ids carry no locality.  Returns (us, vs) as array('I').
    """
    rng = random.Random(seed)
    n = max(2, round(2 * edges / AVERAGE_DEGREE))
    alpha = 1.0 / (POWER_LAW_EXPONENT - 1.0)
    cumulative = list(itertools.accumulate((i + 1) ** -alpha for i in range(n)))
    total = cumulative[-1]
    rand = rng.random
    bisect_right = bisect.bisect_right

    seen = set()
    us = array.array("I")
    vs = array.array("I")
    while len(us) < edges:
        a = bisect_right(cumulative, rand() * total)
        b = bisect_right(cumulative, rand() * total)
        if a == b:
            continue
        key = a * n + b if a < b else b * n + a
        if key in seen:
            continue
        seen.add(key)
        us.append(a)
        vs.append(b)
    del seen

    ids = rng.sample(range(1 << 32), n)
    us = array.array("I", [ids[a] for a in us])
    vs = array.array("I", [ids[b] for b in vs])
    return us, vs


def edge_file(edges: int, seed: int) -> str:
    return os.path.join(CACHE, f"edges-v{GENERATOR_VERSION}-{edges}-{seed}.bin")


def ensure_edges(edges: int, seed: int) -> str:
    """Generate the edge arrays once and keep them in the cache."""
    path = edge_file(edges, seed)
    if not os.path.exists(path):
        os.makedirs(CACHE, exist_ok=True)
        us, vs = generate_edges(edges, seed)
        scratch = f"{path}.{os.getpid()}.tmp"
        with open(scratch, "wb") as out:
            us.tofile(out)
            vs.tofile(out)
        os.replace(scratch, path)
    return path


def load_edges(path: str, edges: int):
    us = array.array("I")
    vs = array.array("I")
    with open(path, "rb") as src:
        us.fromfile(src, edges)
        vs.fromfile(src, edges)
    return us, vs


def describe_edges(us, vs) -> dict:
    degree = {}
    for x in itertools.chain(us, vs):
        degree[x] = degree.get(x, 0) + 1
    return {"vertices": len(degree), "max_degree": max(degree.values()),
            "max_id": max(max(us), max(vs))}


# --------------------------------------------------------------------------
# The structures under test
#
# Each maker returns (structure, f, count) where f(u, v) inserts one edge and
# count(structure) returns the number of edges, checked after every build.
# A maker returns None when its library is not installed.


def make_empty():
    return None, None, None


def make_noop():
    noop = load_noop().Noop()
    return noop, noop.add_edge, None


def make_noop_convert():
    noop = load_noop().Noop()
    return noop, noop.add_edge_convert, None


def make_noop_noargs():
    noop = load_noop().Noop()
    return noop, noop.noargs, None


def make_quiverlane():
    import quiverlane
    g = quiverlane.Graph()
    return g, g.add_edge, lambda g: g.num_edges()


def make_dict_of_sets():
    adj = {}

    def add_edge(u, v):
        adj.setdefault(u, set()).add(v)
        adj.setdefault(v, set()).add(u)

    return adj, add_edge, lambda adj: sum(map(len, adj.values())) // 2


def make_networkx():
    try:
        import networkx
    except ImportError:
        return None
    g = networkx.Graph()
    return g, g.add_edge, lambda g: g.number_of_edges()


def make_rustworkx():
    # PyGraph numbers its nodes itself, so u32 ids need a dict from id to
    # node index; multigraph=False makes a repeated edge a no-op, as ours is.
    try:
        import rustworkx
    except ImportError:
        return None
    g = rustworkx.PyGraph(multigraph=False)
    index = {}
    add_node = g.add_node
    add = g.add_edge

    def add_edge(u, v):
        a = index.get(u)
        if a is None:
            a = index[u] = add_node(u)
        b = index.get(v)
        if b is None:
            b = index[v] = add_node(v)
        add(a, b, None)

    return (g, index), add_edge, lambda s: s[0].num_edges()


def make_networkit():
    # Dense node ids again need a dict; checkMultiEdge=True keeps the graph
    # simple, as ours is.
    try:
        import networkit
    except ImportError:
        return None
    g = networkit.Graph(0)
    index = {}
    add_node = g.addNode
    add = g.addEdge

    def add_edge(u, v):
        a = index.get(u)
        if a is None:
            a = index[u] = add_node()
        b = index.get(v)
        if b is None:
            b = index[v] = add_node()
        add(a, b, checkMultiEdge=True)

    return (g, index), add_edge, lambda s: s[0].numberOfEdges()


# name -> (maker, loop kind, label, note)
STRUCTURES = {
    "empty": (make_empty, "empty", "empty loop (no call)", "reference"),
    "noop_noargs": (make_noop_noargs, "noargs", "no-op C f() NOARGS", "reference"),
    "noop": (make_noop, "call", "no-op C f(u, v)", "baseline"),
    "noop_convert": (make_noop_convert, "call", "no-op C + 2x u32 convert", "reference"),
    "quiverlane": (make_quiverlane, "call", "quiverlane Graph.add_edge", "target"),
    "quiverlane_hot": (make_quiverlane, "call", "quiverlane, 128 ids (hot)", "reference"),
    "dict_of_sets": (make_dict_of_sets, "call", "Python dict of sets", ""),
    "networkx": (make_networkx, "call", "networkx Graph.add_edge", ""),
    "rustworkx": (make_rustworkx, "call", "rustworkx PyGraph + id dict", "Python id map"),
    "networkit": (make_networkit, "call", "networkit Graph + id dict", "Python id map"),
}
# Rows fed the ids reduced to HOT_IDS values: a store that stays in cache and
# mostly sees repeated edges, so the row shows the call path's own cost apart
# from the cache misses of a large graph.
HOT_ROWS = ("quiverlane_hot",)
PEER_ROWS = ("networkx", "rustworkx", "networkit")
HOT_IDS = 128
MEMORY_ROWS = ("noop", "quiverlane", "dict_of_sets", "networkx", "rustworkx", "networkit")


# --------------------------------------------------------------------------
# The loops.  One function per shape so each runs with fast locals.


def loop_call(f, us, vs):
    for u, v in zip(us, vs):
        f(u, v)


def loop_noargs(f, us, vs):
    for u, v in zip(us, vs):
        f()


def loop_empty(f, us, vs):
    for u, v in zip(us, vs):
        pass


LOOPS = {"call": loop_call, "noargs": loop_noargs, "empty": loop_empty}


def timed_build(name, us, vs):
    """Build one structure from scratch; returns seconds, or None if unavailable."""
    maker, kind, _, _ = STRUCTURES[name]
    made = maker()
    if made is None:
        return None
    structure, f, count = made
    loop = LOOPS[kind]
    gc.collect()
    gc.disable()  # as timeit does: no collector passes inside the timed loop
    try:
        start = time.perf_counter()
        loop(f, us, vs)
        elapsed = time.perf_counter() - start
    finally:
        gc.enable()
    if count is not None and name not in HOT_ROWS and count(structure) != len(us):
        sys.exit(f"{name}: built {count(structure)} edges, expected {len(us)}")
    del structure, f, made
    gc.collect()
    return elapsed


# --------------------------------------------------------------------------
# Memory: one fresh process per structure


def rss_now() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def rss_peak() -> int:
    """Peak RSS of this process image: VmHWM, which execve resets.

    ru_maxrss is not used for the figures: Linux carries it over from the
    parent through fork and exec, so a child started by a large parent
    begins with the parent's peak and would hide its own.
    """
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    return rusage_peak()


def rusage_peak() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024  # KiB on Linux


def memory_child(name: str, path: str, edges: int) -> None:
    us, vs = load_edges(path, edges)
    maker, kind, _, _ = STRUCTURES[name]
    made = maker()  # imports the library and makes the empty structure
    if made is None:
        print(json.dumps(None))
        return
    structure, f, count = made
    loop = LOOPS[kind]
    gc.collect()
    gc.disable()  # as in the timed builds, so this build's time can stand in for one
    base_now, base_peak, base_rusage = rss_now(), rss_peak(), rusage_peak()
    start = time.perf_counter()
    loop(f, us, vs)
    seconds = time.perf_counter() - start
    after_now, after_peak, after_rusage = rss_now(), rss_peak(), rusage_peak()
    gc.enable()
    if count is not None and count(structure) != edges:
        sys.exit(f"{name}: built {count(structure)} edges, expected {edges}")
    print(json.dumps({
        "base_now": base_now, "base_peak": base_peak,
        "after_now": after_now, "after_peak": after_peak,
        "base_rusage": base_rusage, "after_rusage": after_rusage,
        "seconds": seconds,
    }))


def measure_memory(name: str, path: str, edges: int):
    cmd = [sys.executable, os.path.abspath(__file__), "--child", name,
           "--edges-file", path, "--edges", str(edges)]
    result = subprocess.run(cmd, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"memory run for {name} failed:\n{result.stderr}")
    return json.loads(result.stdout.strip().splitlines()[-1])


# --------------------------------------------------------------------------
# Driver


def versions() -> str:
    parts = [f"Python {platform.python_version()}"]
    for module in ("networkx", "rustworkx", "networkit"):
        try:
            parts.append(f"{module} {__import__(module).__version__}")
        except ImportError:
            parts.append(f"{module} absent")
    return ", ".join(parts)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--edges", type=int, default=2_000_000,
                        help="distinct edges to insert (default 2000000)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--repeats", type=int, default=3,
                        help="timed builds per structure; the best counts (default 3)")
    parser.add_argument("--no-peers", action="store_true",
                        help="skip networkx, rustworkx and networkit")
    parser.add_argument("--no-memory", action="store_true",
                        help="skip the memory subprocesses")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    parser.add_argument("--edges-file", help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.child:
        memory_child(args.child, args.edges_file, args.edges)
        return

    try:
        import quiverlane
    except ImportError as error:
        sys.exit(f"cannot import quiverlane ({error}); build it with\n"
                 "  cmake -S . -B build-bench -G Ninja -DPython_EXECUTABLE=$(which python3)"
                 " && cmake --build build-bench\n"
                 "and run with PYTHONPATH=build-bench, or pip install the repository")

    names = list(STRUCTURES)
    if args.no_peers:
        names = [n for n in names if n not in PEER_ROWS]

    started = time.perf_counter()
    load_noop()
    path = ensure_edges(args.edges, args.seed)
    us, vs = load_edges(path, args.edges)
    shape = describe_edges(us, vs)
    hot = (array.array("I", [u % HOT_IDS for u in us]),
           array.array("I", [v % HOT_IDS for v in vs]))
    print(f"graph: {args.edges} edges, {shape['vertices']} vertices, "
          f"max degree {shape['max_degree']}, largest id {shape['max_id']} "
          f"(Chung-Lu, gamma {POWER_LAW_EXPONENT}, seed {args.seed})")
    print(f"quiverlane: {quiverlane.__file__}")
    print(f"{versions()}; best of {args.repeats} (peers: 1), collector off while timed",
          flush=True)

    # Round-robin, so drift on a noisy machine hits every row alike.  To keep
    # the whole run within a few minutes, a structure whose build takes longer
    # than SLOW_BUILD_SECONDS is built once only, and the peers, far from our
    # figures anyway, are built once in all: their memory run is also timed.
    best = {}
    builds = {}
    memory = {}
    peers_timed_here = args.no_memory
    for _ in range(args.repeats):
        for name in names:
            if name in PEER_ROWS and not peers_timed_here:
                continue
            if name in best and (name in PEER_ROWS or best[name] > SLOW_BUILD_SECONDS):
                continue
            seconds = timed_build(name, *(hot if name in HOT_ROWS else (us, vs)))
            if seconds is None:
                continue
            best[name] = min(seconds, best.get(name, float("inf")))
            builds[name] = builds.get(name, 0) + 1

    if not args.no_memory:
        for name in names:
            if name in MEMORY_ROWS:
                result = measure_memory(name, path, args.edges)
                if result is None:
                    continue
                memory[name] = result
                if name in PEER_ROWS:
                    best[name] = result["seconds"]
                    builds[name] = 1
    names = [n for n in names if n in best]

    baseline = best["noop"]
    edges = args.edges
    header = (f"{'structure':<28} {'ns/call':>8} {'x no-op':>8} "
              f"{'peak B/edge':>12} {'kept B/edge':>12}  note")
    print()
    print(header)
    print("-" * len(header))
    for name in names:
        _, _, label, note = STRUCTURES[name]
        ns = best[name] / edges * 1e9
        ratio = best[name] / baseline
        peak = kept = ""
        if name in PEER_ROWS and not peers_timed_here:
            note += " (timed 1x, in its memory run)"
        elif builds[name] < args.repeats:
            note += f" (timed {builds[name]}x)"
        if name in memory:
            m = memory[name]
            peak = f"{(m['after_peak'] - m['base_now']) / edges:.1f}"
            kept = f"{(m['after_now'] - m['base_now']) / edges:.1f}"
            if m["base_peak"] - m["base_now"] > 1 << 20:
                note += " (baseline peak above current RSS: peak may be hidden)"
        print(f"{label:<28} {ns:8.1f} {ratio:8.2f} {peak:>12} {kept:>12}  {note}")

    print()
    ratio = best["quiverlane"] / baseline
    print(f"target: add_edge loop <= {TARGET_CALL_RATIO}x no-op loop: "
          f"{ratio:.2f}x  {'MET' if ratio <= TARGET_CALL_RATIO else 'NOT MET'}")
    if "quiverlane" in memory:
        m = memory["quiverlane"]
        peak = (m["after_peak"] - m["base_now"]) / edges
        print(f"target: peak memory growth <= {TARGET_PEAK_BYTES:.0f} B/edge: "
              f"{peak:.1f} B/edge  {'MET' if peak <= TARGET_PEAK_BYTES else 'NOT MET'}")
    print(f"(whole run {time.perf_counter() - started:.0f} s)")


if __name__ == "__main__":
    main()

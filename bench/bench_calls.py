#!/usr/bin/env python3
"""Per-call loops: add_edge, adjacent and degree against a no-op C method.

    python bench/bench_calls.py [--edges 2000000] [--repeats 3] [--no-peers]
                                [--no-memory] [--json PATH]

On the power-law graph (see benchkit/powerlaw.py) it times the same Python loops

    for u, v in zip(us, vs): f(u, v)        add_edge, adjacent
    for u in us: f(u)                       degree

for several choices of f, and prints one table:

  * the degree loop of each peer, `G.degree(u)` on its own graph of the same
    edges (ids renumbered 0..n-1), against ours, over the same first
    PEER_DEGREE_CALLS query vertices (rustworkx counts a vertex's edges, so
    its loop over all 2,000,000 would take minutes), as peer / ours;
  * time per call and its ratio to the same loop calling a no-op C method
    registered METH_VARARGS | METH_KEYWORDS, as Graph's methods with
    parameters are (bench/noop/noop.c, compiled at run time); the
    METH_FASTCALL no-op is kept as a second reference;
  * for the add_edge builds, peak and retained resident-memory growth per
    edge, each structure built in a fresh subprocess whose baseline is taken
    after the edge arrays exist.

See bench/README.md for what each row and column means.
"""
from __future__ import annotations

import argparse
import array
import gc
import itertools
import json
import sys
import time

from benchkit import cli, graphs, memory, native, peers, powerlaw
from benchkit.paths import BENCH
from benchkit.record import Recorder

# Targets for Graph.add_edge.
TARGET_CALL_RATIO = 1.5     # loop time relative to the no-op C method loop
TARGET_PEAK_BYTES = 24.0    # peak RSS growth per edge

# A loop slower than this is timed once instead of --repeats times.
SLOW_LOOP_SECONDS = 10.0
HOT_IDS = 128


def load_noop():
    return native.load_extension(BENCH / "noop" / "noop.c", "_qlnoop")


# --------------------------------------------------------------------------
# The structures under test
#
# Each maker returns (structure, f, count) where f is the callable the loop
# calls and count(structure) returns the number of edges after an add_edge
# build (None: nothing to check).  A maker returns None when its library is
# not installed.


def make_empty():
    return None, None, None


def make_noop(method: str):
    def make():
        noop = load_noop().Noop()
        return noop, getattr(noop, method), None
    return make


def make_quiverlane():
    import quiverlane
    g = quiverlane.Graph()
    return g, g.add_edge, lambda g: g.num_edges()


_built = {}


def built_graph():
    """One finished graph for the query loops, built once outside any clock."""
    if "graph" not in _built:
        import quiverlane
        us, vs = _built["edges"]
        graph = quiverlane.Graph()
        for u, v in zip(us, vs):
            graph.add_edge(u, v)
        _built["graph"] = graph
    return _built["graph"]


def make_query(method: str):
    def make():
        graph = built_graph()
        return graph, getattr(graph, method), None
    return make


def peer_graph(name: str):
    """The peer's graph of the power-law edges (dense ids), built once outside any clock."""
    key = f"peer:{name}"
    if key not in _built:
        _built[key] = peers.build(name, _built["edge_set"])
    return _built[key]


def make_peer_degree(name: str):
    # Each peer's G.degree(u), taken once as f as ours is; NetworkX's is a
    # DegreeView whose call with one node answers that node's degree.
    def make():
        graph = peer_graph(name)
        if graph is None:
            return None
        return graph, graph.degree, None
    return make


def check_peer_degrees(names, checked: int = 1000) -> None:
    """The peers' degrees of the first sampled vertices must be ours: the
    renumbering carries the same vertex to every library."""
    ours = built_graph().degree
    expected = [ours(u) for u in _built["sample"][0][:checked]]
    for name in names:
        if name not in DEGREE_PEER_ROWS:
            continue
        made = STRUCTURES[name][0]()
        if made is None:
            continue
        degree = made[1]
        got = [degree(u) for u in inputs(name)[0][:checked]]
        if got != expected:
            print(f"  MISMATCH: {name} degrees differ from ours on the first {checked} "
                  "sampled vertices", file=sys.stderr)


def make_dict_of_sets():
    adj = {}

    def add_edge(u, v):
        adj.setdefault(u, set()).add(v)
        adj.setdefault(v, set()).add(u)

    return adj, add_edge, lambda adj: sum(map(len, adj.values())) // 2


def make_networkx():
    networkx = peers.module("networkx")
    if networkx is None:
        return None
    g = networkx.Graph()
    return g, g.add_edge, lambda g: g.number_of_edges()


def make_rustworkx():
    # PyGraph numbers its nodes itself, so u32 ids need a dict from id to
    # node index; multigraph=False makes a repeated edge a no-op, as ours is.
    rustworkx = peers.module("rustworkx")
    if rustworkx is None:
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
    networkit = peers.module("networkit")
    if networkit is None:
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


# name -> (maker, loop kind, label, role)
STRUCTURES = {
    "empty": (make_empty, "empty", "empty loop (no call)", "reference"),
    "noop_noargs": (make_noop("noargs"), "noargs", "no-op C f() NOARGS", "reference"),
    "noop": (make_noop("varargs_keywords"), "pair", "no-op C f(u, v) VARARGS|KEYWORDS",
             "baseline"),
    "noop_fast": (make_noop("add_edge"), "pair", "no-op C f(u, v) FASTCALL", "reference"),
    "noop_convert": (make_noop("add_edge_convert"), "pair", "no-op C FASTCALL + 2x u32 convert",
                     "reference"),
    "quiverlane": (make_quiverlane, "pair", "quiverlane Graph.add_edge", "target"),
    "quiverlane_hot": (make_quiverlane, "pair", "quiverlane add_edge, 128 ids (hot)",
                       "reference"),
    "adjacent": (make_query("adjacent"), "pair", "quiverlane Graph.adjacent (all present)",
                 "target"),
    "noop_one": (make_noop("varargs_keywords"), "one", "no-op C f(u) VARARGS|KEYWORDS",
                 "baseline"),
    "noop_one_fast": (make_noop("add_edge"), "one", "no-op C f(u) FASTCALL", "reference"),
    "degree": (make_query("degree"), "one", "quiverlane Graph.degree", "target"),
    "degree_sample": (make_query("degree"), "sample", "quiverlane Graph.degree, peer sample",
                      "target"),
    "degree_networkit": (make_peer_degree("networkit"), "sample_dense",
                         "NetworKit G.degree(u), peer sample", "peer"),
    "degree_igraph": (make_peer_degree("igraph"), "sample_dense",
                      "igraph G.degree(u), peer sample", "peer"),
    "degree_rustworkx": (make_peer_degree("rustworkx"), "sample_dense",
                         "rustworkx G.degree(u), peer sample", "peer"),
    "degree_networkx": (make_peer_degree("networkx"), "sample",
                        "NetworkX G.degree(u), peer sample", "peer"),
    "dict_of_sets": (make_dict_of_sets, "pair", "Python dict of sets", "peer"),
    "networkx": (make_networkx, "pair", "networkx Graph.add_edge", "peer"),
    "rustworkx": (make_rustworkx, "pair", "rustworkx PyGraph + id dict", "peer"),
    "networkit": (make_networkit, "pair", "networkit Graph + id dict", "peer"),
}
# Each target's ratio rows: (row, target, VARARGS baseline, FASTCALL reference).
TARGETS = [
    ("8 add_edge loop, per call", "quiverlane", "noop", "noop_fast"),
    ("8 adjacent loop, per call", "adjacent", "noop", "noop_fast"),
    ("8 degree loop, per call", "degree", "noop_one", "noop_one_fast"),
]
# Rows fed the ids reduced to HOT_IDS values: a store that stays in cache and
# mostly sees repeated edges, so the row shows the call path's own cost apart
# from the cache misses of a large graph.
HOT_ROWS = ("quiverlane_hot",)
PEER_ROWS = ("networkx", "rustworkx", "networkit")
# The peers' degree loops, timed in the round-robin like ours, over the first
# PEER_DEGREE_CALLS query vertices (renumbered for the dense peers).
DEGREE_PEER_ROWS = ("degree_networkit", "degree_igraph", "degree_rustworkx", "degree_networkx")
PEER_DEGREE_CALLS = 100_000
MEMORY_ROWS = ("noop", "quiverlane", "dict_of_sets", "networkx", "rustworkx", "networkit")


# --------------------------------------------------------------------------
# The loops.  One function per shape so each runs with fast locals.


def loop_pair(f, us, vs):
    for u, v in zip(us, vs):
        f(u, v)


def loop_one(f, us, vs):
    for u in us:
        f(u)


def loop_noargs(f, us, vs):
    for u, v in zip(us, vs):
        f()


def loop_empty(f, us, vs):
    for u, v in zip(us, vs):
        pass


LOOPS = {"pair": loop_pair, "one": loop_one, "sample": loop_one, "sample_dense": loop_one,
         "noargs": loop_noargs, "empty": loop_empty}


def inputs(name: str):
    """The (us, vs) a row's loop runs over."""
    if name in HOT_ROWS:
        return _built["hot"]
    kind = STRUCTURES[name][1]
    return _built[kind] if kind.startswith("sample") else _built["edges"]


def calls(name: str) -> int:
    return len(inputs(name)[0])


def timed_loop(name, us, vs):
    """Runs one loop (for add_edge: builds from scratch); seconds, or None if unavailable."""
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


def memory_child(name: str, edges: int, seed: int) -> None:
    us, vs = powerlaw.edge_arrays(edges, seed)
    maker, kind, _, _ = STRUCTURES[name]
    made = maker()  # imports the library and makes the empty structure
    if made is None:
        print(json.dumps(None))
        return
    structure, f, count = made
    loop = LOOPS[kind]
    gc.collect()
    gc.disable()  # as in the timed loops, so this build's time can stand in for one
    base_now, base_peak = memory.rss_now(), memory.rss_peak()
    start = time.perf_counter()
    loop(f, us, vs)
    seconds = time.perf_counter() - start
    result = memory.growth(base_now, base_peak, memory.rss_now(), memory.rss_peak())
    gc.enable()
    if count is not None and count(structure) != edges:
        sys.exit(f"{name}: built {count(structure)} edges, expected {edges}")
    result["seconds"] = seconds
    print(json.dumps(result))


# --------------------------------------------------------------------------
# Driver


def describe_edges(us, vs) -> dict:
    degree = {}
    for x in itertools.chain(us, vs):
        degree[x] = degree.get(x, 0) + 1
    return {"vertices": len(degree), "max_degree": max(degree.values()),
            "max_id": max(max(us), max(vs))}


def time_all(names, args):
    """Round-robin over the rows, so drift on a noisy machine hits every row alike.

    To keep the whole run within a few minutes, a loop slower than
    SLOW_LOOP_SECONDS runs once only, and the peers, far from our figures
    anyway, are timed in their memory run (which runs the same loop with the
    collector off as well) unless --no-memory.
    """
    best, runs = {}, {}
    for _ in range(args.repeats):
        for name in names:
            if name in PEER_ROWS and not args.no_memory:
                continue
            if name in best and (name in PEER_ROWS or best[name] > SLOW_LOOP_SECONDS):
                continue
            seconds = timed_loop(name, *inputs(name))
            if seconds is None:
                continue
            best[name] = min(seconds, best.get(name, float("inf")))
            runs[name] = runs.get(name, 0) + 1
    return best, runs


def measure_memory(names, args):
    results = {}
    for name in names:
        if name not in MEMORY_ROWS:
            continue
        result = memory.run_child([__file__, "--child", name, "--edges", str(args.edges),
                                   "--seed", str(args.seed)])
        if result is not None:
            results[name] = result
    return results


def print_table(names, best, runs, mem, args) -> None:
    edges = args.edges
    header = (f"{'structure':<36} {'ns/call':>8} {'x no-op':>8} "
              f"{'peak B/edge':>12} {'kept B/edge':>12}  note")
    print()
    print(header)
    print("-" * len(header))
    for name in names:
        _, kind, label, role = STRUCTURES[name]
        baseline = "noop" if kind in ("pair", "noargs", "empty") else "noop_one"
        note = role
        if name in PEER_ROWS and not args.no_memory:
            note += " (timed 1x, in its memory run)"
        elif runs.get(name, 1) < args.repeats:
            note += f" (timed {runs[name]}x)"
        peak = kept = ""
        if name in mem:
            m = mem[name]
            peak = f"{(m['after_peak'] - m['base_now']) / edges:.1f}"
            kept = f"{(m['after_now'] - m['base_now']) / edges:.1f}"
            if m["peak_hidden"]:
                note += " (baseline peak above current RSS: peak may be hidden)"
        per_call = best[name] / calls(name)
        print(f"{label:<40} {per_call * 1e9:8.1f} "
              f"{per_call / (best[baseline] / calls(baseline)):8.2f} "
              f"{peak:>12} {kept:>12}  {note}")


def record(names, best, runs, mem, args) -> Recorder:
    recorder = Recorder("calls", "Per-call loops against a no-op C method")
    for name in names:
        _, _, label, role = STRUCTURES[name]
        recorder.figure(name, label, best[name] / calls(name), runs=runs.get(name, 1),
                        note=role)
    for name, m in mem.items():
        recorder.figure(f"mem:{name}", f"{STRUCTURES[name][2]}, peak growth",
                        (m["after_peak"] - m["base_now"]) / args.edges, unit="B/edge")
    for row, target, baseline, fast in TARGETS:
        recorder.ratio(row, f"{STRUCTURES[target][2]} / no-op VARARGS|KEYWORDS", "ours/no-op",
                       target, baseline)
        recorder.ratio(row, f"{STRUCTURES[target][2]} / no-op FASTCALL", "ours/no-op",
                       target, fast, headline=False)
    for name in DEGREE_PEER_ROWS:
        if name in best:
            recorder.ratio("8 degree loop, per call", f"{STRUCTURES[name][2]} / ours",
                           "peer/ours", name, "degree_sample")
    for name in ("dict_of_sets", *PEER_ROWS):
        recorder.ratio("8 add_edge loop, per call", f"{STRUCTURES[name][2]} / ours",
                       "peer/ours", name, "quiverlane", headline=False)
    return recorder


def print_targets(best, mem, args) -> None:
    print()
    ratio = best["quiverlane"] / best["noop"]
    print(f"target: add_edge loop <= {TARGET_CALL_RATIO}x no-op loop: "
          f"{ratio:.2f}x  {'MET' if ratio <= TARGET_CALL_RATIO else 'NOT MET'}")
    if "quiverlane" in mem:
        m = mem["quiverlane"]
        peak = (m["after_peak"] - m["base_now"]) / args.edges
        print(f"target: peak memory growth <= {TARGET_PEAK_BYTES:.0f} B/edge: "
              f"{peak:.1f} B/edge  {'MET' if peak <= TARGET_PEAK_BYTES else 'NOT MET'}")


def versions() -> str:
    parts = [f"Python {sys.version.split()[0]}"]
    for name in ("networkx", "rustworkx", "networkit"):
        parts.append(f"{name} {peers.version(name) or 'absent'}")
    return ", ".join(parts)


def main() -> None:
    parser = cli.parser(__doc__.split("\n\n")[0])
    parser.add_argument("--edges", type=int, default=powerlaw.DEFAULT_EDGES,
                        help="distinct edges to insert (default 2000000)")
    parser.add_argument("--seed", type=int, default=powerlaw.DEFAULT_SEED)
    parser.add_argument("--no-memory", action="store_true",
                        help="skip the memory subprocesses")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.child:
        if args.no_peers:
            peers.disable_all()
        memory_child(args.child, args.edges, args.seed)
        return

    cli.start(args)
    names = [n for n in STRUCTURES
             if not (args.no_peers and n in (*PEER_ROWS, *DEGREE_PEER_ROWS))]
    started = time.perf_counter()
    load_noop()
    us, vs = powerlaw.edge_arrays(args.edges, args.seed)
    _built["edges"] = (us, vs)
    _built["edge_set"] = graphs.EdgeSet("power-law", us, vs)
    dense = _built["edge_set"].dense
    _built["sample"] = (us[:PEER_DEGREE_CALLS], vs[:PEER_DEGREE_CALLS])
    _built["sample_dense"] = (dense.us[:PEER_DEGREE_CALLS], dense.vs[:PEER_DEGREE_CALLS])
    shape = describe_edges(us, vs)
    _built["hot"] = (array.array("I", [u % HOT_IDS for u in us]),
                     array.array("I", [v % HOT_IDS for v in vs]))
    print(f"graph: {args.edges} edges, {shape['vertices']} vertices, "
          f"max degree {shape['max_degree']}, largest id {shape['max_id']} "
          f"(Chung-Lu, gamma {powerlaw.POWER_LAW_EXPONENT}, seed {args.seed})")
    print(f"{versions()}; best of {args.repeats} (peers: 1), collector off while timed",
          flush=True)

    built_graph()
    check_peer_degrees(names)
    best, runs = time_all(names, args)
    mem = {} if args.no_memory else measure_memory(names, args)
    for name in PEER_ROWS:
        if name in mem:
            best[name], runs[name] = mem[name]["seconds"], 1
    names = [n for n in names if n in best]

    print_table(names, best, runs, mem, args)
    print_targets(best, mem, args)
    recorder = record(names, best, runs, mem, args)
    recorder.context["graph"] = f"power-law {args.edges:,} edges, {shape['vertices']:,} vertices"
    recorder.save(args.json)
    print(f"(whole run {time.perf_counter() - started:.0f} s)")


if __name__ == "__main__":
    main()

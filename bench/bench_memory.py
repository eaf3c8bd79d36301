#!/usr/bin/env python3
"""Memory per vertex and per edge: the loaded graph and each Python result.

    python bench/bench_memory.py [--large EDGES] [--json PATH]

Every figure is measured in a fresh process (benchkit/memory.py): resident
memory (statm) and its peak (VmHWM) are read before and after one step, the
step's result still held. "peak" is the most the step needed on the way
and "kept" what its result keeps: free pages are handed back to the system
(glibc's malloc_trim) before each step, so that memory freed earlier is not
reused unseen, and after it, so that memory the step freed (the reader's
buffers, a set's outgrown tables) is not counted as kept. Graphs, all with ids scattered over u32:

  power-law  the 2,000,000-edge Chung-Lu graph of the other suites
             (about 396,000 vertices, average degree 10)
  grid       a 1000 x 1000 grid (1,000,000 vertices, 1,998,000 edges)
  sparse     71,000 random edges among 1,000,000 ids; loaded from its
             edge list it has the 132,000 ids with an edge, built with
             add_vertex it keeps the other 868,000 as isolated vertices
             (929,000 components)
  large-5    --large edges (default 20,000,000) of the same power-law
  large-10   model over a fifth and a tenth as many vertices: average
             degree 10 and 20 (benchkit/scale_graph.py; --large 0 leaves
             both out)

The loaded graph is measured on all five, whose edge-to-vertex ratios
differ (0.5 to 10), and a least-squares fit gives bytes per vertex and per
edge; the Python results on the power-law graph (components() also on the
sparse one). Last, each figure is set beside what
quiverlane_tools.estimate_memory(n, m, components) says, and the rule is
applied to 10**9 edges over 10**8 vertices.

Needs numpy (to_numpy_edges) and pyarrow (write_parquet, read_parquet);
rows whose library is missing are left out.
"""
from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import time
from pathlib import Path

from benchkit import graphs, memory, scale_graph
from benchkit.paths import cache_dir

# One child step: (graph, how it is made, what is measured).
LOADS = [("power-law", "file"), ("grid", "file"), ("sparse", "file"), ("large-5", "file"), ("large-10", "file")]
RESULTS = [
    ("power-law", "vertices"), ("power-law", "edges"), ("power-law", "neighbours"),
    ("power-law", "components"), ("sparse", "components"), ("power-law", "copy"),
    ("power-law", "subgraph"), ("power-law", "to_numpy_edges"),
    ("power-law", "write_parquet"), ("power-law", "read_parquet"),
]
WHAT = {
    "file": "Graph.from_file: the graph",
    "vertices": "vertices()",
    "edges": "edges()",
    "neighbours": "neighbours(u) for every u, all held",
    "components": "components()",
    "copy": "copy()",
    "subgraph": "subgraph(c), c a random half of the vertices",
    "to_numpy_edges": "to_numpy_edges(g)",
    "write_parquet": "write_parquet(g, dir)",
    "read_parquet": "read_parquet(dir)",
}


def edge_set(name: str) -> graphs.EdgeSet:
    if name == "power-law":
        return graphs.power_law()
    if name == "grid":
        return graphs.grid()
    return graphs.isolates()


def edge_file(name: str, large: int = 0) -> str:
    if name.startswith("large-"):
        return str(scale_graph.ensure_plain(large, large // int(name[len("large-"):]), 1))
    stems = {"power-law": "powerlaw-2000000-1", "grid": "grid-1000", "sparse": "isolates-1000000-71000"}
    return str(graphs.edge_list_files(edge_set(name), stems[name])["plain"])


def parquet_dir() -> str:
    return str(cache_dir("memory") / "power-law.parquet")


# --- in the child -------------------------------------------------------------


def trim() -> None:
    """Hands the allocator's free pages back to the system (glibc), so that
    memory freed before a step is neither counted as kept nor silently
    reused by the step."""
    try:
        import ctypes
        ctypes.CDLL("libc.so.6").malloc_trim(0)
    except (OSError, AttributeError):
        pass


def child(graph_name: str, step: str, path: str) -> None:
    import quiverlane

    if step == "to_numpy_edges":
        import numpy  # noqa: F401  loaded before the baseline
    if step in ("write_parquet", "read_parquet"):
        import pyarrow.compute  # noqa: F401  loaded before the baseline, as a user's session would have it
        import pyarrow.dataset  # noqa: F401
        import pyarrow.parquet  # noqa: F401
    import quiverlane_tools as tools

    if step in ("file", "read_parquet"):
        trim()
        base = (memory.rss_now(), memory.rss_peak())
        started = time.perf_counter()
        graph = quiverlane.Graph.from_file(path) if step == "file" else tools.read_parquet(path)
        seconds = time.perf_counter() - started
        peak = memory.rss_peak()
        trim()  # what the graph keeps, once what the load freed is handed back
        print(json.dumps(report(graph, base, (memory.rss_now(), peak), {"seconds": seconds})))
        return
    graph = quiverlane.Graph.from_file(path) if graph_name != "sparse" else \
        edge_set(graph_name).build_ours(quiverlane)
    extra = {}
    argument = None
    if step == "neighbours":
        argument = list(graph.vertices())
    elif step == "subgraph":
        import random
        everything = sorted(graph.vertices())
        argument = set(random.Random(1).sample(everything, len(everything) // 2))
    elif step == "write_parquet":
        argument = parquet_dir()
    trim()
    base = (memory.rss_now(), memory.rss_peak())
    started = time.perf_counter()
    if step == "vertices":
        result = graph.vertices()
    elif step == "edges":
        result = graph.edges()
    elif step == "neighbours":
        result = [graph.neighbours(u) for u in argument]
        extra["members"] = sum(map(len, result))
    elif step == "components":
        result = graph.components()
        extra["parts"] = len(result)
    elif step == "copy":
        result = graph.copy()
    elif step == "subgraph":
        result = graph.subgraph(argument)
        extra["result_n"], extra["result_m"] = result.num_vertices(), result.num_edges()
    elif step == "to_numpy_edges":
        result = tools.to_numpy_edges(graph)
    elif step == "write_parquet":
        result = tools.write_parquet(graph, argument)
        extra["bytes_on_disk"] = sum(f.stat().st_size for f in Path(argument).iterdir())
    extra["seconds"] = time.perf_counter() - started
    peak = memory.rss_peak()
    trim()  # what the result keeps, once what the step freed is handed back
    print(json.dumps(report(graph, base, (memory.rss_now(), peak), extra)))


def report(graph, base, after, extra) -> dict:
    return {"n": graph.num_vertices(), "m": graph.num_edges(),
            "resident": after[0] - base[0], "peak": max(after[1] - base[0], after[0] - base[0]),
            **extra}


LAUNCHER = """
import resource, subprocess, sys
done = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss if done.returncode == 0 else -1)
"""


def line_writer_peak(path: str) -> int | None:
    """Peak resident memory of read_parquet's line writer, run alone on the edge table.

    Started from a small launcher of its own: a child's ru_maxrss starts
    from its parent's peak, and RUSAGE_CHILDREN keeps the largest of every
    child waited for, so neither may be this process.
    """
    from quiverlane_tools import _parquet

    command = [sys.executable, _parquet.LINE_WRITER, os.path.join(path, "edges.parquet"), "edges"]
    done = subprocess.run([sys.executable, "-c", LAUNCHER, *command], capture_output=True, text=True)
    kib = int(done.stdout.strip() or -1)
    return kib * 1024 if kib > 0 else None


# --- in the parent ------------------------------------------------------------


def measure(graph_name: str, step: str, large: int) -> dict | None:
    needs = {"to_numpy_edges": "numpy", "write_parquet": "pyarrow", "read_parquet": "pyarrow"}
    if step in needs:
        try:
            __import__(needs[step])
        except ImportError:
            print(f"  {step}: {needs[step]} is not installed, left out", flush=True)
            return None
    path = parquet_dir() if step == "read_parquet" else edge_file(graph_name, large)
    print(f"  {graph_name}: {WHAT[step]} ...", flush=True)
    return memory.run_child([__file__, "--child", step, "--graph", graph_name, "--path", path])


def fit(rows: list[dict], key: str) -> tuple[float, float]:
    """Bytes per vertex and per edge that best explain rows[i][key] (least squares, no constant)."""
    snn = sum(r["n"] * r["n"] for r in rows)
    smm = sum(r["m"] * r["m"] for r in rows)
    snm = sum(r["n"] * r["m"] for r in rows)
    syn = sum(r[key] * r["n"] for r in rows)
    sym = sum(r[key] * r["m"] for r in rows)
    det = snn * smm - snm * snm
    return (syn * smm - sym * snm) / det, (sym * snn - syn * snm) / det


def estimated(estimate, step: str) -> str:
    """What estimate_memory says for a step, in MiB, where it says anything."""
    table = {"file": estimate.load, "vertices": estimate.vertices, "edges": estimate.edges,
             "components": estimate.components, "write_parquet": estimate.write_parquet,
             "read_parquet": estimate.read_parquet}
    return mib(table[step]) if step in table else ""


def mib(value: float) -> str:
    return f"{value / 2**20:,.1f}"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--large", type=int, default=20_000_000,
                        help="edges of the two large graphs (default 20,000,000; 0 for none)")
    parser.add_argument("--json", help="also save the raw figures to this file")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    parser.add_argument("--graph", help=argparse.SUPPRESS)
    parser.add_argument("--path", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.graph, args.child, args.path)
        return
    import quiverlane_tools as tools

    started = time.perf_counter()
    results = []
    for graph_name, step in LOADS + RESULTS:
        if (step == "read_parquet" and not os.path.isdir(parquet_dir())) or \
                (graph_name.startswith("large-") and not args.large):
            continue
        result = measure(graph_name, step, args.large)
        if result is not None:
            results.append({"graph": graph_name, "step": step, **result})
    writer_peak = line_writer_peak(parquet_dir()) if os.path.isdir(parquet_dir()) else None

    loads = [r for r in results if r["step"] == "file"]
    per_vertex, per_edge = fit(loads, "resident")
    peak_vertex, peak_edge = fit(loads, "peak")

    print("\nThe loaded graph (Graph.from_file)\n")
    print("| graph | n | m | peak MiB | kept MiB | peak B/edge | kept B/edge | estimate_memory().load MiB |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for r in loads:
        guess = tools.estimate_memory(r["n"], r["m"]).load
        print(f"| {r['graph']} | {r['n']:,} | {r['m']:,} | {mib(r['peak'])} | {mib(r['resident'])} "
              f"| {r['peak'] / r['m']:.1f} | {r['resident'] / r['m']:.1f} "
              f"| {mib(guess)} ({guess / r['peak'] - 1:+.0%}) |")
    print(f"\nfitted over all {len(loads)}: peak while loading {peak_vertex:.1f} B/vertex + "
          f"{peak_edge:.1f} B/edge; kept {per_vertex:.1f} B/vertex + {per_edge:.1f} B/edge")

    print("\nThe Python results, each held on top of the graph\n")
    print("| call | graph | kept MiB | peak MiB | kept bytes per | estimate_memory() MiB |")
    print("|---|---|---:|---:|---:|---:|")
    for r in results:
        if r["step"] == "file":
            continue
        count, unit = r["m"], "edge"
        label = WHAT[r["step"]]
        if r["step"] in ("vertices", "components"):
            count, unit = r["n"], "vertex"
        if r["step"] == "components":
            label += f" ({r['parts']:,} parts)"
        if r["step"] == "subgraph":
            label += f": {r['result_n']:,} vertices, {r['result_m']:,} edges"
            count = r["result_m"]
        if r["step"] == "neighbours":
            count, unit = r["members"], "member"
        guess = estimated(tools.estimate_memory(r["n"], r["m"], components=r.get("parts", 1)), r["step"])
        print(f"| {label} | {r['graph']} | {mib(r['resident'])} | {mib(r['peak'])} "
              f"| {r['resident'] / count:.1f} B/{unit} | {guess} |")
    print()
    for r in results:
        if r["step"] in ("write_parquet", "read_parquet"):
            disk = f", {r['bytes_on_disk'] / r['m']:.1f} B/edge on disk" if "bytes_on_disk" in r else ""
            print(f"{r['step']} on the {r['graph']} graph: {r['seconds']:.2f} s, "
                  f"peak {mib(r['peak'])} MiB{disk}")
    if writer_peak is not None:
        print(f"read_parquet's line writer (a child process) peaks at {mib(writer_peak)} MiB resident")
    big = tools.estimate_memory(10**8, 10**9)
    print(f"estimate_memory(10**8, 10**9): load {big.load / 1e9:.1f} GB, then components() "
          f"{big.components / 1e9:.1f} GB more ({(big.load + big.components) / 2**30:.1f} GiB in all), "
          f"vertices() {big.vertices / 1e9:.1f} GB, edges() {big.edges / 1e9:.1f} GB, "
          f"write_parquet {big.write_parquet / 1e9:.1f} GB more")
    print(f"\n(whole run {time.perf_counter() - started:.0f} s)")
    if args.json:
        Path(args.json).write_text(json.dumps({"results": results, "writer_peak": writer_peak}, indent=1))


if __name__ == "__main__":
    main()

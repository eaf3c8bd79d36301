#!/usr/bin/env python3
"""At scale: load, copy and components of a 100,000,000-edge graph, one process per library.

    python bench/bench_scale.py [--edges 100000000] [--seed 1] [--json PATH]
    (or: python bench/run_all.py --scale [--scale-edges N])

The input (benchkit/scale_graph.py) has about 20,000,000 vertices with u32
ids and skewed degrees; it is generated once into bench/_cache/scale/ (about
2 GB of text, plus a copy with dense ids).  quiverlane, rustworkx and igraph
each run in a fresh process, one after the other, so none pays for another's
memory:

  load        quiverlane Graph.from_file on the u32 file; rustworkx
              PyGraph.read_edge_list and igraph Graph.Read_Edgelist on the
              dense copy (both make one vertex per number up to the largest)
  copy        Graph.copy() / PyGraph.copy() / Graph.copy()
  components  Graph.components() / rustworkx.connected_components /
              Graph.connected_components()
  memory      peak resident growth per edge while loading (VmHWM after the
              load minus resident memory before it), and over the whole run

Each step runs once, with the collector on.  The full size needs most of a
24 GiB machine and tens of minutes; try --edges 5000000 first.
"""
from __future__ import annotations

import argparse
import json
import time

from benchkit import memory, peers, scale_graph
from benchkit.record import Recorder
from benchkit.table import print_suite

LIBRARIES = {
    "ours": ("quiverlane", None, "plain"),
    "rustworkx": ("rustworkx", "rustworkx", "dense"),
    "igraph": ("igraph", "igraph", "dense"),
}


def steps(name: str):
    """(load, copy, components, edge count) for one library."""
    if name == "ours":
        import quiverlane
        return (quiverlane.Graph.from_file, lambda g: g.copy(), lambda g: g.components(),
                lambda g: g.num_edges())
    if name == "rustworkx":
        rustworkx = peers.module("rustworkx")
        return (rustworkx.PyGraph.read_edge_list, lambda g: g.copy(),
                rustworkx.connected_components, lambda g: g.num_edges())
    igraph = peers.module("igraph")
    return (lambda path: igraph.Graph.Read_Edgelist(path, directed=False), lambda g: g.copy(),
            lambda g: g.connected_components(), lambda g: g.ecount())


def timed(step, *arguments):
    start = time.perf_counter()
    result = step(*arguments)
    return time.perf_counter() - start, result


def child(name: str, path: str) -> None:
    load, copy, components, count = steps(name)
    base_now, base_peak = memory.rss_now(), memory.rss_peak()
    result = {}
    result["load"], graph = timed(load, path)
    result["after_load"] = memory.growth(base_now, base_peak, memory.rss_now(),
                                         memory.rss_peak())
    result["edges"] = count(graph)
    result["copy"], duplicate = timed(copy, graph)
    del duplicate
    result["components"], parts = timed(components, graph)
    result["parts"] = len(parts)
    del parts
    result["overall"] = memory.growth(base_now, base_peak, memory.rss_now(), memory.rss_peak())
    print(json.dumps(result))


def record(recorder: Recorder, results: dict, edges: int) -> None:
    tag = f"{edges / 1e6:g}M"
    for name, result in results.items():
        label = LIBRARIES[name][0]
        for step in ("load", "copy", "components"):
            recorder.figure(f"{step}:{name}", f"{label} {step}", result[step])
        peak = (result["after_load"]["after_peak"] - result["after_load"]["base_now"]) / edges
        overall = (result["overall"]["after_peak"] - result["overall"]["base_now"]) / edges
        recorder.figure(f"mem:{name}", f"{label} load peak growth", peak, unit="B/edge")
        recorder.figure(f"mem-all:{name}", f"{label} peak growth over the whole run", overall,
                        unit="B/edge")
    peers_run = [name for name in results if name != "ours"]
    for step in ("load", "copy", "components"):
        for name in peers_run:
            label = LIBRARIES[name][0]
            recorder.ratio(f"scale {step} ({tag} edges)", f"{label} {step} / ours", "peer/ours",
                           f"{step}:{name}", f"{step}:ours")
    for name in peers_run:
        recorder.ratio(f"scale load peak memory ({tag} edges)", f"{LIBRARIES[name][0]} / ours",
                       "peer/ours mem", f"mem:{name}", "mem:ours")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--edges", type=int, default=100_000_000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--json", help="also save the figures and ratios to this file")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    parser.add_argument("--file", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.child, args.file)
        return
    started = time.perf_counter()
    print(f"generating (or reusing) the {args.edges:,}-edge files ...", flush=True)
    paths = scale_graph.ensure(args.edges, args.seed)
    print(f"  ready after {time.perf_counter() - started:.0f} s: {paths['plain']}", flush=True)
    recorder = Recorder("scale", f"At scale: {args.edges:,} edges, one process per library")
    recorder.context["file"] = (f"{paths['plain'].stat().st_size / 1e9:.2f} GB of u32 ids; "
                                f"dense copy {paths['dense'].stat().st_size / 1e9:.2f} GB")
    results = {}
    for name, (label, module, kind) in LIBRARIES.items():
        if module is not None and peers.module(module) is None:
            continue
        step_start = time.perf_counter()
        print(f"  {label} ...", flush=True)
        result = memory.run_child([__file__, "--child", name, "--file", str(paths[kind])])
        if result is None:
            recorder.note(f"{label} failed (see the log); no figures")
            continue
        if result["edges"] != args.edges:
            recorder.note(f"{label} read {result['edges']:,} edges, expected {args.edges:,}")
        results[name] = result
        print(f"    done in {time.perf_counter() - step_start:.0f} s "
              f"({result['parts']:,} components)", flush=True)
    record(recorder, results, args.edges)
    recorder.context["whole run"] = f"{time.perf_counter() - started:.0f} s"
    print_suite(recorder)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

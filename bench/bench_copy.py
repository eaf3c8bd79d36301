#!/usr/bin/env python3
"""Whole-graph work on the power-law graph: copy() and edges().

    python bench/bench_copy.py [--repeats 3] [--no-peers] [--json PATH]

copy() against each peer's own copy of its graph:
  igraph     Graph.copy()
  rustworkx  PyGraph.copy()
  NetworKit  Graph(G), the copy constructor
  NetworkX   G.copy()
edges() (a list of (u, v) tuples) against each peer's edge list and against
the result floor: the same list of tuples built from two u32 arrays in C.
  igraph     Graph.get_edgelist()        list of tuples
  rustworkx  PyGraph.edge_list()         a native EdgeList, no Python tuples
  NetworKit  list(Graph.iterEdges())     list of tuples
  NetworkX   list(G.edges())             list of tuples
"""
from __future__ import annotations

from benchkit import cli, floors, graphs, peers
from benchkit.record import Recorder
from benchkit.suite import FLOOR, OURS, PEER, Entry, measure
from benchkit.table import print_suite
from benchkit.timing import settle


def copy_entries(ours, theirs) -> list[Entry]:
    size = lambda g: (g.num_vertices(), g.num_edges())  # noqa: E731
    entries = [Entry("copy:ours", "quiverlane Graph.copy()", OURS, ours.copy, size)]
    if theirs.get("igraph") is not None:
        g = theirs["igraph"]
        entries.append(Entry("copy:igraph", "igraph Graph.copy()", PEER, g.copy,
                             lambda h: (h.vcount(), h.ecount())))
    if theirs.get("rustworkx") is not None:
        g = theirs["rustworkx"]
        entries.append(Entry("copy:rustworkx", "rustworkx PyGraph.copy()", PEER, g.copy,
                             lambda h: (h.num_nodes(), h.num_edges())))
    if theirs.get("networkit") is not None:
        g, networkit = theirs["networkit"], peers.module("networkit")
        entries.append(Entry("copy:networkit", "NetworKit Graph(G)", PEER,
                             lambda g=g: networkit.Graph(g),
                             lambda h: (h.numberOfNodes(), h.numberOfEdges())))
    if theirs.get("networkx") is not None:
        g = theirs["networkx"]
        entries.append(Entry("copy:networkx", "NetworkX G.copy()", PEER, g.copy,
                             lambda h: (h.number_of_nodes(), h.number_of_edges())))
    return entries


def edges_entries(ours, theirs) -> list[Entry]:
    us, vs = floors.pair_arrays(ours.edges())
    pair_list = floors.module().pair_list
    entries = [Entry("edges:ours", "quiverlane Graph.edges()", OURS, ours.edges, len),
               Entry("edges:floor", "floor: list of 2-tuples", FLOOR,
                     lambda: pair_list(us, vs), len)]
    if theirs.get("igraph") is not None:
        entries.append(Entry("edges:igraph", "igraph Graph.get_edgelist()", PEER,
                             theirs["igraph"].get_edgelist, len))
    if theirs.get("rustworkx") is not None:
        entries.append(Entry("edges:rustworkx", "rustworkx PyGraph.edge_list()", PEER,
                             theirs["rustworkx"].edge_list, len,
                             note="native EdgeList, no tuples"))
    if theirs.get("networkit") is not None:
        g = theirs["networkit"]
        entries.append(Entry("edges:networkit", "NetworKit list(G.iterEdges())", PEER,
                             lambda g=g: list(g.iterEdges()), len))
    if theirs.get("networkx") is not None:
        g = theirs["networkx"]
        entries.append(Entry("edges:networkx", "NetworkX list(G.edges())", PEER,
                             lambda g=g: list(g.edges()), len))
    return entries


def main() -> None:
    args = cli.parser(__doc__.splitlines()[0]).parse_args()
    quiverlane = cli.start(args)
    recorder = Recorder("copy", "Whole-graph copy and edge list")
    edge_set = graphs.power_law()
    ours = edge_set.build_ours(quiverlane)
    recorder.context["graph"] = f"{edge_set.name}, {edge_set.vertices:,} vertices"
    print(f"{edge_set.name}: {edge_set.vertices:,} vertices; building the peers' graphs",
          flush=True)
    theirs = peers.build_all(("igraph", "rustworkx", "networkit", "networkx"), edge_set)
    settle()
    measure(recorder, "1 copy (power-law 2M)", copy_entries(ours, theirs), args.repeats)
    measure(recorder, "1b edges() (power-law 2M)", edges_entries(ours, theirs), args.repeats)
    print_suite(recorder)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

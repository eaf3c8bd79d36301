#!/usr/bin/env python3
"""Whole-graph work on the power-law graph: copy(), edges() and vertices().

    python bench/bench_copy.py [--repeats 3] [--no-peers] [--json PATH]

copy() against each peer's own copy of its graph:
  igraph     Graph.copy()
  rustworkx  PyGraph.copy()
  NetworKit  Graph(G), the copy constructor
  NetworkX   G.copy()
edges() (a list of (u, v) tuples) against each peer's edge list and against
the result floors: the same pairs built from two u32 arrays in C, grouped by
first end with one int per group (best order, headline) and in our order.
  igraph     Graph.get_edgelist()        list of tuples
  rustworkx  PyGraph.edge_list()         a native EdgeList, no Python tuples
  NetworKit  list(Graph.iterEdges())     list of tuples
  NetworkX   list(G.edges())             list of tuples
vertices() (a set of ints) against each peer's vertex list and the floors: one
set of the same ids in the best order (headline) and in our order.
  igraph     Graph.vs.indices            list of ints
  rustworkx  PyGraph.node_indices()      a native NodeIndices, no Python ints
  NetworKit  list(Graph.iterNodes())     list of ints
  NetworkX   list(G)                     list of ints
Floor ratios include freeing the result, for ours and the floor alike.
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
    grouped_us, grouped_vs = floors.grouped_pairs(us, vs)
    floor = floors.module()
    entries = [Entry("edges:ours", "quiverlane Graph.edges()", OURS, ours.edges, len),
               Entry("edges:floor-best", "best-order floor: 2-tuples grouped by first end",
                     FLOOR, lambda: floor.grouped_pair_list(grouped_us, grouped_vs), len),
               Entry("edges:floor", "same-order floor: list of 2-tuples", FLOOR,
                     lambda: floor.pair_list(us, vs), len, headline=False)]
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


def vertices_entries(ours, theirs) -> list[Entry]:
    ids = floors.ids_of(ours.vertices())
    best = floors.best_order(ids)
    int_set = floors.module().int_set
    entries = [Entry("vertices:ours", "quiverlane Graph.vertices()", OURS, ours.vertices, len),
               Entry("vertices:floor-best", "best-order floor: one set", FLOOR,
                     lambda: int_set(best), len),
               Entry("vertices:floor", "same-order floor: one set", FLOOR,
                     lambda: int_set(ids), len, headline=False)]
    if theirs.get("igraph") is not None:
        g = theirs["igraph"]
        entries.append(Entry("vertices:igraph", "igraph Graph.vs.indices", PEER,
                             lambda g=g: g.vs.indices, len))
    if theirs.get("rustworkx") is not None:
        entries.append(Entry("vertices:rustworkx", "rustworkx PyGraph.node_indices()", PEER,
                             theirs["rustworkx"].node_indices, len,
                             note="native NodeIndices, no ints"))
    if theirs.get("networkit") is not None:
        g = theirs["networkit"]
        entries.append(Entry("vertices:networkit", "NetworKit list(G.iterNodes())", PEER,
                             lambda g=g: list(g.iterNodes()), len))
    if theirs.get("networkx") is not None:
        g = theirs["networkx"]
        entries.append(Entry("vertices:networkx", "NetworkX list(G)", PEER,
                             lambda g=g: list(g), len))
    return entries


def main() -> None:
    args = cli.parser(__doc__.splitlines()[0]).parse_args()
    quiverlane = cli.start(args)
    recorder = Recorder("copy", "Whole-graph copy, edge list and vertex set")
    edge_set = graphs.power_law()
    ours = edge_set.build_ours(quiverlane)
    recorder.context["graph"] = f"{edge_set.name}, {edge_set.vertices:,} vertices"
    print(f"{edge_set.name}: {edge_set.vertices:,} vertices; building the peers' graphs",
          flush=True)
    theirs = peers.build_all(("igraph", "rustworkx", "networkit", "networkx"), edge_set)
    settle()
    measure(recorder, "1 copy (power-law 2M)", copy_entries(ours, theirs), args.repeats)
    measure(recorder, "1b edges() (power-law 2M)", edges_entries(ours, theirs), args.repeats)
    measure(recorder, "1c vertices() (power-law 2M)", vertices_entries(ours, theirs),
            args.repeats)
    print_suite(recorder)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

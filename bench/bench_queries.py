#!/usr/bin/env python3
"""Queries on the power-law graph: balls, subgraphs, neighbourhoods, neighbour sets.

    python bench/bench_queries.py [--repeats 3] [--no-peers] [--json PATH]

Every library answers the same queries (random present vertices and random
vertex sets drawn from a seeded generator, mapped to each peer's own vertex
numbers before any clock starts).  Each timed run loops over all queries of
a row, adding up the result sizes, which must agree between libraries.

4  r_neighbours(u, 2) and r_neighbours(u, 3), per query:
     igraph     Graph.neighborhood(u, order=r)                     list
     NetworkX   single_source_shortest_path_length(G, u, cutoff=r)  dict
     NetworKit and rustworkx offer no search bounded by depth (their BFS
     walks the whole component), so they have no row here.
5  subgraph(c) for a random 10% of the vertices:
     igraph induced_subgraph(c), rustworkx PyGraph.subgraph(c),
     NetworKit graphtools.subgraphFromNodes(G, c), NetworkX G.subgraph(c).copy()
6  neighbourhood(c) and closed_neighbourhood(c) (the union of the members'
   neighbour sets) for random sets of 10, 1000 and 100,000 vertices.  No peer
   has this call; each gets the fastest fair form we found:
     igraph     set().union(*G.neighborhood(c, order=1, mindist=1))
     rustworkx  set().union(*map(G.neighbors, c))
     NetworKit  set().union(*map(G.iterNeighbors, c))
     NetworkX   set().union(*map(G.adj.__getitem__, c)); networkx.node_boundary
     SciPy      numpy.unique(A[c].indices), a numpy array, no Python objects
   and the open neighbourhood subtracts c from that.
7  neighbours(u) in a call loop, per call:
     NetworKit list(G.iterNeighbors(u)), igraph G.neighbors(u),
     rustworkx G.neighbors(u), NetworkX set(G[u]).
Rows 4, 6 and 7 also race the result floors: our own results rebuilt as sets
from u32 arrays in C (bench/floors/result_floor.c), in the same loop shape,
each set's ids in the best order (headline) and in the order ours iterate.
"""
from __future__ import annotations

import random

from benchkit import cli, floors, graphs, peers
from benchkit.record import Recorder
from benchkit.suite import FLOOR, OURS, PEER, Entry, measure
from benchkit.table import print_suite
from benchkit.timing import settle

PEERS = ("igraph", "rustworkx", "networkit", "networkx", "scipy")
BALL_QUERIES = {2: 1000, 3: 100}
SET_SIZES = {10: 1000, 1000: 100, 100_000: 3}   # set size -> sets per timed run
NEIGHBOUR_CALLS = 200_000
SUBGRAPH_SHARE = 10


class World:
    """The power-law graph in every library, plus the id mapping for queries."""

    def __init__(self, quiverlane, seed: int):
        self.edge_set = graphs.power_law()
        print(f"{self.edge_set.name}: {self.edge_set.vertices:,} vertices; building",
              flush=True)
        self.ours = self.edge_set.build_ours(quiverlane)
        self.theirs = peers.build_all(PEERS, self.edge_set)
        self.index = self.edge_set.dense.index
        self.rng = random.Random(seed)
        self.vertices = sorted(self.edge_set.dense.ids)

    def has(self, name: str) -> bool:
        return self.theirs.get(name) is not None

    def sample(self, k: int) -> list:
        return self.rng.sample(self.vertices, k)

    def dense(self, members) -> list:
        return [self.index[x] for x in members]


def sizes(f, queries):
    """A loop calling f on every query; returns the sum of the result sizes."""
    def loop():
        total = 0
        for query in queries:
            total += len(f(query))
        return total
    return loop


def set_floor_entries(tag: str, what: str, results: list, loop) -> list[Entry]:
    """The best-order (headline) and same-order floors of a loop of sets.

    `loop(f, arrays)` is the loop shape of the row; `results` are our sets."""
    same = [floors.ids_of(result) for result in results]
    best = [floors.best_order(ids) for ids in same]
    int_set = floors.module().int_set
    return [Entry(f"{tag}:floor-best", f"best-order floor: {what}", FLOOR, loop(int_set, best),
                  int if loop is sizes else None),
            Entry(f"{tag}:floor", f"same-order floor: {what}", FLOOR, loop(int_set, same),
                  int if loop is sizes else None, headline=False)]


def ball_row(recorder, world, radius, repeats) -> None:
    count = BALL_QUERIES[radius]
    queries = world.sample(count)
    dense = world.dense(queries)
    ours = world.ours
    balls = [ours.r_neighbours(u, radius) for u in queries]
    tag = f"ball{radius}"
    entries = [
        Entry(f"{tag}:ours", f"quiverlane r_neighbours(u, {radius})", OURS,
              sizes(lambda u: ours.r_neighbours(u, radius), queries), int),
        *set_floor_entries(tag, "one set per ball", balls, sizes),
    ]
    if world.has("igraph"):
        ig_graph = world.theirs["igraph"]
        entries.append(Entry(f"{tag}:igraph", f"igraph neighborhood(u, order={radius})", PEER,
                             sizes(lambda u: ig_graph.neighborhood(u, order=radius), dense), int))
    if world.has("networkx"):
        nx_graph, networkx = world.theirs["networkx"], peers.module("networkx")
        search = networkx.single_source_shortest_path_length
        entries.append(Entry(f"{tag}:networkx", "NetworkX shortest_path_length(cutoff)", PEER,
                             sizes(lambda u: search(nx_graph, u, cutoff=radius), queries), int))
    measure(recorder, f"4 r_neighbours r={radius}, per query ({count} queries)", entries,
            repeats, per=count)


def subgraph_row(recorder, world, repeats) -> None:
    members = world.sample(len(world.vertices) // SUBGRAPH_SHARE)
    chosen, dense = set(members), world.dense(members)
    entries = [Entry("subgraph:ours", "quiverlane subgraph(c)", OURS,
                     lambda: world.ours.subgraph(chosen),
                     lambda h: (h.num_vertices(), h.num_edges()))]
    if world.has("igraph"):
        ig_graph = world.theirs["igraph"]
        entries.append(Entry("subgraph:igraph", "igraph induced_subgraph(c)", PEER,
                             lambda: ig_graph.induced_subgraph(dense),
                             lambda h: (h.vcount(), h.ecount())))
    if world.has("rustworkx"):
        rx_graph = world.theirs["rustworkx"]
        entries.append(Entry("subgraph:rustworkx", "rustworkx subgraph(c)", PEER,
                             lambda: rx_graph.subgraph(dense),
                             lambda h: (h.num_nodes(), h.num_edges())))
    if world.has("networkit"):
        nk_graph, networkit = world.theirs["networkit"], peers.module("networkit")
        entries.append(Entry("subgraph:networkit", "NetworKit subgraphFromNodes(c)", PEER,
                             lambda: networkit.graphtools.subgraphFromNodes(nk_graph, dense),
                             lambda h: (h.numberOfNodes(), h.numberOfEdges())))
    if world.has("networkx"):
        nx_graph = world.theirs["networkx"]
        entries.append(Entry("subgraph:networkx", "NetworkX subgraph(c).copy()", PEER,
                             lambda: nx_graph.subgraph(chosen).copy(),
                             lambda h: (h.number_of_nodes(), h.number_of_edges())))
    measure(recorder, f"5 subgraph, random {100 // SUBGRAPH_SHARE}% ({len(members):,})",
            entries, repeats)


def union_forms(world) -> dict:
    """Per peer: c (in its own numbering) -> the union of the members' neighbours."""
    forms = {}
    if world.has("igraph"):
        ig_graph = world.theirs["igraph"]
        forms["igraph"] = ("igraph neighborhood(c, mindist=1) union", True,
                           lambda c: set().union(*ig_graph.neighborhood(c, order=1, mindist=1)))
    if world.has("rustworkx"):
        rx_graph = world.theirs["rustworkx"]
        forms["rustworkx"] = ("rustworkx union of neighbors(v)", True,
                              lambda c: set().union(*map(rx_graph.neighbors, c)))
    if world.has("networkit"):
        nk_graph = world.theirs["networkit"]
        forms["networkit"] = ("NetworKit union of iterNeighbors(v)", True,
                              lambda c: set().union(*map(nk_graph.iterNeighbors, c)))
    if world.has("networkx"):
        nx_graph = world.theirs["networkx"]
        forms["networkx"] = ("NetworkX union of G.adj[v]", False,
                             lambda c: set().union(*map(nx_graph.adj.__getitem__, c)))
    return forms


def neighbourhood_rows(recorder, world, size, repeats) -> None:
    count = SET_SIZES[size]
    sets = [world.sample(size) for _ in range(count)]
    ours_sets = [set(c) for c in sets]
    dense_lists = [world.dense(c) for c in sets]
    dense_sets = [set(c) for c in dense_lists]
    for closed in (True, False):
        method = "closed_neighbourhood" if closed else "neighbourhood"
        ours_call = getattr(world.ours, method)
        tag = f"{method}{size}"
        results = [ours_call(c) for c in ours_sets]
        entries = [Entry(f"{tag}:ours", f"quiverlane {method}(c)", OURS,
                         sizes(ours_call, ours_sets), int),
                   *set_floor_entries(tag, "one set per result", results, sizes)]
        for name, (label, dense, union) in union_forms(world).items():
            queries = list(zip(dense_lists, dense_sets)) if dense else list(zip(sets, ours_sets))
            if closed:
                run = sizes(lambda q, union=union: union(q[0]), queries)
            else:
                run = sizes(lambda q, union=union: union(q[0]) - q[1], queries)
                label += " - c"
            entries.append(Entry(f"{tag}:{name}", label, PEER, run, int))
        if not closed and world.has("networkx"):
            nx_graph, networkx = world.theirs["networkx"], peers.module("networkx")
            boundary = lambda c: networkx.node_boundary(nx_graph, c)  # noqa: E731
            entries.append(Entry(f"{tag}:networkx-boundary", "NetworkX node_boundary(G, c)",
                                 PEER, sizes(boundary, ours_sets), int))
        if world.has("scipy"):
            entries.append(scipy_entry(world, tag, closed, dense_lists))
        measure(recorder, f"6 {method} |c|={size:,}, per set ({count} sets)", entries,
                repeats, per=count)


def scipy_entry(world, tag, closed, dense_lists) -> Entry:
    import numpy
    matrix = world.theirs["scipy"]
    arrays = [numpy.array(c, dtype=numpy.int64) for c in dense_lists]
    if closed:
        union = lambda c: numpy.unique(matrix[c].indices)  # noqa: E731
        label = "SciPy unique(A[c].indices)"
    else:
        union = lambda c: numpy.setdiff1d(numpy.unique(matrix[c].indices), c)  # noqa: E731
        label = "SciPy setdiff1d(unique(A[c].indices), c)"
    return Entry(f"{tag}:scipy", label, PEER, sizes(union, arrays), int, note="numpy array")


def neighbours_row(recorder, world, repeats) -> None:
    queries = [world.rng.choice(world.vertices) for _ in range(NEIGHBOUR_CALLS)]
    dense = world.dense(queries)
    ours = world.ours
    results = [ours.neighbours(u) for u in queries]
    entries = [Entry("neighbours:ours", "quiverlane neighbours(u)", OURS,
                     call_loop(ours.neighbours, queries)),
               *set_floor_entries("neighbours", "one set per call", results, call_loop)]
    del results
    checks = {"quiverlane": sizes(ours.neighbours, queries)}
    if world.has("networkit"):
        nk_graph = world.theirs["networkit"]
        call = lambda u: list(nk_graph.iterNeighbors(u))  # noqa: E731
        entries.append(Entry("neighbours:networkit", "NetworKit list(iterNeighbors(u))", PEER,
                             call_loop(call, dense)))
        checks["networkit"] = sizes(call, dense)
    if world.has("igraph"):
        ig_graph = world.theirs["igraph"]
        entries.append(Entry("neighbours:igraph", "igraph G.neighbors(u)", PEER,
                             call_loop(ig_graph.neighbors, dense)))
        checks["igraph"] = sizes(ig_graph.neighbors, dense)
    if world.has("rustworkx"):
        rx_graph = world.theirs["rustworkx"]
        entries.append(Entry("neighbours:rustworkx", "rustworkx G.neighbors(u)", PEER,
                             call_loop(rx_graph.neighbors, dense)))
        checks["rustworkx"] = sizes(rx_graph.neighbors, dense)
    if world.has("networkx"):
        nx_graph = world.theirs["networkx"]
        call = lambda u: set(nx_graph[u])  # noqa: E731
        entries.append(Entry("neighbours:networkx", "NetworkX set(G[u])", PEER,
                             call_loop(call, queries)))
        checks["networkx"] = sizes(call, queries)
    totals = {name: check() for name, check in checks.items()}
    if len(set(totals.values())) != 1:
        print(f"  MISMATCH in neighbour set sizes: {totals}")
    measure(recorder, f"7 neighbours(u) loop, per call ({NEIGHBOUR_CALLS:,} calls)", entries,
            repeats, per=NEIGHBOUR_CALLS)


def call_loop(f, queries):
    def loop():
        for query in queries:
            f(query)
    return loop


def main() -> None:
    parser = cli.parser(__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    quiverlane = cli.start(args)
    recorder = Recorder("queries", "Balls, subgraphs, neighbourhoods and neighbour sets")
    recorder.note("r_neighbours: NetworKit and rustworkx have no search bounded by depth "
                  "(their BFS walks the whole component), so only igraph and NetworkX compete.")
    recorder.note("neighbourhoods: no peer has the call; each runs the union of the members' "
                  "neighbour lists in Python (see the labels), SciPy returns a numpy array.")
    world = World(quiverlane, args.seed)
    recorder.context["graph"] = f"{world.edge_set.name}, {len(world.vertices):,} vertices"
    settle()
    for radius in BALL_QUERIES:
        ball_row(recorder, world, radius, args.repeats)
    subgraph_row(recorder, world, args.repeats)
    for size in SET_SIZES:
        neighbourhood_rows(recorder, world, size, args.repeats)
    neighbours_row(recorder, world, args.repeats)
    print_suite(recorder)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

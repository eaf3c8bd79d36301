#!/usr/bin/env python3
"""components() on three graphs, against the peers and the result floor.

    python bench/bench_components.py [--repeats 3] [--no-peers] [--json PATH]

Graphs (u32 ids scattered over the whole range, see benchkit/graphs.py):
  power-law  2,000,000 edges, about 400,000 vertices, one giant component
  grid       1000 x 1000, one component of 1,000,000 vertices
  isolates   1,000,000 vertices, 71,000 random edges: about 929,000 components

Peers, each asked for the components in its own natural form:
  igraph     Graph.connected_components()     a VertexClustering (membership list)
  NetworKit  ConnectedComponents(G).run() and getComponents()   list of lists
  rustworkx  rustworkx.connected_components(G)                 list of sets
  NetworkX   list(networkx.connected_components(G))            list of sets
  SciPy      scipy.sparse.csgraph.connected_components(A)      count and a numpy
             label array: no Python object per vertex
Result floors: our own result (a list of sets) rebuilt in C from one id array
and offsets: each set's ids in the best order (ascending low bits of the id
in the set's final table) with the collector paused (headline); in the order
our sets iterate, collector paused and on (secondary).  Floor ratios include
freeing the result, for ours and the floor alike.
"""
from __future__ import annotations

from benchkit import cli, floors, graphs, peers
from benchkit.record import Recorder
from benchkit.suite import FLOOR, OURS, PEER, Entry, measure
from benchkit.table import print_suite
from benchkit.timing import settle, unsettle

PEERS = ("igraph", "networkit", "rustworkx", "networkx", "scipy")


def shape(parts) -> tuple:
    """Number of components and the size of the largest."""
    return len(parts), max(map(len, parts), default=0)


def floor_entries(tag: str, parts) -> list[Entry]:
    """The floors of a list of sets `parts` (ours, or any equal result)."""
    ids, offsets = floors.ids_and_offsets(parts)
    best = floors.best_order(ids, offsets)
    set_list = floors.module().set_list
    count = len(offsets) - 1
    what = f"{count:,} set{'s' if count != 1 else ''} of {len(ids):,} ints"
    return [
        Entry(f"{tag}:floor-best", f"best-order floor: {what}, collector paused", FLOOR,
              lambda: set_list(best, offsets), shape, collector_on=False),
        Entry(f"{tag}:floor-paused", f"same-order floor: {what}, collector paused", FLOOR,
              lambda: set_list(ids, offsets), shape, collector_on=False, headline=False),
        Entry(f"{tag}:floor", f"same-order floor: {what}, collector on", FLOOR,
              lambda: set_list(ids, offsets), shape, headline=False),
    ]


def peer_entries(tag: str, theirs) -> list[Entry]:
    entries = []
    if theirs.get("igraph") is not None:
        g = theirs["igraph"]
        entries.append(Entry(f"{tag}:igraph", "igraph connected_components()", PEER,
                             g.connected_components,
                             lambda c: (len(c), max(c.sizes(), default=0)),
                             note="membership list"))
    if theirs.get("networkit") is not None:
        g, networkit = theirs["networkit"], peers.module("networkit")

        def networkit_components(g=g):
            search = networkit.components.ConnectedComponents(g)
            search.run()
            return search.getComponents()

        entries.append(Entry(f"{tag}:networkit", "NetworKit ConnectedComponents", PEER,
                             networkit_components, shape, note="list of lists"))
    if theirs.get("rustworkx") is not None:
        g, rustworkx = theirs["rustworkx"], peers.module("rustworkx")
        entries.append(Entry(f"{tag}:rustworkx", "rustworkx connected_components", PEER,
                             lambda g=g: rustworkx.connected_components(g), shape))
    if theirs.get("networkx") is not None:
        g, networkx = theirs["networkx"], peers.module("networkx")
        entries.append(Entry(f"{tag}:networkx", "NetworkX connected_components", PEER,
                             lambda g=g: list(networkx.connected_components(g)), shape))
    if theirs.get("scipy") is not None:
        matrix = theirs["scipy"]
        import numpy
        from scipy.sparse import csgraph
        entries.append(Entry(f"{tag}:scipy", "SciPy csgraph.connected_components", PEER,
                             lambda: csgraph.connected_components(matrix, directed=False),
                             lambda r: (r[0], int(numpy.bincount(r[1]).max())),
                             note="numpy labels"))
    return entries


def bench_graph(recorder, quiverlane, tag, edge_set, repeats) -> None:
    row = f"3 components ({tag})"
    print(f"{edge_set.name}: {edge_set.vertices:,} vertices; building", flush=True)
    ours = edge_set.build_ours(quiverlane)
    theirs = peers.build_all(PEERS, edge_set)
    entries = [Entry(f"{tag}:ours", "quiverlane Graph.components()", OURS, ours.components,
                     shape)]
    entries += floor_entries(tag, ours.components())
    entries += peer_entries(tag, theirs)
    settle()
    measure(recorder, row, entries, repeats)
    recorder.context[tag] = f"{edge_set.name}, {edge_set.vertices:,} vertices"
    unsettle()


def main() -> None:
    args = cli.parser(__doc__.splitlines()[0]).parse_args()
    quiverlane = cli.start(args)
    recorder = Recorder("components", "Connected components")
    recorder.note("Results differ in form: ours and rustworkx give a list of sets, NetworkX a "
                  "list of sets, NetworKit a list of lists, igraph a VertexClustering over a "
                  "membership list, SciPy a count and a numpy label array.")
    bench_graph(recorder, quiverlane, "power-law", graphs.power_law(), args.repeats)
    bench_graph(recorder, quiverlane, "grid", graphs.grid(), args.repeats)
    bench_graph(recorder, quiverlane, "isolates", graphs.isolates(), args.repeats)
    print_suite(recorder)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The companion module's hand-offs: from_networkx, pickling and copying.

    PYTHONPATH=build-bench:python python bench/bench_interop.py [--repeats 3] [--data PATH] [--json PATH]

Row 12, from_networkx(G) against the plain loop a caller would write (the
floor: anything slower is not worth calling):
    g = Graph()
    for u, v in G.edges(): g.add_edge(u, v)
    for v, nbrs in G.adjacency():
        if not nbrs: g.add_vertex(v)
on a real road network (default ../shared/data/road-usroads-48.edges) and on
the seeded power-law graph with 1,000,000 edges. The NetworkX graphs are
built in the order of the edge lists, before any clock starts.

Row 13, a pickle round trip, pickle.loads(pickle.dumps(g)), against the
native g.copy() (the floor: the cheapest way to an equal, independent graph),
on the same two graphs; dumps and loads alone are reported too, and a
rebuild that calls add_edge in the order edges() lists the graph, which the
unpickling avoids (reference, no ratio). copy.copy and copy.deepcopy go
through g.copy() where the copy module's dispatch tables allow.
"""
from __future__ import annotations

import pickle
from collections import deque
from itertools import starmap

from benchkit import cli, graphs
from benchkit.paths import DATA
from benchkit.record import Recorder
from benchkit.suite import FLOOR, OURS, REFERENCE, Entry, measure
from benchkit.table import print_suite
from benchkit.timing import settle

POWER_LAW_EDGES = 1_000_000


def road_edges(path) -> tuple[list, list]:
    us, vs = [], []
    with open(path, "rb") as lines:
        for line in lines:
            u, v = line.split()
            us.append(int(u))
            vs.append(int(v))
    return us, vs


def networkx_graph(networkx, us, vs):
    nx_graph = networkx.Graph()
    nx_graph.add_edges_from(zip(us, vs))
    return nx_graph


def plain_loop(quiverlane, nx_graph):
    g = quiverlane.Graph()
    for u, v in nx_graph.edges():
        g.add_edge(u, v)
    for v, nbrs in nx_graph.adjacency():
        if not nbrs:
            g.add_vertex(v)
    return g


def size(g):
    return g.num_vertices(), g.num_edges()


def from_networkx_entries(quiverlane, tools, nx_graph, tag: str) -> list[Entry]:
    return [
        Entry(f"from_networkx:{tag}:ours", "quiverlane_tools.from_networkx(G)", OURS,
              lambda: tools.from_networkx(nx_graph), size),
        Entry(f"from_networkx:{tag}:loop", "floor: plain add_edge loop over G.edges()", FLOOR,
              lambda: plain_loop(quiverlane, nx_graph), size),
    ]


def in_listed_order(quiverlane, g):
    rebuilt = quiverlane.Graph()
    deque(starmap(rebuilt.add_edge, g.edges()), maxlen=0)
    return rebuilt


def pickle_entries(quiverlane, g, tag: str) -> list[Entry]:
    data = pickle.dumps(g, protocol=pickle.HIGHEST_PROTOCOL)
    return [
        Entry(f"pickle:{tag}:round", "pickle.loads(pickle.dumps(g))", OURS,
              lambda: pickle.loads(pickle.dumps(g, protocol=pickle.HIGHEST_PROTOCOL)), size),
        Entry(f"pickle:{tag}:copy", "floor: g.copy()", FLOOR, g.copy, size),
        Entry(f"pickle:{tag}:dumps", "pickle.dumps(g)", REFERENCE,
              lambda: pickle.dumps(g, protocol=pickle.HIGHEST_PROTOCOL)),
        Entry(f"pickle:{tag}:loads", "pickle.loads(data)", REFERENCE, lambda: pickle.loads(data), size),
        Entry(f"pickle:{tag}:listed", "add_edge in edges() order", REFERENCE,
              lambda: in_listed_order(quiverlane, g), size),
    ]


def main() -> None:
    parser = cli.parser(__doc__.splitlines()[0])
    parser.add_argument("--data", default=str(DATA / "road-usroads-48.edges"),
                        help="a 'u v' edge list for the real-data rows")
    args = parser.parse_args()
    quiverlane = cli.start(args)
    try:
        import quiverlane_tools as tools
    except ImportError:
        raise SystemExit("quiverlane_tools is not importable: put python/ on PYTHONPATH "
                         "next to the build directory, or pip install the repository")
    try:
        import networkx
    except ImportError:
        networkx = None
        print("networkx is not installed: row 12 is left out", flush=True)

    recorder = Recorder("interop", "from_networkx, pickling and copying")
    power_law = graphs.power_law(POWER_LAW_EDGES)
    inputs = {"road": road_edges(args.data), "power-law 1M": (power_law.us, power_law.vs)}
    ours = {"road": quiverlane.Graph.from_file(args.data), "power-law 1M": power_law.build_ours(quiverlane)}
    nx_graphs = {} if networkx is None else {
        tag: networkx_graph(networkx, us, vs) for tag, (us, vs) in inputs.items()}
    recorder.context["graphs"] = {tag: f"{g.num_vertices():,} vertices, {g.num_edges():,} edges"
                                  for tag, g in ours.items()}
    print(recorder.context["graphs"], flush=True)
    settle()
    for tag, nx_graph in nx_graphs.items():
        measure(recorder, f"12 from_networkx ({tag})",
                from_networkx_entries(quiverlane, tools, nx_graph, tag), args.repeats)
    for tag, g in ours.items():
        measure(recorder, f"13 pickle round trip ({tag})", pickle_entries(quiverlane, g, tag),
                args.repeats)
    print_suite(recorder)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

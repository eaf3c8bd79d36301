#!/usr/bin/env python3
"""Road-like graphs: components() and balls against every peer that has them.

    python bench/bench_roads.py [--repeats 3] [--no-peers] [--json PATH]
                                [--seed 11] [--no-large] [--large-networkx]

Graphs:
  usroads    ../shared/data/road-usroads-48.edges: the US road network of the
             48 contiguous states, 126,146 vertices, 161,950 edges, ids as in
             the file (1..126,146)
  grid       a 2000 x 2000 grid (4,000,000 vertices) with a seeded random 10%
             of its edges removed, scattered u32 ids (benchkit/graphs.py;
             generated once, about 2 minutes, cached); --no-large skips it.
             NetworkX races on it only with --large-networkx: its graph
             takes minutes and gigabytes to build, its components() over a
             minute, and the rows are clear without it

Row 14, components(), against the same peers as row 3 (bench_components.py)
and the same floors (best-order, collector paused: headline).

Row 15, balls r_neighbours(u, r) for r = 1, 2, 3 (1,000 random present
vertices) and r = 20 (100), a radius that reaches a few hundred road
crossings, per query:
  igraph     Graph.neighborhood(u, order=r)                     list
  NetworkX   single_source_shortest_path_length(G, u, cutoff=r)  dict
  rustworkx  bfs_search(G, [u], visitor) with a visitor that records depths
             and prunes past r (Python callbacks per edge)       dict
  NetworKit  r = 1 only: [u] + list(G.iterNeighbors(u)); it has no search
             bounded by depth (its BFS walks the whole component)
and the result floors (one set per ball, best order: headline).
"""
from __future__ import annotations

import random

from bench_components import floor_entries, peer_entries, shape
from bench_queries import set_floor_entries, sizes
from benchkit import cli, graphs, peers
from benchkit.paths import DATA
from benchkit.record import Recorder
from benchkit.suite import OURS, PEER, Entry, measure
from benchkit.table import print_suite
from benchkit.timing import settle, unsettle

PEERS = ("igraph", "networkit", "rustworkx", "networkx", "scipy")
ROAD_FILE = "road-usroads-48.edges"
# radius -> queries per timed run
BALLS = {1: 1000, 2: 1000, 3: 1000, 20: 100}


def components_row(recorder, ours, theirs, tag, repeats) -> None:
    entries = [Entry(f"{tag}:components:ours", "quiverlane Graph.components()", OURS,
                     ours.components, shape)]
    entries += floor_entries(f"{tag}:components", ours.components())
    entries += peer_entries(f"{tag}:components", theirs)
    measure(recorder, f"14 components ({tag})", entries, repeats)


def rustworkx_ball(graph, radius):
    """u -> {vertex: depth} for the vertices within `radius` of u, by bfs_search."""
    rustworkx = peers.module("rustworkx")
    visit = rustworkx.visit

    class Ball(visit.BFSVisitor):
        def __init__(self, source):
            self.depth = {source: 0}

        def tree_edge(self, edge):
            source, target, _ = edge
            depth = self.depth[source] + 1
            if depth > radius:
                raise visit.PruneSearch
            self.depth[target] = depth

    def ball(u):
        visitor = Ball(u)
        rustworkx.bfs_search(graph, [u], visitor)
        return visitor.depth
    return ball


def ball_peer_entries(tag, theirs, radius, queries, dense) -> list[Entry]:
    entries = []
    if theirs.get("igraph") is not None:
        g = theirs["igraph"]
        entries.append(Entry(f"{tag}:igraph", f"igraph neighborhood(u, order={radius})", PEER,
                             sizes(lambda u, g=g: g.neighborhood(u, order=radius), dense), int))
    if theirs.get("networkx") is not None:
        g, networkx = theirs["networkx"], peers.module("networkx")
        search = networkx.single_source_shortest_path_length
        entries.append(Entry(f"{tag}:networkx", "NetworkX shortest_path_length(cutoff)", PEER,
                             sizes(lambda u, g=g: search(g, u, cutoff=radius), queries), int))
    if theirs.get("rustworkx") is not None:
        entries.append(Entry(f"{tag}:rustworkx", "rustworkx bfs_search, pruned past r", PEER,
                             sizes(rustworkx_ball(theirs["rustworkx"], radius), dense), int,
                             note="Python visitor"))
    if radius == 1 and theirs.get("networkit") is not None:
        g = theirs["networkit"]
        entries.append(Entry(f"{tag}:networkit", "NetworKit [u] + list(iterNeighbors(u))", PEER,
                             sizes(lambda u, g=g: [u, *g.iterNeighbors(u)], dense), int))
    return entries


def ball_rows(recorder, ours, theirs, edge_set, tag, seed, repeats) -> None:
    rng = random.Random(seed)
    present = sorted(edge_set.dense.ids)
    for radius, count in BALLS.items():
        queries = rng.sample(present, count)
        dense = [edge_set.dense.index[u] for u in queries]
        balls = [ours.r_neighbours(u, radius) for u in queries]
        row_tag = f"{tag}:ball{radius}"
        entries = [Entry(f"{row_tag}:ours", f"quiverlane r_neighbours(u, {radius})", OURS,
                         sizes(lambda u, r=radius: ours.r_neighbours(u, r), queries), int),
                   *set_floor_entries(row_tag, "one set per ball", balls, sizes)]
        del balls
        entries += ball_peer_entries(row_tag, theirs, radius, queries, dense)
        measure(recorder, f"15 r_neighbours r={radius} ({tag}), per query ({count} queries)",
                entries, repeats, per=count)


def bench_graph(recorder, quiverlane, tag, edge_set, args, peer_names=PEERS) -> None:
    print(f"{edge_set.name}: {edge_set.vertices:,} vertices; building", flush=True)
    ours = edge_set.build_ours(quiverlane)
    theirs = peers.build_all(peer_names, edge_set)
    recorder.context[tag] = f"{edge_set.name}, {edge_set.vertices:,} vertices"
    settle()
    components_row(recorder, ours, theirs, tag, args.repeats)
    ball_rows(recorder, ours, theirs, edge_set, tag, args.seed, args.repeats)
    unsettle()


def main() -> None:
    parser = cli.parser(__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=11)
    parser.add_argument("--no-large", action="store_true",
                        help="skip the 2000 x 2000 grid (4,000,000 vertices)")
    parser.add_argument("--large-networkx", action="store_true",
                        help="race NetworkX on the 2000 x 2000 grid too (minutes, gigabytes)")
    args = parser.parse_args()
    quiverlane = cli.start(args)
    recorder = Recorder("roads", "Road-like graphs: components and balls")
    if not args.large_networkx:
        recorder.note("NetworkX races on the road network only; --large-networkx adds it on "
                      "the 4,000,000-vertex grid.")
    recorder.note("Balls: NetworKit has no search bounded by depth, so it races at r = 1 only "
                  "(the closed neighbour list); rustworkx races with bfs_search and a Python "
                  "visitor that prunes past r.")
    road_file = DATA / ROAD_FILE
    if road_file.exists():
        bench_graph(recorder, quiverlane, "usroads", graphs.edge_file(road_file), args)
    else:
        print(f"({road_file} is missing; its rows are left out)", flush=True)
    if not args.no_large:
        large_peers = PEERS if args.large_networkx else tuple(p for p in PEERS if p != "networkx")
        bench_graph(recorder, quiverlane, "grid 2000 -10%", graphs.damaged_grid(), args,
                    large_peers)
    print_suite(recorder)
    recorder.save(args.json)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Time the vertex-set methods against NetworkX.

    python bench/bench_sets.py [--data PATH] [--repeats R] [--size N] [--no-peers]
                               [--json PATH]

On a real road network (default ../shared/data/road-usroads-48.edges, read
with a Python loop and add_edge) it times neighbourhood, closed_neighbourhood,
r_neighbours, subgraph, contract_into and components, each next to the
closest NetworkX equivalent, and reports NetworkX time / quiverlane time.
Then components() on a path of --size vertices (default 1,000,000) and on
--size isolated vertices, which must take about a second or less.

Every row is the best of --repeats runs (default 5). Argument and result
conversion are part of what is timed on both sides: both take and return
Python sets of ints. Inputs that a call changes (contract_into) are copied
before the clock starts.

NetworkX equivalents:
  neighbourhood         nx.node_boundary(G, c)
  closed_neighbourhood  set().union(*(G.adj[v] for v in c))
  r_neighbours          set(nx.single_source_shortest_path_length(G, u, cutoff=r))
  subgraph              G.subgraph(c).copy()       (independent, like ours)
  contract_into         a Python loop over G.adj adding center-w and removing c
  components            list(nx.connected_components(G))
"""
from __future__ import annotations

import argparse
import os
import random
import sys
import time

from benchkit.record import Recorder

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_DATA = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "data",
                                             "road-usroads-48.edges"))

# components() on the large synthetic graphs should finish in about this.
TARGET_COMPONENTS_SECONDS = 1.0

try:
    import quiverlane
except ImportError:
    sys.exit("quiverlane is not importable: build it and put the build directory on PYTHONPATH")


def best_of(repeats, action, prepare=None):
    """Best wall time of action(prepare()) over the repeats, and its result."""
    best = float("inf")
    result = None
    for _ in range(repeats):
        argument = prepare() if prepare is not None else None
        start = time.perf_counter()
        result = action(argument)
        best = min(best, time.perf_counter() - start)
        del argument
    return best, result


def load_edges(path):
    us, vs = [], []
    with open(path) as handle:
        for line in handle:
            a, b = line.split()
            us.append(int(a))
            vs.append(int(b))
    return us, vs


def nx_contract_into(G, center, members):
    members = set(members) - {center}
    outside = set()
    for v in members:
        outside.update(G.adj[v])
    outside -= members
    outside.discard(center)
    G.add_edges_from((center, w) for w in outside)
    G.remove_nodes_from(members)


def format_seconds(seconds):
    if seconds is None:
        return "-"
    if seconds >= 1:
        return f"{seconds:.2f} s"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds * 1e6:.1f} us"


def print_table(rows):
    print(f"{'operation':<46} {'quiverlane':>11} {'networkx':>11} {'nx / ql':>9}")
    for name, ours, theirs in rows:
        ratio = f"{theirs / ours:.1f}x" if theirs is not None and ours > 0 else "-"
        print(f"{name:<46} {format_seconds(ours):>11} {format_seconds(theirs):>11} {ratio:>9}")


def record_rows(recorder, row, rows):
    """Keeps the rows for run_all.py's report; they stay out of its headline."""
    for name, ours, theirs in rows:
        recorder.figure(f"{row}:{name}:ours", f"quiverlane {name}", ours)
        if theirs is not None:
            recorder.figure(f"{row}:{name}:networkx", f"networkx {name}", theirs)
            recorder.ratio(row, f"networkx / ours: {name}", "peer/ours", f"{row}:{name}:networkx",
                           f"{row}:{name}:ours", headline=False)


def ball_members(g, size, rng, vertices):
    """A connected vertex set of about `size` members: a ball grown around a
    random vertex, so that set methods see realistic, clustered inputs."""
    start = rng.choice(vertices)
    radius = 1
    ball = g.r_neighbours(start, radius)
    while len(ball) < size and radius < 10000:
        radius += 1
        bigger = g.r_neighbours(start, radius)
        if len(bigger) == len(ball):
            break
        ball = bigger
    members = list(ball)
    rng.shuffle(members)
    return set(members[:size])


def bench_real(args, nx):
    us, vs = load_edges(args.data)
    g = quiverlane.Graph()
    for u, v in zip(us, vs):
        g.add_edge(u, v)
    G = None
    if nx is not None:
        G = nx.Graph()
        G.add_edges_from(zip(us, vs))
    print(f"{os.path.basename(args.data)}: {g.num_vertices()} vertices, {g.num_edges()} edges, "
          f"best of {args.repeats}")

    rng = random.Random(args.seed)
    vertices = sorted(g.vertices())
    scattered = set(rng.sample(vertices, 1000))
    cluster = ball_members(g, 5000, rng, vertices)
    big = set(rng.sample(vertices, len(vertices) // 2))
    center = rng.choice(vertices)
    hub = max(vertices, key=g.degree)

    rows = []

    def row(name, ours, theirs=None, check=None):
        t_ours, r_ours = best_of(args.repeats, ours[0], ours[1] if len(ours) > 1 else None)
        t_theirs = None
        if theirs is not None and nx is not None:
            t_theirs, r_theirs = best_of(args.repeats, theirs[0], theirs[1] if len(theirs) > 1 else None)
            if check is not None:
                assert check(r_ours) == check(r_theirs), f"{name}: results differ"
        rows.append((name, t_ours, t_theirs))

    same = lambda result: result  # noqa: E731

    row("neighbourhood, 1000 scattered vertices",
        (lambda _: g.neighbourhood(scattered),),
        (lambda _: nx.node_boundary(G, scattered),), same)
    row("neighbourhood, ball of 5000",
        (lambda _: g.neighbourhood(cluster),),
        (lambda _: nx.node_boundary(G, cluster),), same)
    row("neighbourhood, half of all vertices",
        (lambda _: g.neighbourhood(big),),
        (lambda _: nx.node_boundary(G, big),), same)
    row("closed_neighbourhood, 1000 scattered vertices",
        (lambda _: g.closed_neighbourhood(scattered),),
        (lambda _: set().union(*(G.adj[v] for v in scattered)),), same)
    row("closed_neighbourhood, half of all vertices",
        (lambda _: g.closed_neighbourhood(big),),
        (lambda _: set().union(*(G.adj[v] for v in big)),), same)
    for radius in (10, 100):
        row(f"r_neighbours, r={radius}",
            (lambda _, r=radius: g.r_neighbours(center, r),),
            (lambda _, r=radius: set(nx.single_source_shortest_path_length(G, center, cutoff=r)),),
            same)
    row("r_neighbours, r=4294967295 (whole component)",
        (lambda _: g.r_neighbours(center, 4294967295),),
        (lambda _: set(nx.node_connected_component(G, center)),), same)
    edge_key = lambda h: (h.num_vertices(), h.num_edges())  # noqa: E731
    nx_key = lambda h: (h.number_of_nodes(), h.number_of_edges())  # noqa: E731
    for name, selection in (("ball of 5000", cluster), ("half of all vertices", big)):
        t_ours, sub = best_of(args.repeats, lambda _, s=selection: g.subgraph(s))
        t_theirs = None
        if nx is not None:
            t_theirs, nsub = best_of(args.repeats, lambda _, s=selection: G.subgraph(s).copy())
            assert edge_key(sub) == nx_key(nsub)
        rows.append((f"subgraph, {name}", t_ours, t_theirs))
    small_with_hub = set(rng.sample(vertices, 50)) | {hub}
    row(f"subgraph, 50 vertices and the top hub (deg {g.degree(hub)})",
        (lambda _: g.subgraph(small_with_hub),),
        (lambda _: G.subgraph(small_with_hub).copy(),))

    for name, members in (("ball of 5000", cluster), ("half of all vertices", big)):
        target = next(iter(members))
        t_ours, _ = best_of(args.repeats, lambda h, m=members, c=target: h.contract_into(c, m), g.copy)
        t_theirs = None
        if nx is not None:
            t_theirs, _ = best_of(args.repeats, lambda H, m=members, c=target: nx_contract_into(H, c, m),
                                  G.copy)
        rows.append((f"contract_into, {name}", t_ours, t_theirs))

    partition = lambda parts: sorted(len(p) for p in parts)  # noqa: E731
    row("components",
        (lambda _: g.components(),),
        (lambda _: list(nx.connected_components(G)),), partition)
    print_table(rows)
    return rows


def bench_large(args, nx):
    n = args.size
    print(f"\ncomponents() on {n:,} vertices, best of {args.repeats}")
    rows = []
    verdicts = []

    path = quiverlane.Graph()
    for v in range(n - 1):
        path.add_edge(v, v + 1)
    isolated = quiverlane.Graph()
    for v in range(n):
        isolated.add_vertex(v)
    for name, g, build_nx in (
        (f"components, path of {n:,}", path, lambda: nx.path_graph(n)),
        (f"components, {n:,} isolated vertices", isolated, lambda: nx.empty_graph(n)),
    ):
        t_ours, parts = best_of(args.repeats, lambda _, h=g: h.components())
        assert sum(len(p) for p in parts) == n
        t_theirs = None
        if nx is not None:
            G = build_nx()
            t_theirs, _ = best_of(min(args.repeats, 2), lambda _, H=G: list(nx.connected_components(H)))
            del G
        rows.append((name, t_ours, t_theirs))
        verdicts.append((name, t_ours))
        del parts
    print_table(rows)
    for name, seconds in verdicts:
        status = "ok" if seconds <= TARGET_COMPONENTS_SECONDS else "SLOWER THAN TARGET"
        print(f"  {name}: {seconds:.3f} s (target about {TARGET_COMPONENTS_SECONDS:.0f} s or less) {status}")
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--size", type=int, default=1_000_000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--no-peers", action="store_true", help="skip NetworkX")
    parser.add_argument("--json", help="also save the figures and ratios to this file")
    args = parser.parse_args()
    recorder = Recorder("sets", "Vertex-set methods on real data, against NetworkX")
    nx = None
    if not args.no_peers:
        try:
            import networkx as nx
        except ImportError:
            print("networkx is not installed: quiverlane rows only")
    if os.path.exists(args.data):
        record_rows(recorder, f"road network ({os.path.basename(args.data)})",
                    bench_real(args, nx))
    else:
        print(f"{args.data} not found: skipping the real-data rows")
    record_rows(recorder, f"components, {args.size:,} vertices", bench_large(args, nx))
    recorder.save(args.json)


if __name__ == "__main__":
    main()

"""The test graphs as plain edge lists, and their dense-index form for the peers.

Our graph takes any u32 id.  The peers number vertices 0..n-1, so each gets
the same graph through `Dense`: vertex ids renumbered in order of first
appearance (edges first, then vertices without edges), which is what a
caller reading ids from an edge list would do.  Query vertices are mapped
through the same table before any clock starts.
"""
from __future__ import annotations

import array
import gzip
import os
import random
from dataclasses import dataclass, field
from functools import cached_property
from pathlib import Path

from benchkit import powerlaw
from benchkit.paths import cache_dir, scratch_name

GRID_SIDE = 1000
ISOLATES_VERTICES = 1_000_000
ISOLATES_EDGES = 71_000


@dataclass
class EdgeSet:
    name: str
    us: array.array
    vs: array.array
    # Vertices with no edge, which only add_vertex can create.
    isolated: array.array = field(default_factory=lambda: array.array("I"))

    @property
    def edges(self) -> int:
        return len(self.us)

    @cached_property
    def dense(self) -> "Dense":
        return Dense.of(self)

    @property
    def vertices(self) -> int:
        return len(self.dense.ids)

    def build_ours(self, quiverlane):
        graph = quiverlane.Graph()
        add_edge = graph.add_edge
        for u, v in zip(self.us, self.vs):
            add_edge(u, v)
        for x in self.isolated:
            graph.add_vertex(x)
        if (graph.num_vertices(), graph.num_edges()) != (self.vertices, self.edges):
            raise SystemExit(f"{self.name}: built {graph}, expected "
                             f"{self.vertices} vertices and {self.edges} edges")
        return graph


@dataclass
class Dense:
    ids: array.array          # index -> u32 id
    index: dict               # u32 id -> index
    us: array.array
    vs: array.array

    @classmethod
    def of(cls, edge_set: EdgeSet) -> "Dense":
        index = {}
        ids = array.array("I")
        setdefault = index.setdefault

        def number(x):
            i = setdefault(x, len(ids))
            if i == len(ids):
                ids.append(x)
            return i

        us = array.array("I", map(number, edge_set.us))
        vs = array.array("I", map(number, edge_set.vs))
        for x in edge_set.isolated:
            number(x)
        return cls(ids, index, us, vs)

    @property
    def n(self) -> int:
        return len(self.ids)


def power_law(edges: int = powerlaw.DEFAULT_EDGES, seed: int = powerlaw.DEFAULT_SEED) -> EdgeSet:
    us, vs = powerlaw.edge_arrays(edges, seed)
    return EdgeSet(f"power-law, {edges:,} edges", us, vs)


def power_law_indices(edges: int = powerlaw.DEFAULT_EDGES,
                      seed: int = powerlaw.DEFAULT_SEED) -> EdgeSet:
    """The same graph with the generator's indices 0..n-1 as ids."""
    us, vs = powerlaw.index_edge_arrays(edges, seed)
    return EdgeSet(f"power-law, {edges:,} edges, ids 0..n-1", us, vs)


def _scattered_ids(rng: random.Random, n: int) -> list:
    return rng.sample(range(1 << 32), n)


def grid(side: int = GRID_SIDE, seed: int = 2) -> EdgeSet:
    """A side x side grid; cells get scattered u32 ids, edges come in random order."""
    rng = random.Random(seed)
    ids = _scattered_ids(rng, side * side)
    pairs = []
    for row in range(side):
        for col in range(side):
            cell = row * side + col
            if col + 1 < side:
                pairs.append((ids[cell], ids[cell + 1]))
            if row + 1 < side:
                pairs.append((ids[cell], ids[cell + side]))
    rng.shuffle(pairs)
    return EdgeSet(f"grid {side}x{side}", array.array("I", (u for u, _ in pairs)),
                   array.array("I", (v for _, v in pairs)))


def isolates(vertices: int = ISOLATES_VERTICES, edges: int = ISOLATES_EDGES,
             seed: int = 3) -> EdgeSet:
    """`vertices` scattered ids and `edges` distinct random edges among them, no loops."""
    rng = random.Random(seed)
    ids = _scattered_ids(rng, vertices)
    seen = set()
    while len(seen) < edges:
        a, b = rng.randrange(vertices), rng.randrange(vertices)
        if a != b:
            seen.add((min(a, b), max(a, b)))
    pairs = sorted(seen)
    rng.shuffle(pairs)
    touched = {x for pair in pairs for x in pair}
    return EdgeSet(f"mostly isolated, {edges:,} random edges",
                   array.array("I", (ids[a] for a, _ in pairs)),
                   array.array("I", (ids[b] for _, b in pairs)),
                   array.array("I", (ids[x] for x in range(vertices) if x not in touched)))


def _write_lines(path: Path, us, vs, compress: bool) -> None:
    data = "".join(f"{u} {v}\n" for u, v in zip(us, vs)).encode()
    scratch = scratch_name(path)
    if compress:
        scratch.write_bytes(gzip.compress(data, compresslevel=6, mtime=0))
    else:
        scratch.write_bytes(data)
    os.replace(scratch, path)


FILE_KINDS = ("plain", "gzip", "dense", "dense_gzip")


def edge_list_files(edge_set: EdgeSet, stem: str, kinds=FILE_KINDS) -> dict:
    """The edge set as "u v" text files, written once into the cache.

    Returns the paths of `plain` and `gzip` (the u32 ids) and of `dense` and
    `dense_gzip` (the same edges, ids renumbered 0..n-1) for readers that make
    one vertex per number up to the largest id; only those of `kinds`.
    """
    directory = cache_dir("graphs")
    paths = {"plain": directory / f"{stem}.txt", "gzip": directory / f"{stem}.txt.gz",
             "dense": directory / f"{stem}-dense.txt",
             "dense_gzip": directory / f"{stem}-dense.txt.gz"}
    paths = {kind: path for kind, path in paths.items() if kind in kinds}
    for kind, path in paths.items():
        if path.exists():
            continue
        if kind.startswith("dense"):
            _write_lines(path, edge_set.dense.us, edge_set.dense.vs, kind.endswith("gzip"))
        else:
            _write_lines(path, edge_set.us, edge_set.vs, kind.endswith("gzip"))
    return paths


ROAD_GRID_SIDE = 2000
ROAD_GRID_REMOVED = 0.10
# Bump whenever damaged_grid's output changes, so stale caches are not reused.
DAMAGED_GRID_VERSION = 1


def edge_file(path: Path) -> EdgeSet:
    """A "u v" edge-list file as an edge set: loops and repeated pairs dropped."""
    us, vs = array.array("I"), array.array("I")
    seen = set()
    with open(path) as lines:
        for line in lines:
            u, v = map(int, line.split()[:2])
            key = (u, v) if u < v else (v, u)
            if u == v or key in seen:
                continue
            seen.add(key)
            us.append(u)
            vs.append(v)
    return EdgeSet(f"{path.name}, {len(us):,} edges", us, vs)


def _generate_damaged_grid(side: int, removed: float, seed: int):
    rng = random.Random(seed)
    ids = array.array("I", _scattered_ids(rng, side * side))
    cells = side * side
    # Edge e < cells joins cell e to its right neighbour, e >= cells joins
    # cell e - cells to the one below; the last column and row have no such edge.
    edges = [e for e in range(2 * cells)
             if (e < cells and e % side + 1 < side) or (e >= cells and e - cells < cells - side)]
    kept = rng.sample(edges, len(edges) - round(removed * len(edges)))
    del edges
    us = array.array("I", (ids[e if e < cells else e - cells] for e in kept))
    vs = array.array("I", (ids[e + 1 if e < cells else e - cells + side] for e in kept))
    touched = set(us)
    touched.update(vs)
    isolated = array.array("I", (x for x in ids if x not in touched))
    return us, vs, isolated


def damaged_grid(side: int = ROAD_GRID_SIDE, removed: float = ROAD_GRID_REMOVED,
                 seed: int = 5) -> EdgeSet:
    """A side x side grid with a seeded random share of its edges removed: a
    road-like graph.  Cells get scattered u32 ids, kept edges come in random
    order, and cells left with no edge stay as isolated vertices.  Cached."""
    path = cache_dir("graphs") / (f"damaged-grid-v{DAMAGED_GRID_VERSION}-{side}-"
                                  f"{round(removed * 100)}-{seed}.bin")
    if not path.exists():
        parts = _generate_damaged_grid(side, removed, seed)
        scratch = scratch_name(path)
        with open(scratch, "wb") as out:
            for part in parts:
                array.array("Q", [len(part)]).tofile(out)
                part.tofile(out)
        os.replace(scratch, path)
    parts = []
    with open(path, "rb") as source:
        for _ in range(3):
            length = array.array("Q")
            length.fromfile(source, 1)
            part = array.array("I")
            part.fromfile(source, length[0])
            parts.append(part)
    us, vs, isolated = parts
    return EdgeSet(f"grid {side}x{side}, {round(removed * 100)}% of edges removed",
                   us, vs, isolated)

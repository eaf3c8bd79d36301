"""Components and balls on grids, worn grids and mostly isolated vertices,
against a plain Python model (a dict of sets).

Grids are where the walks meet every vertex from four sides, so a vertex
already in a component is met again three times: whether it is recognised
by its id or by where it sits in the table, it must be neither lost nor
taken twice. Ids sit packed near 0, packed just below the largest id, or
scattered over the whole range; some grids lose edges and vertices after
they are built, which leaves holes and free slots in the tables behind."""

import random

import pytest

from quiverlane import Graph

from graph_checks import MAX_ID, model_ball, model_components, model_of

SIDE = 150


def grid_edges(side, ids):
    edges = []
    for row in range(side):
        for col in range(side):
            cell = row * side + col
            if col + 1 < side:
                edges.append((ids[cell], ids[cell + 1]))
            if row + 1 < side:
                edges.append((ids[cell], ids[cell + side]))
    return edges


def ids_near_zero(rng, n):
    ids = list(range(n))
    rng.shuffle(ids)
    return ids


def ids_near_max(rng, n):
    ids = list(range(MAX_ID - n + 1, MAX_ID + 1))
    rng.shuffle(ids)
    return ids


def ids_scattered(rng, n):
    return rng.sample(range(1, MAX_ID), n - 2) + [0, MAX_ID]


IDS = {"near-zero": ids_near_zero, "near-max": ids_near_max, "scattered": ids_scattered}


def build(edges, isolated=(), how="add_edge", tmp_path=None):
    if how == "add_edge":
        g = Graph()
        for u, v in edges:
            g.add_edge(u, v)
    else:
        path = tmp_path / "graph.txt"
        path.write_text("".join(f"{u} {v}\n" for u, v in edges))
        g = Graph.from_file(str(path))
    for v in isolated:
        g.add_vertex(v)
    return g


def assert_walks_match(g, adj, rng, radii=(1, 2, 3, 40)):
    assert g.num_vertices() == len(adj)
    parts = g.components()
    assert sum(map(len, parts)) == len(adj), "a vertex is missing or in two components"
    assert sorted(map(frozenset, parts), key=min) == model_components(adj)
    vertices = sorted(adj)
    for u in rng.sample(vertices, min(12, len(vertices))) + [vertices[0], vertices[-1]]:
        for r in radii:
            assert g.r_neighbours(u, r) == model_ball(adj, u, r), (u, r)


@pytest.mark.parametrize("how", ["add_edge", "from_file"])
@pytest.mark.parametrize("ids", sorted(IDS))
def test_grid(ids, how, tmp_path):
    rng = random.Random(ids)
    edges = grid_edges(SIDE, IDS[ids](rng, SIDE * SIDE))
    rng.shuffle(edges)
    assert_walks_match(build(edges, how=how, tmp_path=tmp_path), model_of(edges), rng)


@pytest.mark.parametrize("ids", sorted(IDS))
def test_grid_with_edges_removed(ids):
    # A tenth of the edges gone: the grid falls apart into a large part and
    # many small ones, and neighbour sets shrink below four members.
    rng = random.Random(f"edges {ids}")
    edges = grid_edges(SIDE, IDS[ids](rng, SIDE * SIDE))
    g = build(edges)
    gone = set(rng.sample(edges, len(edges) // 10))
    for u, v in gone:
        assert g.remove_edge(u, v)
    kept = [e for e in edges if e not in gone]
    assert_walks_match(g, model_of(kept, {x for e in edges for x in e}), rng)


@pytest.mark.parametrize("ids", sorted(IDS))
def test_grid_with_vertices_removed(ids):
    rng = random.Random(f"vertices {ids}")
    cells = IDS[ids](rng, SIDE * SIDE)
    edges = grid_edges(SIDE, cells)
    g = build(edges)
    gone = set(rng.sample(cells, len(cells) // 5))
    for v in gone:
        assert g.remove_vertex(v)
    kept = [(u, v) for u, v in edges if u not in gone and v not in gone]
    assert_walks_match(g, model_of(kept, set(cells) - gone), rng)


@pytest.mark.parametrize("ids", sorted(IDS))
def test_mostly_isolated(ids):
    # Most components are single vertices; a few are pairs, paths and loops.
    rng = random.Random(f"isolated {ids}")
    cells = IDS[ids](rng, 30000)
    touched = cells[:6000]
    edges = [(rng.choice(touched), rng.choice(touched)) for _ in range(2500)]
    edges += [(v, v) for v in cells[6000:6100]]
    g = build(edges, cells)
    assert_walks_match(g, model_of(edges, cells), rng)


def test_ids_at_both_ends_in_one_grid():
    # Half the cells near 0, half near the largest id, interleaved, so that
    # one component holds ids of both kinds side by side.
    rng = random.Random("both ends")
    n = SIDE * SIDE
    ids = [i // 2 if i % 2 == 0 else MAX_ID - i // 2 for i in range(n)]
    rng.shuffle(ids)
    edges = grid_edges(SIDE, ids)
    assert_walks_match(build(edges), model_of(edges), rng)


@pytest.mark.slow
@pytest.mark.parametrize("ids", sorted(IDS))
def test_large_worn_grid(ids):
    # Large enough that the visited marks and the queue outgrow every cache
    # and every inline buffer.
    side = 500
    rng = random.Random(f"large {ids}")
    cells = IDS[ids](rng, side * side)
    edges = grid_edges(side, cells)
    rng.shuffle(edges)
    kept = edges[len(edges) // 10:]
    g = build(kept, cells)
    assert_walks_match(g, model_of(kept, cells), rng, radii=(1, 3, 12))

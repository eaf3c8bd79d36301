"""Every result set and list equals a plain Python model, at the sizes where
the way it is built changes.

Large results are put in the order of the slots their ints take in the new
set's table before they are added; small ones are added as they come. The
sizes here sit on both sides of each switch (from unordered to ordered, from
two counting passes to three, from a set that grows fourfold to one that
grows twofold), with ids packed near 0, packed just below 2**32, spread over the
whole range, and all sharing the same low bits (one bucket of the counting
sort). The models are dicts of sets built from the edge lists alone.
"""

import random

import pytest

from quiverlane import Graph

from conftest import DATA_DIR, build_graph
from graph_checks import MAX_ID, model_ball, model_components, model_of

# Around the switch to ordering (4096), a table of 2**17 slots (19661, two
# uneven digits) and twofold growth (78643).
# The last is slow with the crowded ids: the model's own sets collide.
SIZES = [1, 5, 4095, 4096, 19660, 19661, pytest.param(78643, marks=pytest.mark.slow)]


def id_block(kind, count):
    """`count` distinct ids of the given kind, in an order of their own."""
    if kind == "near_zero":
        ids = list(range(count))
    elif kind == "near_max":
        ids = list(range(MAX_ID - count + 1, MAX_ID + 1))
    elif kind == "same_low_bits":
        # Equal in their low 12 bits: few counting buckets, all crowded.
        ids = [(i << 12) | 0xA5A for i in range(count)]
    else:
        ids = random.Random(count).sample(range(MAX_ID + 1), count)
    random.Random(kind).shuffle(ids)
    return ids


KINDS = ["near_zero", "near_max", "same_low_bits", "scattered"]


def star(kind, leaves):
    """A star: a centre outside the leaves' ids and `leaves` leaves."""
    ids = id_block(kind, leaves + 1)
    centre, rest = ids[0], ids[1:]
    return centre, rest, [(centre, v) for v in rest]


def check_every_result(g, adj, probes):
    assert g.vertices() == set(adj)
    assert sorted(g.edges()) == sorted({(min(u, v), max(u, v)) for u in adj for v in adj[u]})
    assert sorted(map(frozenset, g.components()), key=min) == model_components(adj)
    for u in probes:
        assert g.neighbours(u) == adj[u]
        for r in range(4):
            assert g.r_neighbours(u, r) == model_ball(adj, u, r)
    closed = set().union(*(adj[u] for u in probes))
    assert g.closed_neighbourhood(set(probes)) == closed
    assert g.neighbourhood(set(probes)) == closed - set(probes)


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("leaves", SIZES)
def test_star_results_match_the_model(kind, leaves):
    centre, rest, edges = star(kind, leaves)
    adj = model_of(edges)
    g = build_graph(edges)
    check_every_result(g, adj, [centre, rest[0], rest[-1]])


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("count", SIZES)
def test_isolated_vertices_match_the_model(kind, count):
    # One component per vertex, and a vertex set of every size.
    ids = id_block(kind, count)
    adj = model_of([], ids)
    g = build_graph(vertices=ids)
    assert g.vertices() == set(ids)
    assert g.edges() == []
    assert sorted(map(frozenset, g.components()), key=min) == model_components(adj)
    assert g.closed_neighbourhood(set(ids)) == set()
    assert g.r_neighbours(ids[0], 3) == {ids[0]}


def grid_edges(side, ids, removed_share, rng):
    """A side x side grid over `ids` (row-major) with a share of its edges
    removed at random."""
    edges = []
    for r in range(side):
        for c in range(side):
            v = ids[r * side + c]
            if c + 1 < side:
                edges.append((v, ids[r * side + c + 1]))
            if r + 1 < side:
                edges.append((v, ids[(r + 1) * side + c]))
    return [e for e in edges if rng.random() >= removed_share]


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("removed_share", [0.0, 0.1])
def test_grid_results_match_the_model(kind, removed_share):
    side = 160
    ids = id_block(kind, side * side)
    rng = random.Random(kind)
    edges = grid_edges(side, ids, removed_share, rng)
    adj = model_of(edges, ids)
    g = build_graph(edges, ids)
    check_every_result(g, adj, rng.sample(ids, 5) + [ids[0], ids[-1]])
    # Balls wide enough to be ordered before they become sets.
    for u in rng.sample(ids, 3):
        assert g.r_neighbours(u, 60) == model_ball(adj, u, 60)


def power_law_edges(ids, count, rng):
    weights = [1.0 / (i + 1) ** 0.9 for i in range(len(ids))]
    ends = rng.choices(ids, weights, k=2 * count)
    return list(zip(ends[0::2], ends[1::2]))


@pytest.mark.parametrize("kind", KINDS)
def test_power_law_results_match_the_model(kind):
    ids = id_block(kind, 30000)
    rng = random.Random(kind)
    edges = power_law_edges(ids, 90000, rng)
    adj = model_of(edges, ids[-2000:])
    g = build_graph(edges, ids[-2000:])
    hubs = sorted(adj, key=lambda v: len(adj[v]), reverse=True)[:3]
    assert len(adj[hubs[0]]) >= 4096  # a neighbour set that is ordered first
    check_every_result(g, adj, hubs + rng.sample(sorted(adj), 4))
    c = set(rng.sample(sorted(adj), 15000))
    closed = set().union(*(adj[x] for x in c))
    assert g.closed_neighbourhood(c) == closed
    assert g.neighbourhood(c) == closed - c


@pytest.mark.slow
@pytest.mark.parametrize("kind", ["near_zero", "scattered"])
def test_million_vertex_grid_results_match_the_model(kind):
    # The grid's one component is a single set of a million ints.
    side = 1000
    ids = id_block(kind, side * side)
    rng = random.Random(kind)
    edges = grid_edges(side, ids, 0.0, rng)
    g = build_graph(edges)
    (part,) = g.components()
    assert part == set(ids)
    assert g.vertices() == set(ids)
    assert g.r_neighbours(ids[0], 2 * side) == set(ids)
    assert len(g.edges()) == len(edges)
    assert set(g.edges()) == {(min(u, v), max(u, v)) for u, v in edges}


@pytest.mark.slow
def test_set_sorted_in_three_passes_matches_the_model():
    # 2,517,000 members end in a table of 2**23 slots: three counting passes.
    ids = id_block("scattered", 2_517_000)
    g = build_graph(vertices=ids)
    assert g.vertices() == set(ids)


def data_set_edges(name):
    edges = []
    with open(DATA_DIR / name) as lines:
        for line in lines:
            a, b = map(int, line.split())
            edges.append((a, b))
    return edges


# Plain "u v" files small enough to check every result of in a second or two.
QUICK_DATA_SETS = ["ca-GrQc.edges", "facebook_combined.txt", "out.opsahl-powergrid.edges",
                   "road-usroads-48.edges", "as-caida20070917.edges"]


@pytest.mark.parametrize("name", QUICK_DATA_SETS)
def test_data_set_results_match_the_model(name):
    if not (DATA_DIR / name).is_file():
        pytest.skip(f"no {name} in {DATA_DIR}")
    edges = data_set_edges(name)
    adj = model_of(edges)
    g = Graph.from_file(str(DATA_DIR / name))
    rng = random.Random(name)
    hubs = sorted(adj, key=lambda v: len(adj[v]), reverse=True)[:2]
    check_every_result(g, adj, hubs + rng.sample(sorted(adj), 6))

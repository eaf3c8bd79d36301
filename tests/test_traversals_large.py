"""Traversals and result building on graphs large enough for every bulk path,
against a plain Python model (a dict of sets).

The graphs are big enough that components, balls and neighbourhoods keep
many lookups in flight, that large argument sets are looked up in order of
hash and tested for membership in a bitmap when their ids are packed
closely, and that large results are put in order before they become Python
sets. Ids are small and packed (so visited vertices are marked by id),
spread over the whole 32-bit range (marked by slot), or both in one graph,
with the largest id, loops and isolated vertices in each. Every graph is
built twice: edge by edge with add_edge, and from a file, whose loader lays
the tables out differently."""

import random

import pytest

from quiverlane import Graph

from graph_checks import MAX_ID, edge_set, fault_of, model_ball, model_components, model_of, snapshot


# --- the graphs --------------------------------------------------------------

def skewed_edges(rng, ids, count):
    """Edges between ids drawn with a heavy skew: hubs, a long tail, repeats."""
    weights = [1.0 / (i + 1) ** 0.8 for i in range(len(ids))]
    ends = rng.choices(ids, weights, k=2 * count)
    return list(zip(ends[0::2], ends[1::2]))


def scattered(rng):
    """Ids spread over the whole 32-bit range."""
    ids = rng.sample(range(1, MAX_ID), 60000) + [0, MAX_ID]
    rng.shuffle(ids)
    edges = skewed_edges(rng, ids[:48000], 120000)
    edges += [(v, v) for v in rng.sample(ids, 300)]
    edges += [(MAX_ID, v) for v in rng.sample(ids, 40)]
    return edges, ids[48000:]  # the rest stay isolated unless an edge found them


def packed(rng):
    """Ids 0..n-1, a grid, a long path, a star and many small components."""
    side, edges = 120, []
    for r in range(side):
        for c in range(side):
            v = r * side + c
            if c + 1 < side:
                edges.append((v, v + 1))
            if r + 1 < side:
                edges.append((v, v + side))
    base = side * side
    edges += [(base + i, base + i + 1) for i in range(6000)]  # a path, 6000 levels deep
    base += 7000
    edges += [(base, base + i) for i in range(1, 5000)]  # a star
    base += 6000
    small = list(range(base, base + 20000))
    edges += list(zip(small[0::2], small[1::2]))[:6000]
    edges += [(v, v) for v in small[12000:12300]]
    edges += skewed_edges(rng, list(range(base)), 3000)
    return edges, small[12000:]


def mixed(rng):
    """Packed small ids and scattered large ones in the same components."""
    small = list(range(45000))
    large = rng.sample(range(2**31, MAX_ID), 8000) + [MAX_ID]
    edges = skewed_edges(rng, small + large, 100000)
    edges += [(MAX_ID, MAX_ID), (0, MAX_ID), (0, 0)]
    return edges, rng.sample(range(45000, 90000), 3000) + rng.sample(range(2**24, 2**31), 3000)


GRAPHS = {"scattered": scattered, "packed": packed, "mixed": mixed}


@pytest.fixture(scope="module", params=sorted(GRAPHS))
def case(request, tmp_path_factory):
    rng = random.Random(request.param)
    edges, isolated = GRAPHS[request.param](rng)
    adj = model_of(edges, isolated)
    by_edge = Graph()
    for u, v in edges:
        by_edge.add_edge(u, v)
    path = tmp_path_factory.mktemp("graphs") / f"{request.param}.txt"
    path.write_text("".join(f"{u} {v}\n" for u, v in edges))
    from_file = Graph.from_file(str(path))
    for v in isolated:
        by_edge.add_vertex(v)
        from_file.add_vertex(v)
    return request.param, adj, {"add_edge": by_edge, "from_file": from_file}


@pytest.fixture(params=["add_edge", "from_file"])
def built(case, request):
    name, adj, graphs = case
    g = graphs[request.param]
    assert g.num_vertices() == len(adj)
    return name, adj, g


# --- the model ---------------------------------------------------------------

def model_closed(adj, c):
    found = set()
    for x in c:
        found |= adj[x]
    return found


def model_subgraph(adj, selection):
    return {x: adj[x] & selection for x in selection}


def sample(rng, adj, size):
    return set(rng.sample(sorted(adj), min(size, len(adj))))


# --- the tests ---------------------------------------------------------------

def test_components_match_the_model(built):
    _, adj, g = built
    parts = g.components()
    assert type(parts) is list and all(type(p) is set for p in parts)
    assert sum(map(len, parts)) == len(adj)
    assert sorted(map(frozenset, parts), key=min) == model_components(adj)


@pytest.mark.parametrize("size", [0, 1, 9, 3000, 20000, 10**9])
def test_neighbourhoods_match_the_model(built, size):
    name, adj, g = built
    c = sample(random.Random(size), adj, size)
    closed = model_closed(adj, c)
    result = g.closed_neighbourhood(c)
    assert type(result) is set and all(type(v) is int for v in result)
    assert result == closed
    assert g.neighbourhood(c) == closed - c


@pytest.mark.parametrize("size", [1, 3000, 20000, 10**9])
def test_subgraph_matches_the_model(built, size):
    _, adj, g = built
    selection = sample(random.Random(size + 1), adj, size)
    before = snapshot(g)
    sub = g.subgraph(selection)
    expected = model_subgraph(adj, selection)
    assert sub.vertices() == selection
    assert edge_set(sub) == {(min(x, y), max(x, y)) for x in expected for y in expected[x]}
    assert sub.num_edges() == len(edge_set(sub))
    for x in rng_pick(selection, 3000):
        assert sub.neighbours(x) == expected[x]
        assert sub.degree(x) == len(expected[x]) + (1 if x in expected[x] else 0)
    assert snapshot(g) == before


def rng_pick(values, count):
    return random.Random(count).sample(sorted(values), min(count, len(values)))


@pytest.mark.parametrize("r", [1, 2, 3, 7, MAX_ID])
def test_r_neighbours_match_the_model(built, r):
    _, adj, g = built
    # Balls this large span whole components: a few starts cover them.
    starts = rng_pick(adj, 12 if r <= 3 else 3) + [v for v in (0, MAX_ID) if v in adj]
    for u in starts:
        assert g.r_neighbours(u, r) == model_ball(adj, u, min(r, len(adj)))


def test_neighbours_match_the_model(built):
    _, adj, g = built
    for u in rng_pick(adj, 4000) + [v for v in (0, MAX_ID) if v in adj]:
        assert g.neighbours(u) == adj[u]


@pytest.mark.parametrize("method", ["neighbourhood", "closed_neighbourhood", "subgraph"])
@pytest.mark.parametrize("size", [10, 20000])
def test_absent_member_among_many_faults_and_changes_nothing(built, method, size):
    _, adj, g = built
    c = sample(random.Random(size + 7), adj, size)
    absent = next(v for v in range(1, MAX_ID) if v not in adj)
    before = snapshot(g)
    fault_of(lambda: getattr(g, method)(c | {absent}))
    assert snapshot(g) == before


def test_r_neighbours_of_absent_vertex(built):
    _, adj, g = built
    absent = next(v for v in range(1, MAX_ID) if v not in adj)
    assert g.r_neighbours(absent, 0) == {absent}
    fault_of(lambda: g.r_neighbours(absent, 1))
    fault_of(lambda: g.r_neighbours(absent, MAX_ID))

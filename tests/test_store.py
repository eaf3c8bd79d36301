"""The graph store through the Python API: edits, queries and their edge cases."""

import pytest

from quiverlane import Graph

from conftest import build_graph, run_python
from graph_checks import MAX_ID, check_graph, edge_set, snapshot


# --- a new graph ---------------------------------------------------------

def test_empty_graph():
    g = Graph()
    assert g.num_vertices() == 0
    assert g.num_edges() == 0
    assert g.vertices() == set()
    assert g.edges() == []
    assert g.remove_loops() == 0
    assert g.remove_isolates() == 0
    assert g.copy().num_vertices() == 0
    check_graph(g)


@pytest.mark.parametrize("v", [0, 1, 7, MAX_ID - 1, MAX_ID])
def test_queries_on_absent_vertex_create_nothing(v):
    g = build_graph([(1, 2)] if v not in (1, 2) else [(3, 4)])
    before = snapshot(g)
    assert g.degree(v) == 0
    assert g.adjacent(v, 1) is False
    assert g.adjacent(1, v) is False
    assert g.adjacent(v, v) is False
    assert g.contains(v) is False
    assert g.remove_vertex(v) is False
    assert g.remove_edge(v, 1) is False
    assert g.remove_edge(1, v) is False
    assert g.remove_edge(v, v) is False
    assert snapshot(g) == before


# --- add_vertex ------------------------------------------------------------

@pytest.mark.parametrize("v", [0, 5, MAX_ID])
def test_add_vertex_new_and_existing(v):
    g = Graph()
    assert g.add_vertex(v) is None
    assert g.vertices() == {v}
    assert g.degree(v) == 0
    assert g.neighbours(v) == set()
    assert g.add_vertex(v) is None
    assert g.num_vertices() == 1


def test_add_vertex_existing_keeps_neighbours_and_degree():
    g = build_graph([(1, 2), (1, 1), (1, 3)])
    g.add_vertex(1)
    assert g.neighbours(1) == {1, 2, 3}
    assert g.degree(1) == 4
    assert g.num_edges() == 3
    check_graph(g)


# --- add_edge --------------------------------------------------------------

@pytest.mark.parametrize("u, v", [(1, 2), (2, 1), (0, MAX_ID), (MAX_ID, 0), (MAX_ID, MAX_ID - 1), (0, 1)])
def test_add_edge_creates_endpoints(u, v):
    g = Graph()
    assert g.add_edge(u, v) is True
    assert g.vertices() == {u, v}
    assert g.degree(u) == 1 and g.degree(v) == 1
    assert g.num_edges() == 1
    assert g.edges() == [(min(u, v), max(u, v))]
    assert g.neighbours(u) == {v} and g.neighbours(v) == {u}
    # Either direction finds the edge present.
    assert g.add_edge(u, v) is False
    assert g.add_edge(v, u) is False
    assert g.num_edges() == 1
    assert g.degree(u) == 1
    check_graph(g)


@pytest.mark.parametrize("v", [0, 5, MAX_ID])
def test_loop(v):
    g = Graph()
    assert g.add_edge(v, v) is True
    assert g.vertices() == {v}
    assert g.neighbours(v) == {v}
    assert g.degree(v) == 2
    assert g.num_edges() == 1
    assert g.adjacent(v, v) is True
    assert g.edges() == [(v, v)]
    assert g.add_edge(v, v) is False
    assert g.degree(v) == 2
    check_graph(g)


def test_add_edge_with_one_existing_endpoint():
    g = build_graph([(1, 2)])
    assert g.add_edge(2, 3) is True
    assert g.add_edge(4, 1) is True
    assert g.degree(1) == 2 and g.degree(2) == 2
    assert g.degree(3) == 1 and g.degree(4) == 1
    assert edge_set(g) == {(1, 2), (2, 3), (1, 4)}
    check_graph(g)


def test_edges_are_ordered_unsigned():
    g = build_graph([(3, 1), (1, 2), (MAX_ID, 0), (2**31, 2**31 - 1), (MAX_ID, 2**31)])
    assert edge_set(g) == {(1, 3), (1, 2), (0, MAX_ID), (2**31 - 1, 2**31), (2**31, MAX_ID)}
    check_graph(g)


# --- remove_edge -----------------------------------------------------------

def test_remove_edge_keeps_endpoints():
    g = build_graph([(1, 2), (2, 3)])
    assert g.remove_edge(2, 1) is True
    assert g.vertices() == {1, 2, 3}
    assert g.degree(1) == 0 and g.degree(2) == 1
    assert g.neighbours(1) == set()
    assert g.num_edges() == 1
    assert g.remove_edge(1, 2) is False
    assert g.remove_edge(2, 1) is False
    check_graph(g)


@pytest.mark.parametrize("u, v", [(1, 3), (3, 1), (1, 1), (9, 1), (1, 9), (9, 9), (2, 2)])
def test_remove_absent_edge_changes_nothing(u, v):
    g = build_graph([(1, 2), (2, 3)], vertices=[4])
    before = snapshot(g)
    assert g.remove_edge(u, v) is False
    assert snapshot(g) == before


@pytest.mark.parametrize("v", [5, 0, MAX_ID])
def test_remove_loop_edge(v):
    g = build_graph([(v, v), (v, 1 if v != 1 else 2)])
    assert g.degree(v) == 3
    assert g.remove_edge(v, v) is True
    assert g.degree(v) == 1
    assert g.num_edges() == 1
    assert g.adjacent(v, v) is False
    assert g.remove_edge(v, v) is False
    check_graph(g)


# --- remove_vertex ---------------------------------------------------------

def test_remove_vertex_with_neighbours_and_loop():
    g = build_graph([(1, 2), (1, 3), (1, 1), (2, 3)])
    assert g.num_edges() == 4
    assert g.remove_vertex(1) is True
    assert g.num_edges() == 1
    assert g.degree(2) == 1 and g.degree(3) == 1
    assert g.neighbours(2) == {3} and g.neighbours(3) == {2}
    assert not g.contains(1)
    assert g.degree(1) == 0
    assert g.remove_vertex(1) is False
    check_graph(g)


@pytest.mark.parametrize("hub", [0, 7, MAX_ID])
@pytest.mark.parametrize("spokes", [1, 3, 4, 100])
def test_remove_hub_vertex(hub, spokes):
    leaves = [hub + 1 + i if hub != MAX_ID else i for i in range(spokes)]
    g = build_graph([(hub, leaf) for leaf in leaves] + [(hub, hub)])
    assert g.degree(hub) == spokes + 2
    assert g.remove_vertex(hub) is True
    assert g.num_edges() == 0
    assert g.vertices() == set(leaves)
    assert all(g.degree(leaf) == 0 for leaf in leaves)
    check_graph(g)


def test_remove_isolated_vertex():
    g = build_graph([(1, 2)], vertices=[3])
    assert g.remove_vertex(3) is True
    assert g.vertices() == {1, 2}
    assert g.num_edges() == 1


# --- remove_loops and remove_isolates --------------------------------------

def test_remove_loops():
    g = build_graph([(1, 1), (4, 4), (1, 2), (4, 3), (MAX_ID, MAX_ID)])
    assert g.remove_loops() == 3
    assert g.vertices() == {1, 2, 3, 4, MAX_ID}
    assert g.degree(1) == 1 and g.degree(4) == 1 and g.degree(MAX_ID) == 0
    assert edge_set(g) == {(1, 2), (3, 4)}
    assert g.remove_loops() == 0
    check_graph(g)


def test_remove_isolates_keeps_loop_only_vertex():
    g = build_graph([(5, 5), (1, 2)], vertices=[3, 0, MAX_ID])
    assert g.remove_isolates() == 3
    assert g.vertices() == {1, 2, 5}
    assert g.remove_isolates() == 0
    assert g.remove_loops() == 1
    assert g.remove_isolates() == 1
    assert g.vertices() == {1, 2}
    check_graph(g)


def test_remove_isolates_after_edges_removed():
    g = build_graph([(i, i + 1) for i in range(50)])
    for i in range(0, 50, 2):
        g.remove_edge(i, i + 1)
    # Path 0-1-...-50 without its even edges: only vertex 0 is left bare.
    assert g.remove_isolates() == 1
    assert g.vertices() == set(range(1, 51))
    g = build_graph([(i, i + 1) for i in range(0, 50, 2)])
    for i in range(0, 50, 2):
        g.remove_edge(i + 1, i)
    assert g.remove_isolates() == 50
    assert g.num_vertices() == 0
    check_graph(g)


def test_remove_isolates_on_many_isolated():
    g = build_graph(vertices=range(1000))
    g.add_edge(10, 20)
    assert g.remove_isolates() == 998
    assert g.vertices() == {10, 20}


# --- copy ------------------------------------------------------------------

def test_copy_equals_source():
    g = build_graph([(1, 2), (2, 3), (3, 3), (0, MAX_ID), (MAX_ID, MAX_ID)], vertices=[9, MAX_ID - 1])
    c = g.copy()
    assert type(c) is Graph and c is not g
    assert snapshot(c) == snapshot(g)
    assert repr(c) == repr(g)
    check_graph(c)


def test_copy_is_independent():
    g = build_graph([(1, 2), (2, 3)], vertices=[7])
    c = g.copy()
    c.add_edge(1, 3)
    c.remove_vertex(7)
    c.remove_edge(1, 2)
    assert edge_set(g) == {(1, 2), (2, 3)}
    assert g.vertices() == {1, 2, 3, 7}
    g.add_edge(8, 8)
    g.remove_vertex(2)
    assert edge_set(c) == {(1, 3), (2, 3)}
    assert not c.contains(8)
    check_graph(g)
    check_graph(c)


def test_copy_survives_source_deletion():
    g = build_graph([(i, (i * 7) % 101) for i in range(101)])
    expected = snapshot(g)
    c = g.copy()
    del g
    assert snapshot(c) == expected


def test_copy_of_copy_of_large_graph():
    g = build_graph([(i, j) for i in range(40) for j in range(i, 40, 3)])
    c = g.copy().copy()
    assert snapshot(c) == snapshot(g)
    check_graph(c)


# --- growth and shrinking of neighbour sets ----------------------------------

@pytest.mark.parametrize("size", [0, 1, 2, 3, 4, 5, 7, 8, 13, 64, 1000])
@pytest.mark.parametrize("with_extremes", [False, True])
def test_neighbour_set_grows_and_empties(size, with_extremes):
    hub = 10**6
    members = list(range(size))
    if with_extremes:
        members += [MAX_ID, 0, MAX_ID - 1]
        members = list(dict.fromkeys(members))
    g = build_graph(vertices=[hub])
    for m in members:
        assert g.add_edge(hub, m) is True
    assert g.neighbours(hub) == set(members)
    assert g.degree(hub) == len(members)
    check_graph(g)
    # Remove in an interleaved order, checking after each removal.
    order = members[::2] + members[1::2]
    for i, m in enumerate(order):
        assert g.remove_edge(m, hub) is True
        assert g.neighbours(hub) == set(order[i + 1 :])
        assert g.degree(hub) == len(order) - i - 1
    assert g.num_edges() == 0
    # Re-insert after emptying.
    for m in reversed(members):
        assert g.add_edge(hub, m) is True
    assert g.neighbours(hub) == set(members)
    check_graph(g)


def test_many_vertices_with_extremes():
    vertices = list(range(0, 5000, 3)) + [MAX_ID, MAX_ID - 1, 2**31, 2**31 - 1]
    g = build_graph(vertices=vertices)
    assert g.vertices() == set(vertices)
    for v in vertices[::2]:
        assert g.remove_vertex(v) is True
    assert g.vertices() == set(vertices[1::2])
    for v in vertices:
        g.add_vertex(v)
    assert g.vertices() == set(vertices)


def test_colliding_home_slots():
    # Ids chosen to share their low hash bits pile up on the same probe run.
    def fnv(v):
        h = 0xCBF29CE484222325
        for byte in v.to_bytes(4, "little"):
            h = ((h ^ byte) * 0x100000001B3) % 2**64
        return (h ^ (h >> 32)) & 0xFF

    same = [v for v in range(200000) if fnv(v) == 0][:40]
    assert len(same) == 40
    g = Graph()
    for v in same:
        g.add_edge(same[0], v)
    assert g.neighbours(same[0]) == set(same)
    for v in same[1::2]:
        assert g.remove_vertex(v) is True
    assert g.vertices() == set(same[0::2])
    assert g.neighbours(same[0]) == set(same[0::2])
    for v in same[1::2]:
        assert not g.contains(v)
        assert g.degree(v) == 0
    check_graph(g)


def test_dense_graph_edge_count():
    n = 60
    g = build_graph([(i, j) for i in range(n) for j in range(i, n)])
    assert g.num_edges() == n * (n + 1) // 2
    assert all(g.degree(v) == n + 1 for v in range(n))
    check_graph(g)
    assert g.remove_loops() == n
    assert g.num_edges() == n * (n - 1) // 2
    for v in range(0, n, 2):
        g.remove_vertex(v)
    assert g.num_edges() == (n // 2) * (n // 2 - 1) // 2
    check_graph(g)


# --- releasing graphs --------------------------------------------------------

@pytest.mark.parametrize("how", ["del", "copy", "replace"])
def test_release_graph_holding_largest_id(how):
    # The largest id is kept apart from the hash tables' slots; releasing it
    # with a neighbour set of any size must free each table exactly once.
    result = run_python(
        f"""
        from quiverlane import Graph
        MAX_ID = {MAX_ID}
        for degree in [0, 1, 3, 4, 5, 50]:
            g = Graph()
            g.add_vertex(MAX_ID)
            for i in range(degree):
                g.add_edge(MAX_ID, i)
            if "{how}" == "copy":
                c = g.copy()
                assert c.neighbours(MAX_ID) == set(range(degree))
                del c
            elif "{how}" == "replace":
                g = g.copy()
            g.remove_vertex(0)
            del g
        print("released")
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "released\n"

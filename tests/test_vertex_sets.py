"""Vertex-set methods through the Python API: set arguments, neighbourhoods,
balls, contraction, induced subgraphs and components, their faults and the
graph left unchanged when they fail. Random cases against a model are in
test_vertex_sets_model.py; these are the chosen ones."""

import gc

import pytest

from quiverlane import Graph

import method_surface as surface
from conftest import build_graph
from graph_checks import ABSENT, ID_END, MAX_ID, check_graph, edge_set, fault_of, snapshot

SET_METHODS = surface.names_where(lambda m: m.takes(surface.VERTEX_SET))


def call_with_set(g, method, vertex_set):
    # Vertex parameters beside the set get vertex 1.
    args = [vertex_set if p.annotation == surface.VERTEX_SET else 1 for p in surface.BY_NAME[method].params]
    return getattr(g, method)(*args)


def path(*vertices):
    return build_graph(list(zip(vertices, vertices[1:])))


def partition(g):
    parts = g.components()
    assert type(parts) is list and all(type(p) is set for p in parts)
    assert sum(map(len, parts)) == g.num_vertices()
    assert set().union(*parts) == g.vertices()
    return sorted(map(frozenset, parts), key=sorted)


class Index:
    """An int stand-in; runs `action` during conversion."""

    def __init__(self, value, action=None):
        self.value = value
        self.action = action

    def __index__(self):
        if self.action is not None:
            self.action()
        return self.value


class SetSubclass(set):
    pass


class SetWithOwnIteration(set):
    """Conversion walks the set's storage, never its Python protocol."""

    def __iter__(self):
        raise AssertionError("__iter__ called")

    def __len__(self):
        raise AssertionError("__len__ called")


# --- set arguments ----------------------------------------------------------

NOT_SETS = [[1, 2], (1,), frozenset({1}), {1: 2}, {1: 2}.keys(), None, 1, "12", range(2),
            (v for v in [1])]


@pytest.mark.parametrize("method", SET_METHODS)
@pytest.mark.parametrize("argument", NOT_SETS, ids=lambda a: type(a).__name__)
def test_only_sets_are_accepted(method, argument):
    g = path(1, 2, 3)
    before = snapshot(g)
    with pytest.raises(TypeError) as info:
        call_with_set(g, method, argument)
    assert type(info.value) is TypeError and info.value.args == ()
    assert snapshot(g) == before


@pytest.mark.parametrize("make", [SetSubclass, SetWithOwnIteration])
def test_subclasses_of_set_are_accepted(make):
    g = path(1, 2, 3, 4)
    assert g.neighbourhood(make({2})) == {1, 3}
    assert edge_set(g.subgraph(make({1, 2}))) == {(1, 2)}
    g.contract_into(2, make({2, 3}))
    assert edge_set(g) == {(1, 2), (2, 4)}


@pytest.mark.parametrize(
    "members, error, args",
    [
        ({1, "a"}, TypeError, None),
        ({1, 2.0}, TypeError, None),
        ({1, -5}, OverflowError, ()),
        ({1, ID_END}, OverflowError, ()),
        ({1, 2**64}, OverflowError, None),
    ],
)
@pytest.mark.parametrize("method", SET_METHODS)
def test_bad_member_fails_the_call_and_leaves_the_graph(method, members, error, args):
    g = path(1, 2, 3)
    before = snapshot(g)
    with pytest.raises(error) as info:
        call_with_set(g, method, members)
    assert type(info.value) is error
    if args is not None:
        assert info.value.args == args
    assert snapshot(g) == before


def test_index_objects_and_bools_are_members_and_may_coincide():
    g = build_graph([(1, 2), (1, 3), (7, 3)])
    assert g.closed_neighbourhood({True, Index(7)}) == {2, 3}
    assert g.closed_neighbourhood({Index(1), Index(1), 1}) == {2, 3}
    assert g.subgraph({Index(3), Index(7), Index(7)}).edges() == [(3, 7)]


def test_conversion_stops_at_the_first_failing_member():
    calls = []

    def fail():
        calls.append(1)
        raise LookupError("from __index__")

    with pytest.raises(LookupError) as info:
        path(10, 11, 12).neighbourhood({Index(10, fail), Index(11, fail), Index(12, fail)})
    assert info.value.args == ("from __index__",)
    assert len(calls) == 1


def test_members_may_query_the_graph_except_during_exclusive_calls():
    g = path(1, 2, 3)
    before = snapshot(g)
    assert g.neighbourhood({Index(1, g.num_vertices)}) == {2}
    for method in ("contract", "contract_into"):
        with pytest.raises(RuntimeError) as info:
            call_with_set(g, method, {Index(2, g.num_vertices), 3})
        assert type(info.value).__name__ == "PyBorrowError"
        assert snapshot(g) == before
    assert g.contract({2, 3}) in {2, 3}


def test_member_that_empties_the_set_during_conversion():
    members = set()
    members.update(Index(v, members.clear) for v in (1, 2, 3))
    # Only the member converted first is left to see.
    assert path(1, 2, 3).closed_neighbourhood(members) in ({2}, {1, 3})


def test_large_argument_sets():
    n = 20000
    g = path(*range(n))
    assert g.closed_neighbourhood(set(range(0, n, 2))) == set(range(1, n, 2))
    assert g.neighbourhood(set(range(n // 2))) == {n // 2}
    assert g.subgraph(set(range(100, n))).num_edges() == n - 101


def test_argument_set_is_left_alone():
    g = path(1, 2, 3)
    members = {1, 2}
    g.neighbourhood(members)
    g.contract_into(2, members)
    assert members == {1, 2}


# --- argument matching ------------------------------------------------------

@pytest.mark.parametrize(
    "method, args, kwargs, message",
    [
        ("neighbourhood", (), {}, "PyGraph.neighbourhood() missing required positional argument: c"),
        ("closed_neighbourhood", ({1}, {2}), {},
         "PyGraph.closed_neighbourhood() takes at most 1 positional argument (2 given)"),
        ("r_neighbours", (1, 2), {"u": 1}, "PyGraph.r_neighbours() got multiple values for argument: u"),
        ("contract", (), {"c": {1}}, "PyGraph.contract() missing required positional argument: vertices"),
        ("contract_into", ({1},), {}, "PyGraph.contract_into() missing required positional argument: vertices"),
        ("subgraph", (set(),), {"vertex": 1}, "PyGraph.subgraph() got an unexpected keyword argument: vertex"),
    ],
)
def test_matcher_messages_name_the_method(method, args, kwargs, message):
    g = path(1, 2)
    with pytest.raises(TypeError) as info:
        getattr(g, method)(*args, **kwargs)
    assert info.value.args == (message,)


def test_keyword_arguments():
    g = path(1, 2, 3, 4)
    assert g.neighbourhood(c={1}) == g.closed_neighbourhood(c={1}) == {2}
    assert g.r_neighbours(r=1, u=1) == {1, 2}
    assert g.subgraph(vertices={1, 2}).num_edges() == 1
    g.contract_into(vertices={3, 4}, center=3)
    assert edge_set(g) == {(1, 2), (2, 3)}
    assert g.contract(vertices={9}) == 9


@pytest.mark.parametrize(
    "method, args, error",
    [
        # center converts before the set, u before r
        ("contract_into", (-1, [1]), OverflowError),
        ("contract_into", ("x", {-1}), TypeError),
        ("r_neighbours", (-1, "x"), OverflowError),
        ("r_neighbours", (1, -1), OverflowError),
        ("r_neighbours", (1, ID_END), OverflowError),
    ],
)
def test_arguments_convert_in_declaration_order(method, args, error):
    g = path(1, 2)
    before = snapshot(g)
    with pytest.raises(error) as info:
        getattr(g, method)(*args)
    assert type(info.value) is error
    assert snapshot(g) == before


# --- neighbourhood, closed_neighbourhood, r_neighbours -----------------------

@pytest.mark.parametrize(
    "edges, members, open_result, closed_result",
    [
        ([], set(), set(), set()),
        ([(1, 2)], set(), set(), set()),
        ([(1, 2), (2, 3)], {1, 2}, {3}, {1, 2, 3}),
        ([(1, 2), (2, 3)], {1}, {2}, {2}),
        ([(1, 2), (2, 3)], {1, 3}, {2}, {2}),
        ([(5, 5)], {5}, set(), {5}),
        ([(5, 5), (5, 6)], {5}, {6}, {5, 6}),
        ([(0, MAX_ID), (MAX_ID, 7)], {0, 7}, {MAX_ID}, {MAX_ID}),
    ],
)
def test_neighbourhoods(edges, members, open_result, closed_result):
    g = build_graph(edges, [4])
    assert g.neighbourhood(members) == open_result
    assert g.closed_neighbourhood(members) == closed_result
    assert g.neighbourhood({4}) == g.closed_neighbourhood({4}) == set()


@pytest.mark.parametrize("method", ["neighbourhood", "closed_neighbourhood"])
@pytest.mark.parametrize("members", [{9}, {1, 2, 9}, {MAX_ID, 1}])
def test_absent_member_faults(method, members):
    g = path(1, 2, 3)
    before = snapshot(g)
    fault_of(lambda: getattr(g, method)(members))
    assert snapshot(g) == before
    assert getattr(g, method)({2}) == {1, 3}


def test_results_are_fresh_independent_sets():
    g = path(1, 2, 3)
    results = [g.neighbourhood({2}), g.closed_neighbourhood({2}), g.r_neighbours(2, 1)]
    assert all(type(r) is set for r in results)
    g.add_edge(2, 4)
    assert results == [{1, 3}, {1, 3}, {1, 2, 3}]
    for r in results:
        r.add(99)
    assert g.neighbourhood({2}) == {1, 3, 4}


@pytest.mark.parametrize(
    "u, r, ball",
    [
        (1, 0, {1}), (1, 1, {1, 2}), (3, 1, {2, 3, 4}), (1, 2, {1, 2, 3}), (1, 4, {1, 2, 3, 4, 5}),
        (1, MAX_ID, {1, 2, 3, 4, 5}), (8, MAX_ID, {8}), (9, 1, {9}), (9, MAX_ID, {9}),
        (100, 0, {100}), (MAX_ID, 0, {MAX_ID}),
    ],
)
def test_r_neighbours(u, r, ball):
    # A path 1..5, a separate edge 6-7, an isolated 8, a looped 9.
    g = build_graph([(1, 2), (2, 3), (3, 4), (4, 5), (6, 7), (9, 9)], [8])
    assert g.r_neighbours(u, r) == ball


@pytest.mark.parametrize("r", [1, MAX_ID])
def test_r_neighbours_of_absent_vertex_faults_unless_radius_zero(r):
    g = path(1, 2)
    before = snapshot(g)
    fault_of(lambda: g.r_neighbours(3, r))
    assert snapshot(g) == before


def test_r_neighbours_on_a_long_path():
    n = 3000
    g = path(*range(n))
    assert g.r_neighbours(n // 2, 100) == set(range(n // 2 - 100, n // 2 + 101))
    assert g.r_neighbours(0, MAX_ID) == set(range(n))


# --- contract_into and contract -----------------------------------------------

@pytest.mark.parametrize(
    "edges, center, members, vertices, edges_after",
    [
        # path a-b-c-d, b takes c
        ([(1, 2), (2, 3), (3, 4)], 2, {2, 3}, {1, 2, 4}, {(1, 2), (2, 4)}),
        # triangle 1, 2, 3 with a pendant 4 on 3
        ([(1, 2), (2, 3), (3, 1), (3, 4)], 1, {2, 3}, {1, 4}, {(1, 4)}),
        # nothing to merge, also for an absent center
        ([(1, 2), (3, 3)], 2, set(), {1, 2, 3}, {(1, 2), (3, 3)}),
        ([(1, 2), (3, 3)], 50, {50}, {1, 2, 3}, {(1, 2), (3, 3)}),
        # an absent center comes into being only with outside neighbours
        ([(1, 2), (2, 3), (3, 4)], 10, {2, 3}, {1, 4, 10}, {(1, 10), (4, 10)}),
        ([(1, 2), (2, 3), (1, 3), (8, 9)], 10, {1, 2, 3}, {8, 9}, {(8, 9)}),
        # shared neighbours get one edge; the center's loop stays, none is made
        ([(1, 4), (2, 4), (3, 4), (3, 5), (2, 3)], 1, {2, 3}, {1, 4, 5}, {(1, 4), (1, 5)}),
        ([(1, 1), (1, 2), (2, 2), (2, 3), (3, 4)], 1, {1, 2, 3}, {1, 4}, {(1, 1), (1, 4)}),
        ([(0, 5), (5, MAX_ID), (MAX_ID, 6)], 0, {5, MAX_ID}, {0, 6}, {(0, 6)}),
    ],
)
def test_contract_into(edges, center, members, vertices, edges_after):
    g = build_graph(edges)
    assert g.contract_into(center, members) is None
    assert g.vertices() == vertices
    assert edge_set(g) == edges_after
    check_graph(g)


@pytest.mark.parametrize("center", [1, 50])
@pytest.mark.parametrize("members", [{2, 99}, {99}, {MAX_ID}])
def test_contract_into_absent_member_faults_before_any_change(center, members):
    g = build_graph([(1, 2), (2, 3), (3, 4)], [7])
    before = snapshot(g)
    fault_of(lambda: g.contract_into(center, members))
    assert snapshot(g) == before


@pytest.mark.parametrize("vertex", [3, 50, MAX_ID])
def test_contract_of_one_member_returns_it_and_changes_nothing(vertex):
    g = path(1, 2, 3)
    before = snapshot(g)
    assert g.contract({vertex}) == vertex
    assert snapshot(g) == before


def test_contract_of_empty_set_is_a_missing_value_fault():
    g = path(1, 2)
    before = snapshot(g)
    error = fault_of(lambda: g.contract(set()), message=None)
    assert len(error.args) == 1 and error.args[0] != ABSENT
    assert snapshot(g) == before


def test_contract_center_is_a_member_that_varies_between_calls():
    members = set(range(10, 20))
    base = path(1, *sorted(members), 2)
    centers = set()
    for _ in range(60):
        g = base.copy()
        center = g.contract(members)
        assert g.vertices() == {1, 2, center}
        assert edge_set(g) == {(1, center), (2, center)}
        centers.add(center)
    assert centers <= members and len(centers) > 1


def test_contract_center_may_be_the_largest_id():
    # The largest id is kept apart from the other members of a set; it must
    # still come first some of the time, and not always.
    centers = set()
    for _ in range(100):
        g = build_graph([(1, 2), (2, MAX_ID), (MAX_ID, 7)])
        center = g.contract({1, 2, MAX_ID})
        centers.add(center)
        assert edge_set(g) == {tuple(sorted((center, 7)))}
    assert MAX_ID in centers and len(centers) > 1


def test_contract_absent_member_faults_unless_it_is_the_center():
    outcomes = set()
    for _ in range(60):
        g = path(1, 2)
        before = snapshot(g)
        try:
            center = g.contract({2, 9})
        except BaseException as error:
            assert error.args == (ABSENT,) and snapshot(g) == before
            outcomes.add("fault")
        else:
            # the absent 9 is never looked up as center; it takes 2's edge
            assert center == 9 and edge_set(g) == {(1, 9)}
            outcomes.add("center")
    assert outcomes == {"fault", "center"}


# --- subgraph -----------------------------------------------------------------

@pytest.mark.parametrize(
    "members, edges",
    [
        (set(), set()),
        ({1, 3}, {(1, 3), (3, 3)}),
        ({1, 2}, {(1, 2)}),
        ({1, 4}, set()),
        ({6}, set()),
        ({2, 3, 4}, {(2, 3), (3, 3), (3, 4)}),
    ],
)
def test_subgraph_is_induced(members, edges):
    g = build_graph([(1, 2), (2, 3), (3, 1), (3, 3), (3, 4), (4, 5)], [6])
    sub = g.subgraph(members)
    assert type(sub) is Graph
    assert sub.vertices() == members
    assert edge_set(sub) == edges
    check_graph(sub)


def test_subgraph_of_everything_equals_the_source_and_is_independent():
    g = build_graph([(1, 2), (2, 3), (3, 1), (3, 3), (0, MAX_ID)], [6])
    sub = g.subgraph(g.vertices())
    assert snapshot(sub) == snapshot(g)
    before = snapshot(g)
    sub.remove_vertex(3)
    assert snapshot(g) == before
    sub_before = snapshot(sub)
    g.add_edge(1, 6)
    assert snapshot(sub) == sub_before


def test_subgraph_of_hub_with_small_selection():
    g = build_graph([(0, v) for v in range(1, 5001)] + [(1, 2)])
    assert edge_set(g.subgraph({0, 1, 2, 3})) == {(0, 1), (0, 2), (0, 3), (1, 2)}


@pytest.mark.parametrize("members", [{9}, {1, 2, 9}])
def test_subgraph_with_absent_member_faults(members):
    g = path(1, 2, 3)
    before = snapshot(g)
    fault_of(lambda: g.subgraph(members))
    assert snapshot(g) == before


# --- components ---------------------------------------------------------------

@pytest.mark.parametrize(
    "edges, vertices, expected",
    [
        ([], [], []),
        ([], [3, 1, 2], [{1}, {2}, {3}]),
        ([(4, 4)], [5], [{4}, {5}]),
        ([(1, 2), (2, 3), (4, 5)], [], [{1, 2, 3}, {4, 5}]),
        ([(1, 2), (2, 3), (3, 1), (3, 3)], [], [{1, 2, 3}]),
        ([(0, MAX_ID)], [7], [{0, MAX_ID}, {7}]),
    ],
)
def test_components(edges, vertices, expected):
    g = build_graph(edges, vertices)
    before = snapshot(g)
    expected = sorted(map(frozenset, expected), key=sorted)
    assert partition(g) == expected
    assert snapshot(g) == before
    # A second search starts from fresh marks, not from where the first ended.
    assert partition(g) == expected


def test_components_of_long_path_star_and_isolated_vertices():
    g = path(*range(5000))
    for leaf in range(20001, 20100):
        g.add_edge(20000, leaf)
    for v in range(30000, 31000):
        g.add_vertex(v)
    expected = [frozenset(range(5000)), frozenset(range(20000, 20100))]
    expected += [frozenset({v}) for v in range(30000, 31000)]
    assert partition(g) == expected


@pytest.mark.parametrize("enabled", [True, False])
def test_components_leaves_the_collector_as_it_was(enabled):
    g = build_graph([(1, 2)], range(10, 2000))
    was = gc.isenabled()
    try:
        gc.enable() if enabled else gc.disable()
        assert len(g.components()) == 1991
        assert gc.isenabled() == enabled
    finally:
        gc.enable() if was else gc.disable()


def test_largest_id_as_a_hub():
    # The largest id is kept apart in the graph's tables; as a hub its
    # neighbour set outgrows the inline members.
    leaves = list(range(1, 9))
    g = build_graph([(MAX_ID, v) for v in leaves] + [(MAX_ID, MAX_ID)])
    assert g.neighbourhood({MAX_ID}) == set(leaves)
    assert g.r_neighbours(1, 2) == set(leaves) | {MAX_ID}
    assert partition(g) == [frozenset(leaves + [MAX_ID])]
    assert edge_set(g.subgraph({MAX_ID, 1, 2})) == {(1, MAX_ID), (2, MAX_ID), (MAX_ID, MAX_ID)}
    g.contract_into(MAX_ID, {1, 2})
    assert g.degree(MAX_ID) == 8
    g.contract_into(0, {MAX_ID})
    assert edge_set(g) == {(0, v) for v in range(3, 9)}
    del g  # destroying the graph must free each table once

"""Vertex-set methods through the Python API: neighbourhoods, balls,
contraction, induced subgraphs and components, with their set arguments,
faults and the graph left unchanged when they fail."""

import gc

import pytest

from quiverlane import Graph

from conftest import build_graph, edge_set

ABSENT = "Vertex not contained in graph"
MAX = 4294967295

SET_METHODS = ["neighbourhood", "closed_neighbourhood", "contract", "subgraph"]


def snapshot(g):
    """Everything observable about a graph's contents."""
    vertices = g.vertices()
    return (vertices, edge_set(g), g.num_edges(), {v: g.degree(v) for v in vertices})


def call_with_set(g, method, vertex_set):
    """Calls one of the methods taking a vertex set, with that set."""
    if method == "contract_into":
        return g.contract_into(1, vertex_set)
    return getattr(g, method)(vertex_set)


def expect_fault(action, message=ABSENT):
    with pytest.raises(BaseException) as info:
        action()
    error = info.value
    assert type(error).__module__ == "pyo3_runtime"
    assert type(error).__name__ == "PanicException"
    assert not isinstance(error, Exception)
    if message is not None:
        assert error.args == (message,)
    return error


def path(*vertices):
    return build_graph(list(zip(vertices, vertices[1:])))


class Index:
    """An int stand-in that records each conversion."""

    def __init__(self, value, log=None, action=None):
        self.value = value
        self.log = log
        self.action = action

    def __index__(self):
        if self.log is not None:
            self.log.append(self.value)
        if self.action is not None:
            self.action()
        return self.value


class SetSubclass(set):
    pass


class SetWithOwnIteration(set):
    """Conversion walks the set's storage; its own protocol must not run."""

    def __iter__(self):
        raise AssertionError("__iter__ called")

    def __len__(self):
        raise AssertionError("__len__ called")


# --- set conversion --------------------------------------------------------

NOT_SETS = [
    [1, 2],
    (1, 2),
    frozenset({1}),
    {1: 2},
    {1: 2}.keys(),
    None,
    1,
    "12",
    range(3),
    (v for v in [1, 2]),
]


@pytest.mark.parametrize("method", SET_METHODS + ["contract_into"])
@pytest.mark.parametrize("argument", NOT_SETS, ids=lambda a: type(a).__name__)
def test_only_sets_are_accepted(method, argument):
    g = path(1, 2, 3)
    before = snapshot(g)
    with pytest.raises(TypeError) as info:
        call_with_set(g, method, argument)
    assert type(info.value) is TypeError
    assert info.value.args == ()
    assert snapshot(g) == before


@pytest.mark.parametrize("make", [set, SetSubclass, SetWithOwnIteration])
def test_set_and_subclasses_are_accepted(make):
    g = path(1, 2, 3, 4)
    assert g.neighbourhood(make({2})) == {1, 3}
    assert g.closed_neighbourhood(make({1, 2})) == {1, 2, 3}
    assert edge_set(g.subgraph(make({1, 2}))) == {(1, 2)}
    g.contract_into(2, make({2, 3}))
    assert edge_set(g) == {(1, 2), (2, 4)}
    assert g.contract(make({4})) == 4


@pytest.mark.parametrize(
    "members, error",
    [
        ({1, "a"}, TypeError),
        ({1, 2.0}, TypeError),
        ({1, None}, TypeError),
        ({1, -5}, OverflowError),
        ({1, MAX + 1}, OverflowError),
        ({1, 2**64}, OverflowError),
        ({1, -(2**70)}, OverflowError),
    ],
)
@pytest.mark.parametrize("method", SET_METHODS + ["contract_into"])
def test_bad_member_fails_the_call_and_leaves_the_graph(method, members, error):
    g = path(1, 2, 3)
    before = snapshot(g)
    with pytest.raises(error) as info:
        call_with_set(g, method, members)
    assert type(info.value) is error
    assert snapshot(g) == before


def test_out_of_range_member_error_carries_no_message():
    with pytest.raises(OverflowError) as info:
        path(1, 2).neighbourhood({1, -1})
    assert info.value.args == ()


def test_index_objects_and_bools_are_members():
    g = path(1, 2, 3, 7)
    assert g.closed_neighbourhood({True, Index(3)}) == {2, 7}
    assert g.subgraph({Index(7), Index(3)}).edges() == [(3, 7)]


def test_members_that_map_to_one_vertex_count_once():
    g = build_graph([(1, 2), (1, 3)])
    assert g.closed_neighbourhood({Index(1), Index(1), 1}) == {2, 3}
    assert g.subgraph({Index(1), Index(1), 2}).num_vertices() == 2


def test_conversion_stops_at_the_first_failing_member():
    log = []

    def fail():
        raise LookupError("from __index__")

    members = {Index(10, log, fail), Index(11, log, fail), Index(12, log, fail)}
    with pytest.raises(LookupError) as info:
        path(10, 11, 12).neighbourhood(members)
    assert info.value.args == ("from __index__",)
    assert len(log) == 1


def test_member_index_may_query_the_same_graph():
    g = path(1, 2, 3)
    seen = []
    member = Index(1, action=lambda: seen.append(g.num_vertices()))
    assert g.neighbourhood({member}) == {2}
    assert seen == [3]


@pytest.mark.parametrize("method", ["contract", "contract_into"])
def test_exclusive_methods_refuse_queries_from_a_member(method):
    g = path(1, 2, 3)
    before = snapshot(g)
    member = Index(2, action=g.num_vertices)
    with pytest.raises(RuntimeError) as info:
        call_with_set(g, method, {member, 3})
    assert type(info.value).__name__ == "PyBorrowError"
    assert snapshot(g) == before
    assert g.contract({2, 3}) in {2, 3}  # usable again


def test_member_index_that_empties_the_set_is_survived():
    members = set()
    members.update(Index(v, action=members.clear) for v in (1, 2, 3))
    result = path(1, 2, 3).closed_neighbourhood(members)
    # Whichever member converted first is the only one left to see.
    assert result in ({2}, {1, 3})


def test_large_argument_sets():
    n = 20000
    g = path(*range(n))
    assert g.closed_neighbourhood(set(range(0, n, 2))) == set(range(1, n, 2))
    assert g.neighbourhood(set(range(n // 2))) == {n // 2}
    assert g.subgraph(set(range(100, n))).num_edges() == n - 101


# --- argument matching -----------------------------------------------------

@pytest.mark.parametrize(
    "method, args, kwargs, message",
    [
        ("neighbourhood", (), {}, "PyGraph.neighbourhood() missing required positional argument: c"),
        ("closed_neighbourhood", ({1}, {2}), {},
         "PyGraph.closed_neighbourhood() takes at most 1 positional argument (2 given)"),
        ("r_neighbours", (1,), {}, "PyGraph.r_neighbours() missing required positional argument: r"),
        ("r_neighbours", (1, 2), {"u": 1}, "PyGraph.r_neighbours() got multiple values for argument: u"),
        ("contract", (), {"c": {1}}, "PyGraph.contract() missing required positional argument: vertices"),
        ("contract_into", ({1},), {}, "PyGraph.contract_into() missing required positional argument: vertices"),
        ("subgraph", (set(),), {"vertex": 1}, "PyGraph.subgraph() got an unexpected keyword argument: vertex"),
    ],
)
def test_matcher_messages_name_the_method(method, args, kwargs, message):
    g = path(1, 2)
    before = snapshot(g)
    with pytest.raises(TypeError) as info:
        getattr(g, method)(*args, **kwargs)
    assert info.value.args == (message,)
    assert snapshot(g) == before


def test_keyword_arguments():
    g = path(1, 2, 3, 4)
    assert g.neighbourhood(c={1}) == {2}
    assert g.closed_neighbourhood(c={1}) == {2}
    assert g.r_neighbours(r=1, u=1) == {1, 2}
    assert g.subgraph(vertices={1, 2}).num_edges() == 1
    g.contract_into(vertices={3, 4}, center=3)
    assert edge_set(g) == {(1, 2), (2, 3)}
    assert g.contract(vertices={9}) == 9


@pytest.mark.parametrize(
    "method, args, error",
    [
        # The center converts before the set, u before r.
        ("contract_into", (-1, [1]), OverflowError),
        ("contract_into", ("x", {-1}), TypeError),
        ("contract_into", (1, {-1}), OverflowError),
        ("r_neighbours", (-1, "x"), OverflowError),
        ("r_neighbours", (1, -1), OverflowError),
        ("r_neighbours", (1, MAX + 1), OverflowError),
        ("r_neighbours", (1, 1.0), TypeError),
    ],
)
def test_arguments_convert_in_declaration_order(method, args, error):
    g = path(1, 2)
    before = snapshot(g)
    with pytest.raises(error) as info:
        getattr(g, method)(*args)
    assert type(info.value) is error
    assert snapshot(g) == before


# --- neighbourhood and closed_neighbourhood ---------------------------------

@pytest.mark.parametrize(
    "edges, vertices, members, open_result, closed_result",
    [
        ([], [], set(), set(), set()),
        ([(1, 2)], [], set(), set(), set()),
        ([(1, 2), (2, 3)], [], {1, 2}, {3}, {1, 2, 3}),
        ([(1, 2), (2, 3)], [], {1}, {2}, {2}),
        ([(1, 2), (2, 3)], [], {1, 3}, {2}, {2}),
        ([(1, 2), (2, 3)], [], {1, 2, 3}, set(), {1, 2, 3}),
        ([(5, 5)], [], {5}, set(), {5}),
        ([(5, 5), (5, 6)], [], {5}, {6}, {5, 6}),
        ([], [4], {4}, set(), set()),
        ([(0, MAX), (MAX, 7)], [], {MAX}, {0, 7}, {0, 7}),
        ([(0, MAX), (MAX, 7)], [], {0, 7}, {MAX}, {MAX}),
    ],
)
def test_neighbourhoods(edges, vertices, members, open_result, closed_result):
    g = build_graph(edges, vertices)
    assert g.neighbourhood(members) == open_result
    assert g.closed_neighbourhood(members) == closed_result


@pytest.mark.parametrize("method", ["neighbourhood", "closed_neighbourhood"])
@pytest.mark.parametrize("members", [{9}, {1, 2, 9}, {0}, {MAX, 1}])
def test_neighbourhood_of_absent_member_faults(method, members):
    g = path(1, 2, 3)
    before = snapshot(g)
    expect_fault(lambda: getattr(g, method)(members))
    assert snapshot(g) == before
    assert getattr(g, method)({2}) == {1, 3}


def test_fault_escapes_except_exception():
    g = path(1, 2)
    with pytest.raises(BaseException):
        try:
            g.neighbourhood({3})
        except Exception:  # must not catch it
            pytest.fail("the fault was caught as an Exception")


def test_results_are_fresh_independent_sets():
    g = path(1, 2, 3)
    results = [g.neighbourhood({2}), g.closed_neighbourhood({2}), g.r_neighbours(2, 1)]
    assert all(type(r) is set for r in results)
    assert results[0] is not g.neighbourhood({2})
    g.add_edge(2, 4)
    assert results == [{1, 3}, {1, 3}, {1, 2, 3}]
    for r in results:
        r.add(99)
    assert g.neighbourhood({2}) == {1, 3, 4}


def test_argument_set_is_left_alone():
    g = path(1, 2, 3)
    members = {1, 2}
    g.neighbourhood(members)
    g.contract_into(2, members)
    assert members == {1, 2}


# --- r_neighbours -----------------------------------------------------------

@pytest.mark.parametrize(
    "u, r, ball",
    [
        (1, 0, {1}),
        (1, 1, {1, 2}),
        (3, 1, {2, 3, 4}),
        (1, 2, {1, 2, 3}),
        (1, 4, {1, 2, 3, 4, 5}),
        (1, 5, {1, 2, 3, 4, 5}),
        (1, MAX, {1, 2, 3, 4, 5}),
        (8, 1, {8}),
        (8, MAX, {8}),
        (9, 1, {9}),
        (9, MAX, {9}),
    ],
)
def test_r_neighbours(u, r, ball):
    # A path 1..5 and its separate edge 6-7, an isolated 8, a looped 9.
    g = build_graph([(1, 2), (2, 3), (3, 4), (4, 5), (6, 7), (9, 9)], [8])
    assert g.r_neighbours(u, r) == ball


@pytest.mark.parametrize("u", [0, 100, MAX])
def test_r_neighbours_of_absent_vertex_with_radius_zero_is_itself(u):
    assert build_graph([(1, 2)]).r_neighbours(u, 0) == {u}
    assert Graph().r_neighbours(u, 0) == {u}


@pytest.mark.parametrize("r", [1, 2, MAX])
def test_r_neighbours_of_absent_vertex_faults(r):
    g = path(1, 2)
    before = snapshot(g)
    expect_fault(lambda: g.r_neighbours(3, r))
    assert snapshot(g) == before


def test_r_neighbours_of_long_path_grows_by_one_per_step():
    n = 3000
    g = path(*range(n))
    assert g.r_neighbours(0, 10) == set(range(11))
    assert g.r_neighbours(n // 2, 100) == set(range(n // 2 - 100, n // 2 + 101))
    assert g.r_neighbours(0, MAX) == set(range(n))


# --- contract_into ----------------------------------------------------------

def test_contract_into_path_keeps_outside_edges():
    a, b, c, d = 1, 2, 3, 4
    g = path(a, b, c, d)
    assert g.contract_into(b, {b, c}) is None
    assert edge_set(g) == {(a, b), (b, d)}
    assert g.num_edges() == 2
    assert not g.contains(c)


def test_contract_into_triangle_with_pendant():
    a, b, c, d = 1, 2, 3, 4
    g = build_graph([(a, b), (b, c), (c, a), (c, d)])
    g.contract_into(a, {b, c})
    assert edge_set(g) == {(a, d)}
    assert g.vertices() == {a, d}
    assert (g.num_edges(), g.degree(a), g.degree(d)) == (1, 1, 1)


@pytest.mark.parametrize("center", [1, 2, 50])
@pytest.mark.parametrize("members", [set(), "center"])
def test_contract_into_nothing_changes_nothing(center, members):
    g = build_graph([(1, 2), (2, 3), (3, 3)], [7])
    before = snapshot(g)
    g.contract_into(center, {center} if members == "center" else set())
    assert snapshot(g) == before


def test_contract_into_absent_center_is_created_with_outside_edges():
    g = build_graph([(1, 2), (2, 3), (3, 4)])
    g.contract_into(10, {2, 3})
    assert edge_set(g) == {(1, 10), (4, 10)}
    assert g.vertices() == {1, 4, 10}


@pytest.mark.parametrize(
    "edges, vertices, members",
    [
        ([], [1, 2], {1, 2}),
        ([(1, 2), (2, 3), (1, 3)], [], {1, 2, 3}),
        ([(1, 1)], [], {1}),
    ],
)
def test_contract_into_absent_center_without_outside_neighbours_is_not_created(edges, vertices, members):
    g = build_graph(edges + [(8, 9)], vertices)
    g.contract_into(10, members)
    assert g.vertices() == {8, 9}
    assert edge_set(g) == {(8, 9)}


def test_contract_into_adds_no_second_edge_to_shared_neighbours():
    # Center 1 and members 2, 3 all see 4; 3 also sees 5.
    g = build_graph([(1, 4), (2, 4), (3, 4), (3, 5), (2, 3)])
    g.contract_into(1, {2, 3})
    assert edge_set(g) == {(1, 4), (1, 5)}
    assert g.num_edges() == 2
    assert (g.degree(1), g.degree(4), g.degree(5)) == (2, 1, 1)


def test_contract_into_keeps_the_centers_loop_and_makes_none():
    g = build_graph([(1, 1), (1, 2), (2, 2), (2, 3), (3, 4)])
    g.contract_into(1, {1, 2, 3})
    assert edge_set(g) == {(1, 1), (1, 4)}
    assert (g.num_edges(), g.degree(1)) == (2, 3)


def test_contract_into_member_adjacent_to_center_only():
    g = build_graph([(1, 2)])
    g.contract_into(1, {2})
    assert (g.vertices(), g.num_edges(), g.degree(1)) == ({1}, 0, 0)


@pytest.mark.parametrize("center", [1, 50])
@pytest.mark.parametrize("members", [{2, 99}, {99}, {1, 2, 3, 99}, {MAX}])
def test_contract_into_absent_member_faults_before_any_change(center, members):
    g = build_graph([(1, 2), (2, 3), (3, 4)], [7])
    before = snapshot(g)
    expect_fault(lambda: g.contract_into(center, members))
    assert snapshot(g) == before


def test_largest_id_as_a_hub():
    # The largest id is kept apart from the others in the graph's tables; as
    # a hub its neighbour set outgrows the inline members.
    leaves = list(range(1, 9))
    g = build_graph([(MAX, v) for v in leaves] + [(MAX, MAX)])
    assert g.neighbourhood({MAX}) == set(leaves)
    assert g.closed_neighbourhood({1, 2}) == {MAX}
    assert g.r_neighbours(1, 2) == set(leaves) | {MAX}
    assert partition(g) == [frozenset(leaves + [MAX])]
    assert snapshot(g.subgraph({MAX, 1, 2, 3, 4, 5})) == (
        {MAX, 1, 2, 3, 4, 5}, {(v, MAX) for v in (1, 2, 3, 4, 5)} | {(MAX, MAX)}, 6,
        {MAX: 7, 1: 1, 2: 1, 3: 1, 4: 1, 5: 1})
    g.contract_into(MAX, {1, 2})
    assert g.degree(MAX) == 8
    g.contract_into(0, {MAX})
    assert edge_set(g) == {(0, v) for v in range(3, 9)}
    del g  # destroying the graph must free each table once


def test_contract_into_extreme_ids():
    g = build_graph([(0, 5), (5, MAX), (MAX, 6)])
    g.contract_into(0, {5, MAX})
    assert edge_set(g) == {(0, 6)}
    g.contract_into(MAX, {0})
    assert edge_set(g) == {(6, MAX)}


# --- contract ---------------------------------------------------------------

@pytest.mark.parametrize("vertex", [3, 50, 0, MAX])
def test_contract_of_one_member_returns_it_and_changes_nothing(vertex):
    g = build_graph([(1, 2), (2, 3)])
    before = snapshot(g)
    assert g.contract({vertex}) == vertex
    assert snapshot(g) == before


def test_contract_of_empty_set_is_a_missing_value_fault():
    g = build_graph([(1, 2)])
    before = snapshot(g)
    error = expect_fault(lambda: g.contract(set()), message=None)
    assert len(error.args) == 1 and error.args[0] != ABSENT
    assert snapshot(g) == before


def test_contract_returns_a_member_and_merges_the_rest():
    g = build_graph([(1, 2), (2, 3), (3, 4), (4, 5)])
    center = g.contract({2, 3, 4})
    assert center in {2, 3, 4}
    assert g.vertices() == {1, 5, center}
    assert edge_set(g) == {tuple(sorted((1, center))), tuple(sorted((5, center)))}


def test_contract_center_varies_between_calls():
    members = set(range(10, 20))
    base = path(*sorted(members))
    centers = set()
    for _ in range(60):
        g = base.copy()
        centers.add(g.contract(members))
    assert centers <= members
    assert len(centers) > 1


def test_contract_center_may_be_the_largest_id():
    # MAX is kept apart from the other members inside the argument set; it
    # must still come first some of the time.
    members = {1, 2, MAX}
    centers = set()
    for _ in range(100):
        g = build_graph([(1, 2), (2, MAX), (MAX, 7)])
        center = g.contract(members)
        centers.add(center)
        assert edge_set(g) == {tuple(sorted((center, 7)))}
    assert MAX in centers and len(centers) > 1


def test_contract_absent_member_faults_unless_it_is_the_center():
    outcomes = set()
    for _ in range(60):
        g = build_graph([(1, 2)])
        before = snapshot(g)
        try:
            center = g.contract({2, 9})
        except BaseException as error:
            assert error.args == (ABSENT,)
            assert snapshot(g) == before
            outcomes.add("fault")
        else:
            # Only the absent 9 as center avoids the lookup that faults; it
            # takes 2's edge.
            assert center == 9
            assert edge_set(g) == {(1, 9)}
            outcomes.add("center")
    assert outcomes == {"fault", "center"}


# --- subgraph ---------------------------------------------------------------

def test_subgraph_of_empty_set_is_empty():
    sub = path(1, 2, 3).subgraph(set())
    assert type(sub) is Graph
    assert (sub.num_vertices(), sub.num_edges(), repr(sub)) == (0, 0, "Graph (n=0,m=0)]")


def test_subgraph_of_everything_equals_the_source():
    g = build_graph([(1, 2), (2, 3), (3, 1), (3, 3), (4, 5), (0, MAX)], [6])
    sub = g.subgraph(g.vertices())
    assert snapshot(sub) == snapshot(g)
    assert sub is not g


@pytest.mark.parametrize(
    "members, vertices, edges",
    [
        ({1, 3}, {1, 3}, {(1, 3), (3, 3)}),
        ({1, 2}, {1, 2}, {(1, 2)}),
        ({3}, {3}, {(3, 3)}),
        ({1, 4}, {1, 4}, set()),
        ({6}, {6}, set()),
        ({2, 3, 4}, {2, 3, 4}, {(2, 3), (3, 3), (3, 4)}),
    ],
)
def test_subgraph_is_induced(members, vertices, edges):
    g = build_graph([(1, 2), (2, 3), (3, 1), (3, 3), (3, 4), (4, 5)], [6])
    sub = g.subgraph(members)
    assert sub.vertices() == vertices
    assert edge_set(sub) == edges
    assert sub.num_edges() == len(edges)
    assert sum(sub.degree(v) for v in vertices) == 2 * len(edges)


def test_subgraph_of_hub_with_small_selection():
    hub = 0
    g = build_graph([(hub, v) for v in range(1, 5001)] + [(1, 2)])
    sub = g.subgraph({hub, 1, 2, 3})
    assert edge_set(sub) == {(0, 1), (0, 2), (0, 3), (1, 2)}
    assert sub.degree(hub) == 3


@pytest.mark.parametrize("members", [{9}, {1, 2, 9}, {MAX}])
def test_subgraph_with_absent_member_faults(members):
    g = path(1, 2, 3)
    before = snapshot(g)
    expect_fault(lambda: g.subgraph(members))
    assert snapshot(g) == before


def test_subgraph_is_independent_of_the_source():
    g = path(1, 2, 3)
    sub = g.subgraph({1, 2, 3})
    sub.add_edge(1, 3)
    sub.remove_vertex(2)
    assert edge_set(g) == {(1, 2), (2, 3)}
    g.remove_vertex(1)
    g.add_edge(3, 4)
    assert edge_set(sub) == {(1, 3)}
    assert sub.vertices() == {1, 3}


# --- components -------------------------------------------------------------

def partition(g):
    parts = g.components()
    assert type(parts) is list and all(type(p) is set for p in parts)
    as_frozen = [frozenset(p) for p in parts]
    assert sum(len(p) for p in parts) == g.num_vertices()
    assert set().union(*parts) == g.vertices()
    return sorted(as_frozen, key=sorted)


@pytest.mark.parametrize(
    "edges, vertices, expected",
    [
        ([], [], []),
        ([], [3, 1, 2], [{1}, {2}, {3}]),
        ([(4, 4)], [], [{4}]),
        ([(4, 4)], [5], [{4}, {5}]),
        ([(1, 2), (2, 3), (4, 5)], [], [{1, 2, 3}, {4, 5}]),
        ([(1, 2), (2, 3), (3, 1), (3, 3)], [], [{1, 2, 3}]),
        ([(0, MAX)], [7], [{0, MAX}, {7}]),
    ],
)
def test_components(edges, vertices, expected):
    g = build_graph(edges, vertices)
    assert partition(g) == sorted((frozenset(p) for p in expected), key=sorted)


def test_components_of_many_isolated_vertices():
    g = build_graph(vertices=range(1000))
    assert partition(g) == [frozenset({v}) for v in range(1000)]


def test_components_of_long_path_and_star():
    g = path(*range(5000))
    g.add_edge(10000, 10001)
    for leaf in range(20001, 20100):
        g.add_edge(20000, leaf)
    assert partition(g) == [frozenset(range(5000)), frozenset({10000, 10001}), frozenset(range(20000, 20100))]


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


def test_components_twice_gives_the_same_partition():
    g = build_graph([(1, 2), (3, 4), (4, 5)], [6])
    assert partition(g) == partition(g)


def test_components_follow_edits():
    g = path(1, 2, 3)
    g.remove_edge(1, 2)
    assert partition(g) == [frozenset({1}), frozenset({2, 3})]
    g.contract_into(1, {2})
    assert partition(g) == [frozenset({1, 3})]

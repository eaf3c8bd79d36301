"""Argument matching and vertex conversion, seen through the store methods."""

import operator

import pytest

from quiverlane import Graph

import method_surface as surface
from conftest import build_graph, run_python
from graph_checks import ID_END, MAX_ID, snapshot

TWO_VERTEX = surface.names_where(lambda m: m.param_names == ("u", "v"))
ONE_VERTEX = surface.names_where(lambda m: m.param_names == ("u",))
NO_ARGS = surface.names_where(lambda m: not m.static and not m.params)


def call(method, *args, **kwargs):
    g = build_graph([(1, 2), (3, 3)])
    return getattr(g, method)(*args, **kwargs)


def type_error_message(method, *args, **kwargs):
    with pytest.raises(TypeError) as info:
        call(method, *args, **kwargs)
    assert type(info.value) is TypeError
    assert len(info.value.args) == 1
    return info.value.args[0]


def keyword_message(method, args, keywords):
    """The matcher's message for a keyword dictionary whose keys need not be
    str, which no Python-level ** forwarding would let through."""
    g = build_graph([(1, 2), (3, 3)])
    with pytest.raises(TypeError) as info:
        getattr(g, method)(*args, **keywords)
    assert type(info.value) is TypeError
    return info.value.args[0]


# --- matcher messages -------------------------------------------------------

@pytest.mark.parametrize(
    "method, args, kwargs, message",
    [
        ("add_edge", (1,), {}, "PyGraph.add_edge() missing required positional argument: v"),
        ("add_edge", (), {"v": 2}, "PyGraph.add_edge() missing required positional argument: u"),
        ("add_edge", (1,), {"u": 2}, "PyGraph.add_edge() got multiple values for argument: u"),
        ("add_edge", (1, 2), {"w": 3}, "PyGraph.add_edge() got an unexpected keyword argument: w"),
        ("add_edge", (1, 2, 3), {}, "PyGraph.add_edge() takes at most 2 positional arguments (3 given)"),
        ("degree", (1, 2), {}, "PyGraph.degree() takes at most 1 positional argument (2 given)"),
        # A repeated value is found before the surplus positional argument.
        ("add_edge", (1, 2), {"u": 3}, "PyGraph.add_edge() got multiple values for argument: u"),
        ("add_edge", (1, 2, 3), {"v": 4}, "PyGraph.add_edge() got multiple values for argument: v"),
        # A missing argument is found before an unexpected keyword.
        ("adjacent", (), {"u": 1, "x": 2}, "PyGraph.adjacent() missing required positional argument: v"),
        ("adjacent", (), {"x": 1}, "PyGraph.adjacent() missing required positional argument: u"),
        # A duplicate of an earlier parameter beats a missing later one.
        ("remove_edge", (1,), {"u": 1}, "PyGraph.remove_edge() got multiple values for argument: u"),
        # An unexpected keyword beats surplus positional arguments.
        ("add_edge", (1, 2, 3), {"w": 4}, "PyGraph.add_edge() got an unexpected keyword argument: w"),
        # The first unexpected keyword in the caller's order is named.
        ("degree", (1,), {"b": 1, "a": 2}, "PyGraph.degree() got an unexpected keyword argument: b"),
        ("degree", (1,), {"a": 1, "b": 2}, "PyGraph.degree() got an unexpected keyword argument: a"),
        ("degree", (), {"z": 1, "u": 2}, "PyGraph.degree() got an unexpected keyword argument: z"),
        ("degree", (), {"é": 1, "u": 2}, "PyGraph.degree() got an unexpected keyword argument: é"),
        ("degree", (), {}, "PyGraph.degree() missing required positional argument: u"),
        ("add_edge", (), {}, "PyGraph.add_edge() missing required positional argument: u"),
        ("add_edge", (1, 2, 3, 4), {}, "PyGraph.add_edge() takes at most 2 positional arguments (4 given)"),
        ("degree", (1, 2, 3), {}, "PyGraph.degree() takes at most 1 positional argument (3 given)"),
        # Parameter names are case sensitive.
        ("degree", (), {"U": 1}, "PyGraph.degree() missing required positional argument: u"),
    ],
)
def test_matcher_messages(method, args, kwargs, message):
    assert type_error_message(method, *args, **kwargs) == message


@pytest.mark.parametrize("method", TWO_VERTEX)
def test_two_vertex_labels(method):
    label = f"PyGraph.{method}()"
    assert type_error_message(method, 1) == f"{label} missing required positional argument: v"
    assert type_error_message(method, 1, 2, 3) == f"{label} takes at most 2 positional arguments (3 given)"
    assert type_error_message(method, 1, 2, x=0) == f"{label} got an unexpected keyword argument: x"
    assert type_error_message(method, 1, v=2, u=3) == f"{label} got multiple values for argument: u"


@pytest.mark.parametrize("method", ONE_VERTEX)
def test_one_vertex_labels(method):
    label = f"PyGraph.{method}()"
    assert type_error_message(method) == f"{label} missing required positional argument: u"
    assert type_error_message(method, 1, 2) == f"{label} takes at most 1 positional argument (2 given)"
    assert type_error_message(method, u=1, v=2) == f"{label} got an unexpected keyword argument: v"
    assert type_error_message(method, 1, u=1) == f"{label} got multiple values for argument: u"


def test_unexpected_keyword_uses_str_of_key():
    class Key(str):
        def __str__(self):
            return "shown"

    # The key is written as its str text, whatever its type makes of that.
    message = type_error_message("degree", 1, **{Key("k"): 1})
    assert message == "PyGraph.degree() got an unexpected keyword argument: shown"


# Every method with parameters, with arguments that match and the label.
ARGUMENT_FOR = {surface.VERTEX: 1, surface.VERTEX_SET: {1}}
WITH_PARAMETERS = [
    (method.name, tuple(ARGUMENT_FOR[p.annotation] for p in method.params))
    for method in surface.WITH_PARAMETERS
]


@pytest.mark.parametrize("method, args", WITH_PARAMETERS)
@pytest.mark.parametrize("key, shown", [(1, "1"), ((3, 4), "(3, 4)"), (None, "None"), (b"u", "b'u'")])
def test_keys_that_are_not_str_reach_the_matcher(method, args, key, shown):
    # Keys that are not str are the matcher's to refuse, not the interpreter's.
    message = keyword_message(method, args, {key: 2})
    assert message == f"PyGraph.{method}() got an unexpected keyword argument: {shown}"


@pytest.mark.parametrize("method, args", WITH_PARAMETERS)
def test_missing_argument_beats_key_that_is_not_str(method, args):
    first = surface.BY_NAME[method].params[0].name
    message = keyword_message(method, (), {1: 2})
    assert message == f"PyGraph.{method}() missing required positional argument: {first}"


PARAMETER_NAMES = {method.name: method.param_names for method in surface.WITH_PARAMETERS}


@pytest.mark.parametrize(
    "method, missing", [(method, name) for method, names in PARAMETER_NAMES.items() for name in names])
def test_every_parameter_answers_to_its_name(method, missing):
    # The others by keyword are taken; the one left out is reported by name.
    given = {name: 1 for name in PARAMETER_NAMES[method] if name != missing}
    message = type_error_message(method, **given)
    assert message == f"PyGraph.{method}() missing required positional argument: {missing}"


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({1: 2}, "PyGraph.from_file() missing required positional argument: filename"),
        ({"filename": "x", 1: 2}, "PyGraph.from_file() got an unexpected keyword argument: 1"),
    ],
)
def test_from_file_keys_that_are_not_str(kwargs, message):
    with pytest.raises(TypeError) as info:
        Graph.from_file(**kwargs)
    assert info.value.args == (message,)


class LooksLikeU(str):
    """A key that is not the text "u" but hashes and compares equal to it."""

    def __hash__(self):
        return hash("u")

    def __eq__(self, other):
        return True


def test_keywords_are_found_by_dictionary_lookup():
    g = build_graph([(1, 2), (1, 3)])
    assert g.degree(**{LooksLikeU("zzz"): 1}) == 2
    assert g.add_edge(**{"v": 4, LooksLikeU("zzz"): 1}) is True
    assert g.adjacent(1, 4)
    # Found under the name, so it repeats the positional value.
    with pytest.raises(TypeError) as info:
        g.degree(1, **{LooksLikeU("zzz"): 1})
    assert info.value.args == ("PyGraph.degree() got multiple values for argument: u",)


def test_key_whose_comparison_raises_is_not_a_match():
    class Raises(str):
        def __hash__(self):
            return hash("u")

        def __eq__(self, other):
            raise ValueError("no comparing")

    # The failed comparison counts as "not this name"; the key is then unexpected.
    assert keyword_message("degree", (1,), {Raises("k"): 1}) == (
        "PyGraph.degree() got an unexpected keyword argument: k")


def test_key_whose_comparison_raises_leaves_stderr_silent():
    # The failed comparison is dropped quietly on every Python, including
    # those whose own dictionary lookup reports such errors as unraisable.
    result = run_python("""
        from quiverlane import Graph

        class Raises(str):
            def __hash__(self):
                return hash("u")

            def __eq__(self, other):
                raise ValueError("no comparing")

        g = Graph()
        g.add_edge(1, 2)
        try:
            g.degree(1, **{Raises("k"): 1})
        except TypeError as error:
            print(error.args[0])
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "PyGraph.degree() got an unexpected keyword argument: k\n"
    assert result.stderr == ""


def test_matching_failure_leaves_graph_unchanged():
    g = build_graph([(1, 2)])
    before = snapshot(g)
    with pytest.raises(TypeError):
        g.add_edge(3, 4, 5)
    with pytest.raises(TypeError):
        g.add_edge(3, w=4)
    with pytest.raises(TypeError):
        g.remove_vertex(1, 2)
    assert snapshot(g) == before


# --- keyword forms ----------------------------------------------------------

@pytest.mark.parametrize(
    "args, kwargs",
    [((1, 2), {}), ((1,), {"v": 2}), ((), {"u": 1, "v": 2}), ((), {"v": 2, "u": 1})],
)
def test_add_edge_keyword_forms(args, kwargs):
    g = Graph()
    assert g.add_edge(*args, **kwargs) is True
    assert g.edges() == [(1, 2)]
    # Keywords name the parameters: v=2, u=1 is the edge (1, 2), not (2, 1).
    assert g.adjacent(u=1, v=2) is True
    assert g.remove_edge(v=2, u=1) is True
    assert g.num_edges() == 0


def test_keyword_forms_of_one_vertex_methods():
    g = Graph()
    assert g.add_vertex(u=5) is None
    assert g.contains(u=5) is True
    assert g.degree(u=5) == 0
    assert g.neighbours(u=5) == set()
    assert g.remove_vertex(u=5) is True


def call_with_this_dict(bound_method, args, keywords):
    """Calls with `keywords` itself as the keyword dictionary. A call written
    f(**keywords) would hand on a copy, which no change could reach."""
    import ctypes

    call = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object, ctypes.py_object, ctypes.py_object)(
        ("PyObject_Call", ctypes.pythonapi)
    )
    return call(bound_method, args, keywords)


@pytest.mark.parametrize(
    "args, keywords, error",
    [
        ((), {"u": 1, "v": 2}, None),
        ((1,), {"v": 2}, None),
        ((), {"v": 2, "u": 1}, None),
        ((), {"u": 1, "w": 2}, TypeError),
        ((), {"u": 1, "v": 2, "w": 3}, TypeError),
        ((1,), {"u": 1, "v": 2}, TypeError),
        ((), {"u": 1, "v": -2}, OverflowError),
    ],
)
def test_caller_keyword_dict_is_not_changed(args, keywords, error):
    g = build_graph([(1, 2)])
    kept = dict(keywords)
    if error is None:
        assert call_with_this_dict(g.remove_edge, args, keywords) is True
        assert g.num_edges() == 0
    else:
        with pytest.raises(error):
            call_with_this_dict(g.remove_edge, args, keywords)
        assert g.num_edges() == 1
    assert keywords == kept and list(keywords) == list(kept)


def test_empty_keyword_dict_is_no_keywords():
    g = Graph()
    assert g.add_edge(1, 2, **{}) is True
    assert g.degree(*[1], **{}) == 1


@pytest.mark.parametrize("method", NO_ARGS)
@pytest.mark.parametrize("args, kwargs", [((1,), {}), ((), {"x": 1}), ((None,), {})])
def test_parameterless_methods_refused_by_interpreter(method, args, kwargs):
    g = build_graph([(1, 2)])
    with pytest.raises(TypeError) as info:
        getattr(g, method)(*args, **kwargs)
    # The interpreter's own wording, not the matcher's.
    assert "PyGraph" not in str(info.value)
    assert method in str(info.value)
    assert g.edges() == [(1, 2)]


# --- vertex conversion -----------------------------------------------------

class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class IntSubclass(int):
    pass


@pytest.mark.parametrize(
    "arg, vertex",
    [
        (True, 1),
        (False, 0),
        (Index(7), 7),
        (IntSubclass(9), 9),
        (0, 0),
        (MAX_ID, MAX_ID),
        (4294967294, 4294967294),
        (2**31, 2**31),
        (Index(MAX_ID), MAX_ID),
    ],
)
def test_vertex_conversion_accepts(arg, vertex):
    g = Graph()
    g.add_vertex(arg)
    assert g.vertices() == {vertex}
    assert type(next(iter(g.vertices()))) is int
    assert g.contains(vertex) and g.contains(arg)
    g.add_edge(arg, arg)
    assert g.degree(arg) == 2
    assert g.edges() == [(vertex, vertex)]


@pytest.mark.parametrize(
    "arg", [-1, ID_END, -(2**63), 2**63 - 1, -ID_END, ID_END + 5, Index(-1), Index(ID_END), IntSubclass(-3)]
)
@pytest.mark.parametrize("method", ["degree", "add_vertex", "contains", "neighbours", "remove_vertex"])
def test_out_of_range_is_bare_overflow_error(method, arg):
    g = build_graph([(1, 2)])
    with pytest.raises(OverflowError) as info:
        getattr(g, method)(arg)
    assert type(info.value) is OverflowError
    assert info.value.args == ()
    assert str(info.value) == ""
    assert g.num_vertices() == 2


@pytest.mark.parametrize("arg", [2**63, 2**64, -(2**63) - 1, 10**30, Index(2**64)])
def test_beyond_64_bits_is_interpreters_overflow_error(arg):
    g = Graph()
    with pytest.raises(OverflowError) as info:
        g.degree(arg)
    assert type(info.value) is OverflowError
    assert len(info.value.args) == 1 and info.value.args[0]
    # Compare with the interpreter's own message for the same conversion.
    with pytest.raises(OverflowError) as expected:
        _as_c_long(arg)
    assert str(info.value) == str(expected.value)


def _as_c_long(value):
    # ctypes converts through the same C API call, PyLong_AsLong.
    import ctypes

    return ctypes.pythonapi.PyLong_AsLong(ctypes.py_object(operator.index(value)))


@pytest.mark.parametrize("arg", [1.0, "1", None, 1j, [1], b"\x01", object()])
def test_non_integer_is_interpreters_type_error(arg):
    g = Graph()
    with pytest.raises(TypeError) as info:
        g.add_vertex(arg)
    with pytest.raises(TypeError) as expected:
        operator.index(arg)
    assert str(info.value) == str(expected.value)
    assert g.num_vertices() == 0


def test_index_raising_propagates_unchanged():
    class Broken:
        def __index__(self):
            raise KeyError("from index")

    g = build_graph([(1, 2)])
    with pytest.raises(KeyError) as info:
        g.add_edge(1, Broken())
    assert info.value.args == ("from index",)
    # The traceback reaches into __index__.
    assert info.traceback[-1].name == "__index__"
    assert g.edges() == [(1, 2)]


def test_index_returning_non_int_is_type_error():
    class Bad:
        def __index__(self):
            return 1.5

    with pytest.raises(TypeError):
        Graph().degree(Bad())


def test_arguments_converted_in_order_and_stop_at_first_failure():
    seen = []

    class Tracked:
        def __init__(self, name, value):
            self.name, self.value = name, value

        def __index__(self):
            seen.append(self.name)
            return self.value

    g = Graph()
    assert g.add_edge(Tracked("u", 1), Tracked("v", 2)) is True
    assert seen == ["u", "v"]
    seen.clear()
    with pytest.raises(OverflowError):
        g.add_edge(Tracked("u", -1), Tracked("v", 3))
    assert seen == ["u"]
    assert g.num_vertices() == 2
    seen.clear()
    # Keywords are converted in declaration order, not the caller's order.
    g.add_edge(v=Tracked("v", 5), u=Tracked("u", 6))
    assert seen == ["u", "v"]
    assert g.adjacent(5, 6)


def test_second_argument_failure_changes_nothing():
    g = Graph()
    with pytest.raises(OverflowError):
        g.add_edge(1, -1)
    with pytest.raises(TypeError):
        g.add_edge(1, "2")
    assert g.num_vertices() == 0
    assert g.num_edges() == 0


# --- result types ----------------------------------------------------------

def test_result_types():
    g = build_graph([(1, 2), (MAX_ID, 0), (3, 3)], vertices=[9])
    assert type(g.num_vertices()) is int and g.num_vertices() == 6
    assert type(g.num_edges()) is int and g.num_edges() == 3
    assert type(g.degree(MAX_ID)) is int and g.degree(MAX_ID) == 1
    assert g.adjacent(1, 2) is True and g.adjacent(1, 3) is False
    assert g.contains(9) is True and g.contains(8) is False
    vs = g.vertices()
    assert type(vs) is set and vs == {0, 1, 2, 3, 9, MAX_ID}
    assert all(type(v) is int for v in vs)
    es = g.edges()
    assert type(es) is list
    assert all(type(e) is tuple and len(e) == 2 for e in es)
    assert all(type(x) is int for e in es for x in e)
    assert set(es) == {(1, 2), (0, MAX_ID), (3, 3)}
    assert type(g.neighbours(0)) is set and g.neighbours(0) == {MAX_ID}
    assert g.add_vertex(1) is None
    assert g.add_edge(1, 2) is False
    assert type(g.remove_loops()) is int
    assert type(g.remove_isolates()) is int
    assert type(g.copy()) is Graph


def test_results_are_new_objects():
    g = build_graph([(1, 2)])
    a, b = g.vertices(), g.vertices()
    assert a is not b
    a.add(99)
    assert g.vertices() == {1, 2}
    n = g.neighbours(1)
    n.clear()
    assert g.neighbours(1) == {2}
    e = g.edges()
    e.append((5, 6))
    assert g.edges() == [(1, 2)]


def test_unexpected_keyword_whose_str_raises():
    class Key(str):
        def __str__(self):
            raise ValueError("no text")

    g = Graph()
    with pytest.raises(ValueError, match="no text"):
        g.add_vertex(1, **{Key("k"): 1})
    assert g.num_vertices() == 0


def test_no_reference_leaks_on_any_path():
    import sys

    g = build_graph([(1, 2)])
    big = 10**12  # out of range, and not a cached small int
    vertex = 3_000_000_000
    index = Index(5)
    objects = [big, vertex, index]
    before = [sys.getrefcount(o) for o in objects]
    for _ in range(200):
        g.add_vertex(vertex)
        g.degree(u=vertex)
        g.add_edge(vertex, index)
        g.add_edge(v=index, u=vertex)
        g.adjacent(index, v=vertex)
        for bad in (lambda: g.degree(big), lambda: g.add_edge(big, index), lambda: g.degree(u=big)):
            try:
                bad()
            except OverflowError:
                pass
        try:
            g.add_edge(index, vertex, w=big)
        except TypeError:
            pass
        g.neighbours(vertex)
    assert [sys.getrefcount(o) for o in objects] == before


# --- notes on conversion errors -----------------------------------------------------

@pytest.mark.parametrize(
    "call, kind, note",
    [
        (lambda g: g.degree(-1), OverflowError, "vertex ids are integers from 0 to 4294967295 (got -1)"),
        (lambda g: g.add_edge(1, ID_END), OverflowError,
         "vertex ids are integers from 0 to 4294967295 (got 4294967296)"),
        (lambda g: g.subgraph({1, -5}), OverflowError, "vertex ids are integers from 0 to 4294967295 (got -5)"),
        (lambda g: g.r_neighbours(1, -2), OverflowError, "radii are integers from 0 to 4294967295 (got -2)"),
        (lambda g: g.subgraph([1, 2]), TypeError, "vertex sets must be given as a set (got list)"),
        (lambda g: g.contract(frozenset({1})), TypeError, "vertex sets must be given as a set (got frozenset)"),
        (lambda g: g.neighbourhood(None), TypeError, "vertex sets must be given as a set (got NoneType)"),
        (lambda g: Graph.from_file(b"x.txt"), TypeError, "file names must be given as a str (got bytes)"),
    ],
)
def test_conversion_errors_carry_a_note(call, kind, note):
    g = build_graph([(1, 2)])
    with pytest.raises(kind) as info:
        call(g)
    assert type(info.value) is kind
    assert info.value.args == ()
    # On interpreters without add_note the same list is there as __notes__.
    assert info.value.__notes__ == [note]
    assert g.edges() == [(1, 2)]


def test_interpreters_own_errors_carry_no_note():
    g = build_graph([(1, 2)])
    for call in (lambda: g.degree(2**64), lambda: g.degree(1.5)):
        with pytest.raises((OverflowError, TypeError)) as info:
            call()
        assert not hasattr(info.value, "__notes__")

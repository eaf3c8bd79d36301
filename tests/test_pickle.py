"""Pickling and copying graphs, which importing quiverlane_tools enables.

Every round trip (pickle at each protocol from 2 up, copy.copy,
copy.deepcopy, a process pool) must give an independent graph with the same
vertices and edges, on the real data sets and on graphs with isolated
vertices, loops and the extreme ids. The pickled form is fixed byte for
byte, so pickles move between machines and releases, and it loads in a
fresh interpreter that has imported nothing but pickle.
"""

import copy
import copyreg
import multiprocessing
import pickle
import struct
from pathlib import Path

import pytest

from conftest import build_graph, data_set_params
from graph_checks import MAX_ID, assert_same_graph, check_graph
from quiverlane import Graph
import quiverlane_tools as tools

DATA_DIR = (Path(__file__).resolve().parents[1] / ".." / "shared" / "data").resolve()

# Strict files, read with Graph.from_file, and downloads that need cleaning.
REAL_DATA = [
    "ca-GrQc.edges",
    "soc-Slashdot0902.edges.gz",
    "road-usroads-48.edges",
    "out.opsahl-powergrid.edges",
    "as-caida20070917.edges",
    "facebook_combined.txt",
    "road-usroads-48.mtx",
]

PROTOCOLS = range(2, pickle.HIGHEST_PROTOCOL + 1)

# Loops, both extreme ids, isolated vertices (0 and MAX_ID among them in the
# second graph), a triangle and a star.
SMALL_GRAPHS = {
    "empty": ([], []),
    "one isolated vertex": ([], [5]),
    "isolated extremes": ([], [0, MAX_ID]),
    "one loop": ([(7, 7)], []),
    "extremes joined": ([(0, MAX_ID), (MAX_ID, MAX_ID), (0, 0)], [12]),
    "mixed": ([(1, 2), (2, 3), (3, 1), (7, 7), (0, MAX_ID), (10, 11)] + [(100, x) for x in range(200, 260)],
              [42, 99, 2**31]),
}


def load(name):
    path = DATA_DIR / name
    if not path.is_file():
        pytest.skip(f"missing data set {path}")
    if name.endswith((".edges", ".edges.gz", "facebook_combined.txt")):
        return Graph.from_file(str(path))
    return tools.read_edge_list(path)


@pytest.fixture(scope="module", params=data_set_params(REAL_DATA))
def real_graph(request):
    return load(request.param)


@pytest.fixture(params=sorted(SMALL_GRAPHS))
def small_graph(request):
    edges, isolated = SMALL_GRAPHS[request.param]
    return build_graph(edges, isolated)


def assert_independent(copied, original):
    """The copy is a different object that later edits do not share."""
    assert copied is not original
    before = original.vertices(), set(original.edges())
    copied.add_edge(MAX_ID - 1, MAX_ID - 2)
    for v in list(copied.vertices())[:3]:
        copied.remove_vertex(v)
    assert (original.vertices(), set(original.edges())) == before


# --- the pickled form ------------------------------------------------------


def test_state_is_little_endian_u32_pairs_and_isolated_ids():
    g = build_graph([(0x01020304, 1), (MAX_ID, MAX_ID)], vertices=[0x0A0B0C0D])
    rebuild, (edges, isolated) = copyreg.dispatch_table[Graph](g)
    assert rebuild is tools.rebuild_graph
    pairs = set(struct.iter_unpack("<2I", edges))
    assert pairs == {(1, 0x01020304), (MAX_ID, MAX_ID)} and len(edges) == 16
    assert isolated == bytes([0x0D, 0x0C, 0x0B, 0x0A])


def test_pickle_names_the_public_rebuild_function():
    data = pickle.dumps(build_graph([(1, 2)]), protocol=4)
    assert b"quiverlane_tools" in data and b"rebuild_graph" in data
    assert b"_pickle" not in data  # not the private module, which may move


# A protocol-2 pickle of the graph with edges {0, 4294967295}, {3, 3} and
# {5, 6} and the isolated vertex 9, as written by quiverlane_tools 0.1.0
# (pickletools.dis shows its parts). Pickles written by any release on any
# machine must keep loading.
PICKLE_0_1_0 = bytes.fromhex(
    "8002637175697665726c616e655f746f6f6c730a72656275696c645f67726170"
    "680a7100635f636f646563730a656e636f64650a7101581c0000000300000003"
    "00000000000000c3bfc3bfc3bfc3bf0500000006000000710258060000006c61"
    "74696e3171038671045271056801580400000009000000710668038671075271"
    "0886710952710a2e"
)


def test_graph_pickled_by_an_earlier_release_loads():
    g = pickle.loads(PICKLE_0_1_0)
    assert_same_graph(g, build_graph([(0, MAX_ID), (3, 3), (5, 6)], vertices=[9]))
    check_graph(g)


def test_rebuild_from_known_bytes():
    edges = struct.pack("<6I", 0, MAX_ID, 3, 3, 6, 5)
    g = tools.rebuild_graph(edges, struct.pack("<2I", 9, 6))
    assert_same_graph(g, build_graph([(0, MAX_ID), (3, 3), (5, 6)], vertices=[9]))
    assert g.degree(3) == 2


@pytest.mark.parametrize(
    "edges, isolated, error, message",
    [
        ("", b"", TypeError, "edges must be bytes, not str"),
        (b"", None, TypeError, "isolated must be bytes, not NoneType"),
        (bytearray(8), b"", TypeError, "edges must be bytes, not bytearray"),
        (b"", memoryview(b"1234"), TypeError, "isolated must be bytes, not memoryview"),
        ([(1, 2)], b"", TypeError, "edges must be bytes, not list"),
        (b"\x00" * 7, b"", ValueError, "edges has 7 bytes, not a multiple of 8"),
        (b"\x00" * 12, b"", ValueError, "edges has 12 bytes, not a multiple of 8"),
        (b"", b"\x00" * 6, ValueError, "isolated has 6 bytes, not a multiple of 4"),
    ],
)
def test_malformed_state_is_refused(edges, isolated, error, message):
    with pytest.raises(error, match=message):
        tools.rebuild_graph(edges, isolated)


class _Forged:
    """Pickles as a graph state of its own making."""

    def __init__(self, *state):
        self.state = state

    def __reduce__(self):
        return tools.rebuild_graph, self.state


def test_malformed_pickle_fails_to_load_with_the_reason():
    data = pickle.dumps(_Forged(b"\x01\x00\x00\x00\x02\x00\x00", b""))
    with pytest.raises(ValueError, match="edges has 7 bytes"):
        pickle.loads(data)


# --- round trips -----------------------------------------------------------


@pytest.mark.parametrize("protocol", PROTOCOLS)
def test_small_graphs_survive_pickling(small_graph, protocol):
    back = pickle.loads(pickle.dumps(small_graph, protocol=protocol))
    assert_same_graph(back, small_graph)
    check_graph(back)
    assert_independent(back, small_graph)


@pytest.mark.parametrize("protocol", PROTOCOLS)
def test_real_graphs_survive_pickling(real_graph, protocol):
    back = pickle.loads(pickle.dumps(real_graph, protocol=protocol))
    assert_same_graph(back, real_graph)


def test_pickle_is_compact(real_graph):
    # Eight bytes per edge and four per isolated vertex, plus a fixed header.
    isolated = sum(1 for v in real_graph.vertices() if real_graph.degree(v) == 0)
    size = len(pickle.dumps(real_graph, protocol=pickle.HIGHEST_PROTOCOL))
    assert 0 <= size - (8 * real_graph.num_edges() + 4 * isolated) < 100


@pytest.mark.parametrize("how", [copy.copy, copy.deepcopy], ids=["copy", "deepcopy"])
def test_copies_of_small_graphs_are_equal_and_independent(small_graph, how):
    copied = how(small_graph)
    assert type(copied) is Graph
    assert_same_graph(copied, small_graph)
    check_graph(copied)
    assert_independent(copied, small_graph)


@pytest.mark.parametrize("how", [copy.copy, copy.deepcopy], ids=["copy", "deepcopy"])
def test_copies_of_real_graphs_are_equal_and_independent(real_graph, how):
    copied = how(real_graph)
    assert_same_graph(copied, real_graph)
    assert_independent(copied, real_graph)


def test_deepcopy_copies_a_graph_held_twice_once():
    g = build_graph([(1, 2), (3, 3)], vertices=[0])
    holder = {"a": [g, g], "b": (g, "label"), "c": g}
    copied = copy.deepcopy(holder)
    first = copied["a"][0]
    assert first is not g
    assert copied["a"][1] is first and copied["b"][0] is first and copied["c"] is first
    assert_same_graph(first, g)
    shallow = copy.copy([g, g])
    assert shallow[0] is g and shallow[1] is g  # a shallow copy of the list shares the graph


def test_copies_use_the_native_copy_where_the_copy_module_allows():
    # CPython 3.9 to 3.13 all have the private tables; copy() and
    # deepcopy() then call Graph.copy rather than pickling the graph.
    if not isinstance(getattr(copy, "_copy_dispatch", None), dict):
        pytest.skip("this Python's copy module has no dispatch tables")
    assert copy._copy_dispatch[Graph] is Graph.copy
    assert Graph in copy._deepcopy_dispatch


def test_copies_through_the_reducer_when_the_tables_are_missing(monkeypatch):
    if isinstance(getattr(copy, "_copy_dispatch", None), dict):
        monkeypatch.delitem(copy._copy_dispatch, Graph)
        monkeypatch.delitem(copy._deepcopy_dispatch, Graph)
    g = build_graph([(1, 2), (0, MAX_ID)], vertices=[7])
    shallow, (deep, again) = copy.copy(g), copy.deepcopy([g, g])
    for copied in (shallow, deep):
        assert_same_graph(copied, g)
        assert_independent(copied, g)
    assert deep is again
    grqc = load("ca-GrQc.edges")
    assert_same_graph(copy.deepcopy(grqc), grqc)


def test_import_where_copy_has_no_tables_still_copies(python_run):
    # A copy module without the private tables, as a later Python may have:
    # the import must not fail, and copies then go through the reducer.
    result = python_run(
        """
        import copy, pickle, sys, types
        bare = types.ModuleType("copy")
        bare.__dict__.update((k, v) for k, v in vars(copy).items() if not k.endswith("copy_dispatch"))
        sys.modules["copy"] = bare
        import quiverlane_tools
        sys.modules["copy"] = copy
        from quiverlane import Graph
        assert Graph not in copy._copy_dispatch and Graph not in copy._deepcopy_dispatch
        g = Graph()
        g.add_edge(1, 2)
        g.add_vertex(4294967295)
        for h in (copy.copy(g), copy.deepcopy(g), pickle.loads(pickle.dumps(g))):
            assert h is not g
            assert h.vertices() == {1, 2, 4294967295} and h.edges() == [(1, 2)], h
        print("ok")
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "ok\n"


# --- other processes -------------------------------------------------------


def test_pickle_loads_in_an_interpreter_that_imported_only_pickle(python_run, tmp_path):
    original = load("ca-GrQc.edges")
    original.add_vertex(MAX_ID)
    original.add_vertex(0)
    sent, returned = tmp_path / "sent.pickle", tmp_path / "returned.pickle"
    sent.write_bytes(pickle.dumps(original, protocol=pickle.HIGHEST_PROTOCOL))
    result = python_run(
        f"""
        import pickle, sys
        assert "quiverlane_tools" not in sys.modules
        with open({str(sent)!r}, "rb") as f:
            g = pickle.load(f)
        print(type(g).__name__, g.num_vertices(), g.num_edges(), "quiverlane_tools" in sys.modules)
        with open({str(returned)!r}, "wb") as f:
            pickle.dump(g, f)  # the load registered the reducer in this process too
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["Graph", str(original.num_vertices()), str(original.num_edges()), "True"]
    assert_same_graph(pickle.loads(returned.read_bytes()), original)


def grow(g):
    """Runs in a pool worker: adds an edge to the graph it was sent."""
    g.add_edge(MAX_ID, 0)
    return g.num_edges(), g


@pytest.mark.slow
def test_process_pool_takes_and_returns_graphs():
    graphs = [load("road-usroads-48.edges"), build_graph([(3, 3)], vertices=[8]), Graph()]
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        results = pool.map(grow, graphs)
    for g, (edges, back) in zip(graphs, results):
        expected = g.copy()
        expected.add_edge(MAX_ID, 0)
        assert edges == expected.num_edges()
        assert_same_graph(back, expected)
        assert not g.adjacent(MAX_ID, 0)  # the worker changed its own copy

"""The companion module quiverlane_tools, on real data and real files.

Conversions are checked against the graph they came from; edge-list files
are written and read back through Graph.from_file; read_edge_list must give,
for each original download in ../shared/data, the graph its cleaned copy
gives, and must name the original line when it refuses one.
"""

import gzip
import importlib
import os
import pickle
import subprocess
import warnings
from pathlib import Path

import pytest

from conftest import build_graph
from graph_checks import ID_END, MAX_ID, edge_set, fault_of, snapshot
from quiverlane import Graph
import quiverlane_tools as tools

DATA_DIR = (Path(__file__).resolve().parents[1] / ".." / "shared" / "data").resolve()

# Each original download and its cleaned "u v" copy.
ORIGINALS = {
    "ca-GrQc.txt": "ca-GrQc.edges",
    "soc-Slashdot0902.txt.gz": "soc-Slashdot0902.edges.gz",
    "road-usroads-48.mtx": "road-usroads-48.edges",
    "out.opsahl-powergrid": "out.opsahl-powergrid.edges",
    "as-caida20070917.txt": "as-caida20070917.edges",
    "facebook_combined.txt.gz": "facebook_combined.txt",
}

SAMPLE_EDGES = [(1, 2), (2, 3), (3, 1), (7, 7), (0, MAX_ID), (10, 11)]


def need(name):
    """Imports an optional dependency; CI installs them all, so missing there fails."""
    try:
        return importlib.import_module(name)
    except ImportError:
        if os.environ.get("CI"):
            pytest.fail(f"{name} is not installed", pytrace=False)
        pytest.skip(f"{name} is not installed")


def data_file(name):
    path = DATA_DIR / name
    if not path.is_file():
        if os.environ.get("CI"):
            pytest.fail(f"missing data set {path}", pytrace=False)
        pytest.skip(f"missing data set {path}")
    return path


@pytest.fixture
def sample():
    return build_graph(SAMPLE_EDGES, vertices=[42, 99])


# --- write_edge_list -------------------------------------------------------


@pytest.mark.parametrize("name", ["graph.edges", "graph.edges.gz", "graph.txt.GZ"])
def test_written_file_reads_back_as_the_same_edges(tmp_path, sample, name):
    path = tmp_path / name
    with pytest.warns(tools.IsolatedVerticesDropped, match="2 isolated vertices"):
        lines = tools.write_edge_list(sample, path)
    assert lines == len(SAMPLE_EDGES)
    back = Graph.from_file(str(path))
    assert edge_set(back) == edge_set(sample)
    assert back.vertices() == sample.vertices() - {42, 99}
    assert back.degree(7) == 2  # the loop survives


@pytest.mark.parametrize("name, compressed", [("g.edges.gz", True), ("g.edges", False), ("g.edges.GZ", False)])
def test_written_file_is_gzip_exactly_when_named_dot_gz(tmp_path, name, compressed):
    path = tmp_path / name
    tools.write_edge_list(build_graph([(3, 4)]), path)
    raw = path.read_bytes()
    assert raw.startswith(b"\x1f\x8b") == compressed
    text = gzip.decompress(raw) if compressed else raw
    assert text == b"3 4\n"


def test_graph_without_isolated_vertices_writes_without_warning(tmp_path):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert tools.write_edge_list(build_graph([(5, 5), (1, 2)]), tmp_path / "g.edges") == 2


def test_empty_graph_writes_an_empty_file(tmp_path):
    path = tmp_path / "empty.edges"
    assert tools.write_edge_list(Graph(), path) == 0
    assert path.read_bytes() == b""
    assert Graph.from_file(str(path)).num_vertices() == 0


def test_real_graph_round_trips_through_gzip(tmp_path):
    road = Graph.from_file(str(data_file("road-usroads-48.edges")))
    path = tmp_path / "road.edges.gz"
    assert tools.write_edge_list(road, path) == road.num_edges()
    lines = gzip.decompress(path.read_bytes()).splitlines()
    # Every edge once, though not in the order edges() gives them.
    assert sorted(lines) == sorted(b"%d %d" % pair for pair in road.edges())
    assert snapshot(Graph.from_file(str(path))) == snapshot(road)


# --- NetworkX --------------------------------------------------------------


def test_networkx_round_trip_keeps_isolated_vertices_and_loops(sample):
    nx = need("networkx")
    nx_graph = tools.to_networkx(sample)
    assert isinstance(nx_graph, nx.Graph)
    assert set(nx_graph.nodes) == sample.vertices()
    assert {tuple(sorted(e)) for e in nx_graph.edges()} == edge_set(sample)
    assert nx.number_of_selfloops(nx_graph) == 1
    assert snapshot(tools.from_networkx(nx_graph)) == snapshot(sample)


def test_networkx_agrees_on_components_of_real_data():
    nx = need("networkx")
    grqc = Graph.from_file(str(data_file("ca-GrQc.edges")))
    nx_parts = {frozenset(c) for c in nx.connected_components(tools.to_networkx(grqc))}
    assert nx_parts == {frozenset(c) for c in grqc.components()}
    assert len(nx_parts) == 355


def test_from_networkx_accepts_numpy_integer_nodes_and_merges_parallel_edges():
    nx = need("networkx")
    numpy = need("numpy")
    multi = nx.MultiGraph()
    multi.add_edges_from([(numpy.uint32(1), numpy.uint32(2)), (1, 2), (2, 3)])
    assert edge_set(tools.from_networkx(multi)) == {(1, 2), (2, 3)}


def test_from_networkx_of_plain_int_nodes_keeps_loops_isolated_nodes_and_extreme_ids():
    nx = need("networkx")
    multi = nx.MultiGraph()
    multi.add_nodes_from([MAX_ID, 5, 0])
    multi.add_edges_from([(1, 2), (2, 1), (1, 2), (3, 3), (3, 3), (0, 9), (MAX_ID, MAX_ID - 1)])
    g = tools.from_networkx(multi)
    assert g.vertices() == {0, 1, 2, 3, 5, 9, MAX_ID, MAX_ID - 1}
    assert edge_set(g) == {(1, 2), (3, 3), (0, 9), (MAX_ID - 1, MAX_ID)}
    assert tools.from_networkx(nx.Graph()).num_vertices() == 0
    lonely = nx.Graph([(1, 2)])
    lonely.add_node(ID_END)
    with pytest.raises(ValueError, match="node 4294967296 is outside"):
        tools.from_networkx(lonely)


@pytest.mark.parametrize("name", ["road-usroads-48.edges", "ca-GrQc.edges"])
def test_from_networkx_gives_back_a_real_graph(name):
    need("networkx")
    g = Graph.from_file(str(data_file(name)))
    for v in (0, MAX_ID, 123456789):
        g.add_vertex(v)
    assert snapshot(tools.from_networkx(tools.to_networkx(g))) == snapshot(g)


def test_from_networkx_takes_int_like_nodes_mixed_with_ints():
    nx = need("networkx")
    numpy = need("numpy")
    import enum

    class Port(enum.IntEnum):
        HTTP = 80

    mixed = nx.Graph([(Port.HTTP, 443), (numpy.int64(7), 8)])
    mixed.add_node(numpy.uint8(3))
    g = tools.from_networkx(mixed)
    assert edge_set(g) == {(80, 443), (7, 8)} and g.vertices() == {3, 7, 8, 80, 443}
    assert all(type(v) is int for v in g.vertices())


@pytest.mark.parametrize(
    "node, error, message",
    [
        ("a", TypeError, "node 'a' of type str is not a vertex id"),
        (1.5, TypeError, "node 1.5 of type float"),
        (True, TypeError, "is a bool"),
        (-1, ValueError, "node -1 is outside"),
        (ID_END, ValueError, "node 4294967296 is outside"),
    ],
)
def test_from_networkx_names_the_node_it_cannot_take(node, error, message):
    nx = need("networkx")
    nx_graph = nx.Graph()
    nx_graph.add_edge(0, node)
    with pytest.raises(error, match=message):
        tools.from_networkx(nx_graph)


def test_from_networkx_refuses_a_directed_graph():
    nx = need("networkx")
    with pytest.raises(TypeError, match="to_undirected"):
        tools.from_networkx(nx.DiGraph([(1, 2)]))


# --- NumPy and SciPy -------------------------------------------------------


def test_numpy_edges_are_the_edge_list(sample):
    numpy = need("numpy")
    array = tools.to_numpy_edges(sample)
    assert array.dtype == numpy.uint32 and array.shape == (len(SAMPLE_EDGES), 2)
    assert {tuple(int(x) for x in row) for row in array} == edge_set(sample)
    assert tools.to_numpy_edges(Graph()).shape == (0, 2)


def test_from_edges_takes_pairs_and_arrays(sample):
    need("numpy")
    assert edge_set(tools.from_edges(SAMPLE_EDGES + [(2, 1)])) == edge_set(sample)
    assert edge_set(tools.from_edges(tools.to_numpy_edges(sample))) == edge_set(sample)
    assert tools.from_edges(iter([])).num_vertices() == 0


@pytest.mark.parametrize(
    "pairs, error, message",
    [([(1, 2), (3,)], ValueError, "item 1 is \\(3,\\)"), ([(1, 2, 3)], ValueError, "item 0"), ([5], ValueError, "item 0 is 5")],
)
def test_from_edges_names_a_malformed_pair(pairs, error, message):
    with pytest.raises(error, match=message):
        tools.from_edges(pairs)


def test_from_edges_refuses_out_of_range_ids():
    with pytest.raises(OverflowError):
        tools.from_edges([(0, ID_END)])


def test_scipy_matrix_is_symmetric_with_loops_on_the_diagonal(sample):
    numpy = need("numpy")
    need("scipy")
    matrix, ids = tools.to_scipy(sample)
    n = sample.num_vertices()
    assert matrix.shape == (n, n) and ids.dtype == numpy.uint32
    assert sorted(int(i) for i in ids) == sorted(sample.vertices())
    assert matrix.nnz == 2 * sample.num_edges() - 1  # one loop, stored once
    assert (matrix != matrix.T).nnz == 0
    row = {int(v): i for i, v in enumerate(ids)}
    dense = matrix.toarray()
    assert dense[row[7], row[7]] == 1
    assert dense[row[0], row[MAX_ID]] == 1
    assert not dense[row[42]].any()
    for v in sample.vertices():
        loops = 1 if sample.adjacent(v, v) else 0
        assert dense[row[v]].sum() == sample.degree(v) - loops
    empty, no_ids = tools.to_scipy(Graph())
    assert empty.shape == (0, 0) and len(no_ids) == 0


def test_scipy_agrees_on_components_of_real_data():
    need("scipy")
    from scipy.sparse.csgraph import connected_components

    grqc = Graph.from_file(str(data_file("ca-GrQc.edges")))
    matrix, ids = tools.to_scipy(grqc)
    count, labels = connected_components(matrix, directed=False)
    assert count == len(grqc.components())
    assert matrix.nnz == 2 * grqc.num_edges() - 12  # 12 loops in ca-GrQc
    biggest = max(grqc.components(), key=len)
    label_of_biggest = labels[list(ids).index(next(iter(biggest)))]
    assert {int(v) for v in ids[labels == label_of_biggest]} == biggest


def test_scipy_distances_agree_with_balls_of_real_data():
    # SciPy's graph routines before 1.15 refuse int64 index arrays.
    numpy = need("numpy")
    need("scipy")
    from scipy.sparse.csgraph import shortest_path

    grqc = Graph.from_file(str(data_file("ca-GrQc.edges")))
    matrix, ids = tools.to_scipy(grqc)
    assert matrix.indices.dtype == numpy.int32 and matrix.indptr.dtype == numpy.int32
    source = next(iter(max(grqc.components(), key=len)))
    hops = shortest_path(matrix, unweighted=True, indices=list(ids).index(source))
    for radius in (1, 2, 3):
        assert {int(v) for v in ids[hops <= radius]} == grqc.r_neighbours(source, radius)


# --- read_edge_list on real downloads --------------------------------------


@pytest.mark.parametrize("original, cleaned", sorted(ORIGINALS.items()))
def test_original_download_gives_the_cleaned_graph(original, cleaned):
    expected = Graph.from_file(str(data_file(cleaned)))
    assert snapshot(tools.read_edge_list(data_file(original))) == snapshot(expected)


def test_strict_file_is_passed_straight_through():
    # A cleaned file reads like Graph.from_file; a gzip name is inflated.
    path = data_file("soc-Slashdot0902.edges.gz")
    assert snapshot(tools.read_edge_list(str(path))) == snapshot(Graph.from_file(str(path)))


# --- read_edge_list on files made here -------------------------------------


def write(tmp_path, name, data):
    path = tmp_path / name
    path.write_bytes(gzip.compress(data) if name.endswith(".gz") else data)
    return path


@pytest.mark.parametrize(
    "data, edges",
    [
        (b"# SNAP header\n# Nodes: 3\n0\t1\r\n1\t2\r\n", {(0, 1), (1, 2)}),
        (b"% sym unweighted\n% 2 3 3\n1 2 1\n2 3 1\n", {(1, 2), (2, 3)}),
        (b"%%MatrixMarket matrix coordinate pattern symmetric\n%\n3 3 2\n2 1\n3 2\n", {(1, 2), (2, 3)}),
        (b"%%MatrixMarket matrix coordinate real general\n3 3 1\n1 3 0.5\n", {(1, 3)}),
        (b"1 2\n\n  \n3 4 -1\n# late comment\n5 5", {(1, 2), (3, 4), (5, 5)}),
        (b"+5 007\n4294967295\t0\n", {(5, 7), (0, 4294967295)}),
        ("1\u00a02 x\n3\u30004\n".encode("utf-8"), {(1, 2), (3, 4)}),
        (b"\xef\xbb\xbf# made on Windows\r\n1 2\r\n", {(1, 2)}),
        (b"", set()),
    ],
    ids=[
        "snap", "konect", "matrix-market", "matrix-market-weights", "mixed",
        "signs-zeros-max", "unicode-blanks", "byte-order-mark", "empty",
    ],
)
@pytest.mark.parametrize("name", ["g.txt", "g.txt.gz"])
def test_read_edge_list_cleans_what_downloads_contain(tmp_path, data, edges, name):
    assert edge_set(tools.read_edge_list(write(tmp_path, name, data))) == edges


@pytest.mark.parametrize(
    "late, edge",
    [(b"7 9 1\n", (7, 9)), (b"   \n", None), (b"\t\r\n", None), (b"7 9 # why\n", (7, 9))],
    ids=["third-column", "blank-spaces", "blank-tab-cr", "trailing-remark"],
)
def test_odd_line_among_plain_numbers_is_cleaned(tmp_path, late, edge):
    # Runs of lines of digits and blanks are copied unseen; when the reader
    # refuses one of them, the file is cleaned again line by line.
    lines = [b"%d %d\n" % (i, i + 1) for i in range(5000)]
    lines.insert(3000, late)
    graph = tools.read_edge_list(write(tmp_path, "g.txt", b"# header\n" + b"".join(lines)))
    assert graph.num_edges() == 5000 + (edge is not None)
    if edge:
        assert graph.adjacent(*edge)


@pytest.mark.parametrize("columns", [(0, 1), (2, 0), (1, 3)])
def test_extra_columns_are_cut_from_every_line_of_a_large_file(tmp_path, columns):
    rows = [[i, i + 1, (7 * i) % 5000, i + 2] for i in range(30000)]
    text = [" ".join(map(str, row)) + ("\r\n" if i % 3 else "\n") for i, row in enumerate(rows)]
    text[12000] = "  % a comment with leading blanks\n"
    text[20000] = "1 2 3 4 5\n"  # a line wider than the rest
    text.insert(25000, "\n")
    graph = tools.read_edge_list(write(tmp_path, "wide.txt.gz", "".join(text).encode()), columns=columns)
    expected = {
        tuple(sorted((row[columns[0]], row[columns[1]])))
        for i, row in enumerate(rows)
        if i != 12000
    }
    expected.add(tuple(sorted(([1, 2, 3, 4][columns[0]], [1, 2, 3, 4][columns[1]]))))
    expected.discard(tuple(sorted((rows[20000][columns[0]], rows[20000][columns[1]]))))
    assert edge_set(graph) == expected


def test_first_refused_line_is_named_when_later_lines_are_bad_too(tmp_path):
    lines = [b"%d %d\n" % (i, i + 1) for i in range(5000)]
    lines[1000] = b"1 99999999999\n"  # copied unseen, refused by the reader
    lines[4000] = b"1 x\n"  # refused by the cleaner itself
    with pytest.raises(tools.EdgeListFormatError, match="line 1002: cannot parse vertex id 99999999999"):
        tools.read_edge_list(write(tmp_path, "g.txt", b"# header\n" + b"".join(lines)))


def test_comment_far_past_the_first_lines_is_still_dropped(tmp_path):
    lines = [f"{i} {i + 1}\n" for i in range(20000)]
    lines.insert(15000, "# a comment in the middle\n")
    graph = tools.read_edge_list(write(tmp_path, "late.txt", "".join(lines).encode()))
    assert graph.num_edges() == 20000


@pytest.mark.parametrize(
    "data, columns, comments, edges",
    [
        (b"7 1 2\n8 2 3\n", (1, 2), "#%", {(1, 2), (2, 3)}),
        (b"1 2 3\n", (2, 0), "#%", {(1, 3)}),
        (b"1 2\n% not a comment here\n", (0, 1), "#", None),
        (b"; comment\n1 2\n", (0, 1), ";", {(1, 2)}),
    ],
)
def test_columns_and_comments_can_be_chosen(tmp_path, data, columns, comments, edges):
    path = write(tmp_path, "g.txt", data)
    if edges is None:
        with pytest.raises(tools.EdgeListFormatError, match="line 2: cannot parse vertex id %"):
            tools.read_edge_list(path, comments=comments, columns=columns)
    else:
        assert edge_set(tools.read_edge_list(path, comments=comments, columns=columns)) == edges


NO_ID = "no option reads it: vertex ids are whole numbers from 0 to 4294967295"


@pytest.mark.parametrize(
    "data, line, reason, hint",
    [
        (b"# header\n# more\n1 2\n3\n", 4, "expected at least 2 columns, found 1",
         "no option reads a line with fewer than two columns"),
        (b"# header\n1 2\n3 1e3\n", 3, "cannot parse vertex id 1e3", NO_ID),
        (b"1 2\n3 -1 7\n", 2, "cannot parse vertex id -1", NO_ID),
        (b"1 4294967296\n", 1, "cannot parse vertex id 4294967296", NO_ID),
        (b"1 2\n2 \xff\n", 2, "is not valid UTF-8",
         "no option reads it: only comment lines may be in another encoding than UTF-8"),
        (b"1 2\n1\x1f2 3\n", 2, "cannot parse vertex id 1\x1f2", NO_ID),
        (b"%%MatrixMarket matrix array real general\n2 2\n1\n", 1,
         "a MatrixMarket array holds a dense matrix, not an edge list",
         "no option reads it: store the matrix in coordinate form"),
    ],
    ids=["columns", "exponent", "negative", "too-big", "utf-8", "unit-separator", "mm-array"],
)
@pytest.mark.parametrize("name", ["bad.txt", "bad.txt.gz"])
def test_refused_line_is_named_by_its_original_number(tmp_path, data, line, reason, hint, name):
    path = write(tmp_path, name, data)
    with pytest.raises(tools.EdgeListFormatError) as caught:
        tools.read_edge_list(path)
    error = caught.value
    assert isinstance(error, OSError)
    assert (error.line, error.reason, error.hint, error.path) == (line, reason, hint, str(path))
    assert str(error) == f"{path}, line {line}: {reason}; {hint}"


def test_refusal_deep_in_a_strict_looking_file_names_its_line(tmp_path):
    lines = [f"{i} {i + 1}\n" for i in range(30000)]
    lines[25000] = "25000 x\n"
    with pytest.raises(tools.EdgeListFormatError, match="line 25001: cannot parse vertex id x"):
        tools.read_edge_list(write(tmp_path, "deep.txt", "".join(lines).encode()))


def test_truncated_gzip_is_refused_as_unreadable(tmp_path):
    whole = gzip.compress(b"# c\n" + b"".join(b"%d %d\n" % (i, i + 1) for i in range(50000)))
    path = tmp_path / "cut.txt.gz"
    path.write_bytes(whole[: len(whole) // 2])
    with pytest.raises(tools.EdgeListFormatError, match="cannot be read after line") as caught:
        tools.read_edge_list(path)
    assert caught.value.line is None


def not_gzip(size):
    """Plain text that starts with a comment, `size` edge lines."""
    return b"# header\n" + b"".join(b"%d %d\n" % (2 * i + 1, 2 * i + 2) for i in range(size))


def damaged_gzip(size):
    whole = bytearray(gzip.compress(not_gzip(size)))
    whole[3] |= 0xE0  # reserved flag bits: not a header any reader accepts
    whole[12:40] = bytes(28)  # and deflate data that cannot be inflated
    return bytes(whole)


@pytest.mark.parametrize(
    "data",
    [not_gzip(5), not_gzip(40000), damaged_gzip(5), damaged_gzip(40000)],
    ids=["plain-small", "plain-large", "damaged-small", "damaged-large"],
)
@pytest.mark.parametrize("columns", [(0, 1), (1, 0)])
def test_gz_name_on_data_that_is_not_gzip_fails_as_from_file_does(tmp_path, data, columns):
    # A plain file named ".gz" once gave an empty graph: the peek through
    # gzip left the descriptor the cleaner reads from at the end of the file.
    path = tmp_path / "x.txt.gz"
    path.write_bytes(data)
    expected = fault_of(lambda: Graph.from_file(str(path)), message=None)
    assert "read error" in expected.args[0]
    error = fault_of(lambda: tools.read_edge_list(path, columns=columns), message=None)
    assert error.args == expected.args


@pytest.mark.parametrize("size", [5, 40000])
def test_gzip_file_is_cleaned_from_its_first_byte_after_the_peek(tmp_path, size):
    path = tmp_path / "x.txt.gz"
    path.write_bytes(gzip.compress(not_gzip(size)))
    graph = tools.read_edge_list(path)
    assert (graph.num_vertices(), graph.num_edges()) == (2 * size, size)
    assert graph.adjacent(1, 2) and graph.adjacent(2 * size - 1, 2 * size)


def test_named_pipe_is_cleaned_as_a_stream(tmp_path):
    fifo = tmp_path / "edges.fifo"
    os.mkfifo(fifo)
    writer = subprocess.Popen(["sh", "-c", f"printf '# c\\n1 2\\n2 3\\n' > '{fifo}'"])
    try:
        assert edge_set(tools.read_edge_list(fifo)) == {(1, 2), (2, 3)}
    finally:
        writer.wait(timeout=60)


def test_refusal_survives_pickling(tmp_path):
    with pytest.raises(tools.EdgeListFormatError) as caught:
        tools.read_edge_list(write(tmp_path, "g.txt", b"1 x\n"))
    copy = pickle.loads(pickle.dumps(caught.value))
    assert (copy.path, copy.line, copy.reason, copy.hint, str(copy)) == (
        caught.value.path, 1, "cannot parse vertex id x", caught.value.hint, str(caught.value))
    assert copy.hint == "to read it, pass skip_header=1 if line 1 is a header"


def test_missing_file_raises_file_not_found(tmp_path):
    with pytest.raises(FileNotFoundError):
        tools.read_edge_list(tmp_path / "absent.txt")


@pytest.mark.parametrize(
    "kwargs, message",
    [({"columns": (0,)}, "two columns"), ({"columns": (-1, 0)}, "0-based"), ({"comments": "1"}, "comment characters")],
)
def test_bad_options_are_refused(tmp_path, kwargs, message):
    with pytest.raises(ValueError, match=message):
        tools.read_edge_list(write(tmp_path, "g.txt", b"1 2\n"), **kwargs)


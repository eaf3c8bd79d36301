"""write_parquet and read_parquet, on real data and real Parquet files.

Every round trip is checked twice: the tables themselves, read with pyarrow
alone, must hold the layout the docs promise (so that a fault shared by the
writer and the reader cannot hide), and read_parquet must give back the
graph that was written. Refusals are made from real Parquet files that
pyarrow writes with the fault in them.
"""

import os

import pytest

from conftest import build_graph, data_file
from graph_checks import MAX_ID, check_graph, edge_set, snapshot
from quiverlane import Graph
import quiverlane_tools as tools

if os.environ.get("CI"):
    import pyarrow  # the test extra has it, so CI fails rather than skips without it
else:
    pyarrow = pytest.importorskip("pyarrow")
import pyarrow.parquet as pq  # noqa: E402


ISOLATED = [3000000000, 2147483648, MAX_ID - 1]
SAMPLE_EDGES = [(0, MAX_ID), (7, 7), (5, 1), (1, 2), (2, 5), (2147483647, 2147483648)]




def check_tables(directory, graph, id_type):
    """The two files, read with pyarrow alone, hold exactly `graph` in the documented layout."""
    arrow_type = {"uint32": pyarrow.uint32(), "int64": pyarrow.int64()}[id_type]
    edges = pq.read_table(directory / "edges.parquet")
    vertices = pq.read_table(directory / "vertices.parquet")
    assert edges.schema.names == ["src", "dst"] and vertices.schema.names == ["id"]
    assert {field.type for field in (*edges.schema, *vertices.schema)} == {arrow_type}
    assert edges.column("src").null_count == edges.column("dst").null_count == 0
    rows = list(zip(edges.column("src").to_pylist(), edges.column("dst").to_pylist()))
    assert all(a <= b for a, b in rows), "an edge row has its larger end first"
    assert len(rows) == graph.num_edges() and set(rows) == edge_set(graph)
    ids = vertices.column("id").to_pylist()
    assert len(ids) == graph.num_vertices() and set(ids) == graph.vertices()


def round_trip(tmp_path, graph, **options):
    directory = tmp_path / "graph"
    assert tools.write_parquet(graph, directory, **options) is None
    check_tables(directory, graph, options.get("id_type", "uint32"))
    back = tools.read_parquet(directory)
    assert snapshot(back) == snapshot(graph)
    return back


# --- round trips -----------------------------------------------------------


@pytest.mark.parametrize(
    "name, load, id_type",
    [
        ("ca-GrQc.txt", tools.read_edge_list, "uint32"),  # has 12 loops
        ("ca-GrQc.txt", tools.read_edge_list, "int64"),
        ("facebook_combined.txt.gz", Graph.from_file, "uint32"),
        ("road-usroads-48.edges", Graph.from_file, "int64"),
        ("as-caida20070917.txt", tools.read_edge_list, "uint32"),
        ("soc-Slashdot0902.edges.gz", Graph.from_file, "uint32"),  # 78,303 loops
    ],
)
def test_real_data_sets_come_back_whole(tmp_path, name, load, id_type):
    graph = load(data_file(name))
    for v in ISOLATED:
        graph.add_vertex(v)
    back = round_trip(tmp_path, graph, id_type=id_type)
    assert sum(1 for v in ISOLATED if back.degree(v) == 0) == len(ISOLATED)


@pytest.mark.parametrize("id_type", ["uint32", "int64"])
def test_loops_isolated_vertices_and_the_ends_of_the_id_range(tmp_path, id_type):
    graph = build_graph(SAMPLE_EDGES, vertices=[0, MAX_ID, 42, 4000000000])
    back = round_trip(tmp_path, graph, id_type=id_type)
    check_graph(back)
    assert back.degree(7) == 2 and back.neighbours(7) == {7}
    assert back.degree(42) == back.degree(4000000000) == 0
    assert back.adjacent(0, MAX_ID)


@pytest.mark.parametrize("id_type", ["uint32", "int64"])
@pytest.mark.parametrize(
    "graph", [Graph(), build_graph(vertices=[0, MAX_ID]), build_graph([(9, 9)])], ids=["empty", "no edges", "one loop"]
)
def test_degenerate_graphs(tmp_path, graph, id_type):
    back = round_trip(tmp_path, graph, id_type=id_type)
    check_graph(back)


def test_the_written_graph_is_left_as_it_was(tmp_path):
    graph = build_graph(SAMPLE_EDGES, vertices=ISOLATED)
    before = snapshot(graph)
    tools.write_parquet(graph, tmp_path / "g")
    assert snapshot(graph) == before


def test_row_groups_hold_exactly_row_group_size_rows(tmp_path):
    # A 40 x 25 grid with scattered ids: 1935 edges and 1000 vertices.
    side, width = 40, 25
    cell = lambda r, c: (r * width + c) * 4099 + 17  # noqa: E731
    edges = [(cell(r, c), cell(r, c + 1)) for r in range(side) for c in range(width - 1)]
    edges += [(cell(r, c), cell(r + 1, c)) for r in range(side - 1) for c in range(width)]
    graph = build_graph(edges)
    round_trip(tmp_path, graph, row_group_size=128)
    for name, rows in (("edges.parquet", graph.num_edges()), ("vertices.parquet", graph.num_vertices())):
        meta = pq.ParquetFile(tmp_path / "graph" / name).metadata
        sizes = [meta.row_group(i).num_rows for i in range(meta.num_row_groups)]
        full, rest = divmod(rows, 128)
        assert sizes == [128] * full + ([rest] if rest else []), name


@pytest.mark.parametrize("compression", ["zstd", "gzip", "none"])
def test_other_codecs(tmp_path, compression):
    graph = Graph.from_file(data_file("out.opsahl-powergrid.edges"))
    round_trip(tmp_path, graph, compression=compression)
    codec = pq.ParquetFile(tmp_path / "graph" / "edges.parquet").metadata.row_group(0).column(0).compression
    assert codec == {"zstd": "ZSTD", "gzip": "GZIP", "none": "UNCOMPRESSED"}[compression]


def test_writing_again_replaces_both_tables_and_leaves_other_files(tmp_path):
    directory = tmp_path / "g"
    tools.write_parquet(build_graph([(1, 2), (2, 3)], vertices=[10]), directory)
    (directory / "notes.txt").write_text("mine")
    smaller = build_graph([(5, 6)])
    tools.write_parquet(smaller, str(directory))
    assert sorted(os.listdir(directory)) == ["edges.parquet", "notes.txt", "vertices.parquet"]
    assert snapshot(tools.read_parquet(directory)) == snapshot(smaller)


def test_a_failed_write_leaves_the_earlier_tables_and_no_scratch_files(tmp_path):
    directory = tmp_path / "g"
    first = build_graph([(1, 2)], vertices=[3])
    tools.write_parquet(first, directory)
    with pytest.raises((ValueError, OSError, pyarrow.ArrowException)):
        tools.write_parquet(build_graph([(4, 5)]), directory, compression="no-such-codec")
    assert sorted(os.listdir(directory)) == ["edges.parquet", "vertices.parquet"]
    assert snapshot(tools.read_parquet(directory)) == snapshot(first)


@pytest.mark.parametrize(
    "options, error, message",
    [
        ({"id_type": "int32"}, ValueError, "id_type must be one of 'uint32', 'int64'"),
        ({"id_type": "UINT32"}, ValueError, "id_type"),
        ({"row_group_size": 0}, ValueError, "row_group_size must be a positive int"),
        ({"row_group_size": True}, ValueError, "row_group_size"),
        ({"row_group_size": 1.5}, ValueError, "row_group_size"),
    ],
)
def test_write_refuses_bad_options_before_writing(tmp_path, options, error, message):
    with pytest.raises(error, match=message):
        tools.write_parquet(build_graph([(1, 2)]), tmp_path / "g", **options)
    assert not (tmp_path / "g").exists()


def test_paths_must_be_text(tmp_path):
    with pytest.raises(TypeError, match="path must be a str"):
        tools.write_parquet(Graph(), os.fsencode(str(tmp_path / "g")))
    with pytest.raises(TypeError, match="path must be a str"):
        tools.read_parquet(os.fsencode(str(tmp_path)))


# --- tables written by others ----------------------------------------------


def write_tables(directory, edges, vertices):
    """Writes two pyarrow tables (dicts of arrays) where read_parquet looks for them."""
    directory.mkdir(exist_ok=True)
    pq.write_table(pyarrow.table(edges), directory / "edges.parquet")
    pq.write_table(pyarrow.table(vertices), directory / "vertices.parquet")
    return directory


def test_any_integer_type_extra_columns_and_rows_in_any_order(tmp_path):
    directory = write_tables(
        tmp_path / "g",
        {
            "weight": pyarrow.array([0.5, 1.0, 2.0, 3.0]),
            "dst": pyarrow.array([1, 2, 2, 9], pyarrow.int32()),
            "src": pyarrow.array([2, 1, 1, 9], pyarrow.int32()),  # reversed and repeated rows
        },
        {"id": pyarrow.array([9, 2, 1, 1, 30], pyarrow.uint64()), "name": ["i", "b", "a", "a", "z"]},
    )
    back = tools.read_parquet(directory)
    assert snapshot(back) == snapshot(build_graph([(1, 2), (9, 9)], vertices=[30]))


def test_tables_in_part_files_as_engines_write_them(tmp_path):
    graph = build_graph(SAMPLE_EDGES, vertices=ISOLATED)
    edges = sorted(graph.edges())
    directory = tmp_path / "g"
    for name, columns in (
        ("edges.parquet", {"src": [a for a, _ in edges], "dst": [b for _, b in edges]}),
        ("vertices.parquet", {"id": sorted(graph.vertices())}),
    ):
        parts = directory / name
        parts.mkdir(parents=True)
        table = pyarrow.table({key: pyarrow.array(values, pyarrow.int64()) for key, values in columns.items()})
        half = table.num_rows // 2
        pq.write_table(table.slice(0, half), parts / "part-00000-c000.snappy.parquet")
        pq.write_table(table.slice(half), parts / "part-00001-c000.snappy.parquet")
        (parts / "_SUCCESS").write_bytes(b"")
        (parts / ".part-00000-c000.snappy.parquet.crc").write_bytes(b"\x00crc")
    assert snapshot(tools.read_parquet(directory)) == snapshot(graph)


def test_a_late_bad_edge_row_refuses_the_whole_table(tmp_path):
    # 200,000 good rows stream into the graph before the bad one is reached.
    count = 200_000
    src = list(range(count)) + [5]
    dst = [v + 1 for v in range(count)] + [-1]
    directory = write_tables(
        tmp_path / "g",
        {"src": pyarrow.array(src, pyarrow.int64()), "dst": pyarrow.array(dst, pyarrow.int64())},
        {"id": pyarrow.array(range(count + 1), pyarrow.int64())},
    )
    with pytest.raises(ValueError, match=rf"column 'dst' holds -1 at row {count}, outside the vertex ids"):
        tools.read_parquet(directory)


# --- refusals --------------------------------------------------------------

GOOD_EDGES = {"src": pyarrow.array([1, 2], pyarrow.uint32()), "dst": pyarrow.array([2, 3], pyarrow.uint32())}
GOOD_VERTICES = {"id": pyarrow.array([1, 2, 3], pyarrow.uint32())}


@pytest.mark.parametrize(
    "edges, vertices, message",
    [
        ({"src": GOOD_EDGES["src"]}, GOOD_VERTICES, r"edges.parquet' has no column 'dst' \(it has src\)"),
        (GOOD_EDGES, {"ids": GOOD_VERTICES["id"]}, r"vertices.parquet' has no column 'id' \(it has ids\)"),
        (
            {"src": pyarrow.array([1, None], pyarrow.int64()), "dst": GOOD_EDGES["dst"]},
            GOOD_VERTICES,
            r"edges.parquet' column 'src' is null at row 1",
        ),
        (
            {"src": GOOD_EDGES["src"], "dst": pyarrow.array([2, MAX_ID + 1], pyarrow.int64())},
            GOOD_VERTICES,
            rf"column 'dst' holds {MAX_ID + 1} at row 1, outside the vertex ids 0 to {MAX_ID}",
        ),
        (
            {"src": pyarrow.array([1, 2], pyarrow.uint64()), "dst": pyarrow.array([2, 2**64 - 1], pyarrow.uint64())},
            GOOD_VERTICES,
            rf"column 'dst' holds {2**64 - 1} at row 1",
        ),
        (
            GOOD_EDGES,
            {"id": pyarrow.array([1, 2, 3, -7], pyarrow.int8())},
            r"vertices.parquet' column 'id' holds -7 at row 3, outside the vertex ids",
        ),
        (GOOD_EDGES, {"id": pyarrow.array([1, None, 3], pyarrow.uint32())}, r"column 'id' is null at row 1"),
        (
            GOOD_EDGES,
            {"id": pyarrow.array([1, 3], pyarrow.uint32())},
            r"edges.parquet' has an edge at vertex 2, which '.*vertices.parquet' does not list",
        ),
    ],
    ids=["no dst", "no id", "null src", "id too large", "uint64", "negative id", "null id", "unlisted end"],
)
def test_tables_without_the_layout_are_refused_by_name(tmp_path, edges, vertices, message):
    directory = write_tables(tmp_path / "g", edges, vertices)
    with pytest.raises(ValueError, match=message):
        tools.read_parquet(directory)


@pytest.mark.parametrize(
    "edges, vertices, message",
    [
        (
            {"src": pyarrow.array(["1", "2"]), "dst": GOOD_EDGES["dst"]},
            GOOD_VERTICES,
            r"edges.parquet' column 'src' is of type string, not an integer type",
        ),
        (
            GOOD_EDGES,
            {"id": pyarrow.array([1.0, 2.0, 3.0])},
            r"vertices.parquet' column 'id' is of type double, not an integer type",
        ),
        (
            {"src": GOOD_EDGES["src"], "dst": pyarrow.array([True, False])},
            GOOD_VERTICES,
            r"column 'dst' is of type bool",
        ),
    ],
    ids=["string", "float", "bool"],
)
def test_columns_of_other_types_are_refused_with_type_error(tmp_path, edges, vertices, message):
    directory = write_tables(tmp_path / "g", edges, vertices)
    with pytest.raises(TypeError, match=message):
        tools.read_parquet(directory)


def test_missing_or_foreign_files_are_refused_by_name(tmp_path):
    with pytest.raises(FileNotFoundError):
        tools.read_parquet(tmp_path / "nowhere")
    directory = tmp_path / "g"
    tools.write_parquet(build_graph([(1, 2)]), directory)
    with pytest.raises(ValueError, match=r"is a file; read_parquet takes the directory"):
        tools.read_parquet(directory / "edges.parquet")
    (directory / "vertices.parquet").unlink()
    with pytest.raises(ValueError, match=r"vertices.parquet' is missing"):
        tools.read_parquet(directory)
    (directory / "vertices.parquet").write_text("0\n1\n2\n")
    with pytest.raises(ValueError, match=r"vertices.parquet' is not a Parquet table"):
        tools.read_parquet(directory)
    empty = tmp_path / "empty"
    empty.mkdir()
    with pytest.raises(ValueError, match=r"edges.parquet' is missing"):
        tools.read_parquet(empty)

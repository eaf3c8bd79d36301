"""write_parquet and read_parquet: a graph as two Parquet tables that cluster engines read.

The layout, in the directory `path`:

    edges.parquet     columns src, dst: one row per edge, src <= dst, a loop
                      at v as (v, v)
    vertices.parquet  column id: one row per vertex, isolated ones included

The column names are the ones GraphFrames expects (`id`; `src`, `dst`), so
the two tables become a GraphFrame as they are read.
"""

from __future__ import annotations

import contextlib
import os
import sys
from array import array
from itertools import repeat
from typing import Any, List, Sequence, Union

from quiverlane import Graph

from . import _parquet_lines
from ._parquet_lines import REFUSED, frugal_scan, id_problem
from ._piped import load_from_child

PathArg = Union[str, "os.PathLike[str]"]

EDGES_FILE = "edges.parquet"
VERTICES_FILE = "vertices.parquet"
ID_TYPES = ("uint32", "int64")
# 1 Mi rows is 4 MiB a column in uint32: enough to compress well, small
# enough that an engine splitting the file by row group gets many splits.
ROW_GROUP_ROWS = 1 << 20
LINE_WRITER = _parquet_lines.__file__
SLICE_ROWS = 1 << 16
# Rows are gathered in array("I") and handed to Arrow as uint32 buffers.
assert array("I").itemsize == 4, "array('I') must hold 32-bit items"


def write_parquet(
    graph: Graph,
    path: PathArg,
    *,
    id_type: str = "uint32",
    row_group_size: int = ROW_GROUP_ROWS,
    compression: str = "snappy",
) -> None:
    """Writes `graph` as the Parquet tables `path/edges.parquet` and `path/vertices.parquet`.

    `edges.parquet` has the columns `src` and `dst`, one row per edge as
    `graph.edges()` gives them (smaller id first, a loop at v as (v, v));
    `vertices.parquet` has the column `id`, one row per vertex, isolated
    vertices included. Rows come in no particular order. The directory is
    created if missing; the two files are written under temporary names and
    renamed when complete, replacing earlier ones, and nothing else in the
    directory is touched.

    `id_type` is the column type: "uint32" (the default) or "int64".
    uint32 is the vertex ids' own range, takes half the space before
    compression, and reads back as uint32 in pandas, NumPy and DuckDB.
    Spark has no unsigned types: from 3.2 on it reads a uint32 column as
    LongType with the right values (checked with PySpark 4.3, 4294967295
    included); older Spark, and other readers that know no unsigned
    Parquet types, need "int64", which every engine reads as a signed
    64-bit integer.

    Every row group but the last of each file holds exactly
    `row_group_size` rows, so engines can split a large file by row group.
    `compression` is any codec pyarrow writes ("snappy", "zstd", "gzip",
    "none", ...). The edges are taken from the neighbour sets one vertex at
    a time, so besides one row group per file the extra memory is the
    Python set of the vertices, not a list of every edge.

    Needs pyarrow.
    """
    import pyarrow.parquet  # noqa: F401  (a missing pyarrow fails before the directory is made)

    directory = _path_name(path)
    arrow_type = _id_arrow_type(id_type)
    if isinstance(row_group_size, bool) or not isinstance(row_group_size, int) or row_group_size < 1:
        raise ValueError(f"row_group_size must be a positive int, got {row_group_size!r}")
    os.makedirs(directory, exist_ok=True)
    edges_path = os.path.join(directory, EDGES_FILE)
    vertices_path = os.path.join(directory, VERTICES_FILE)
    scratch = [f"{edges_path}.{os.getpid()}.tmp", f"{vertices_path}.{os.getpid()}.tmp"]
    try:
        with contextlib.ExitStack() as files:
            edges = files.enter_context(
                _RowGroupWriter(scratch[0], ["src", "dst"], arrow_type, row_group_size, compression)
            )
            vertices = files.enter_context(
                _RowGroupWriter(scratch[1], ["id"], arrow_type, row_group_size, compression)
            )
            _write_rows(graph, edges, vertices, row_group_size)
        os.replace(scratch[0], edges_path)
        os.replace(scratch[1], vertices_path)
    finally:
        for name in scratch:
            if os.path.exists(name):
                os.remove(name)


def _write_rows(graph: Graph, edges: _RowGroupWriter, vertices: _RowGroupWriter, rows: int) -> None:
    # Both directions of each edge are gathered, as every vertex's neighbour
    # set has it, and the ones with tail > head dropped in bulk: cheaper than
    # a comparison per neighbour in Python.
    arcs_per_block = 2 * rows
    tails, heads, ids = array("I"), array("I"), array("I")
    neighbours = graph.neighbours
    for u in graph.vertices():
        ids.append(u)
        around = neighbours(u)
        heads.extend(around)
        tails.extend(repeat(u, len(around)))
        if len(tails) >= arcs_per_block:
            edges.add(_one_direction(tails, heads))
            tails, heads = array("I"), array("I")
        if len(ids) >= rows:
            vertices.add([_uint32_array(ids)])
            ids = array("I")
    edges.add(_one_direction(tails, heads))
    vertices.add([_uint32_array(ids)])


def _one_direction(tails: array[int], heads: array[int]) -> List[Any]:
    import pyarrow.compute as pc

    src, dst = _uint32_array(tails), _uint32_array(heads)
    keep = pc.less_equal(src, dst)
    return [pc.filter(src, keep), pc.filter(dst, keep)]


def _uint32_array(values: array[int]) -> Any:
    import pyarrow

    # The array's own buffer, not a copy: it lives as long as the Arrow array.
    return pyarrow.Array.from_buffers(pyarrow.uint32(), len(values), [None, pyarrow.py_buffer(values)])


class _RowGroupWriter:
    """A Parquet file written in row groups of exactly `rows` rows (the last may be short)."""

    def __init__(self, path: str, names: Sequence[str], arrow_type: Any, rows: int, compression: str) -> None:
        import pyarrow
        import pyarrow.parquet

        self._type = arrow_type
        self._rows = rows
        self._pending: List[List[Any]] = [[] for _ in names]
        self._count = 0
        schema = pyarrow.schema([(name, arrow_type, False) for name in names])
        # Ids repeat too little for dictionary pages to pay: without them the
        # 2,000,000-edge benchmark graph took 6.0 rather than 6.3 bytes per
        # edge on disk, and the writer 30 MB less memory.
        self._writer = pyarrow.parquet.ParquetWriter(
            path, schema, compression=compression, use_dictionary=False
        )

    def add(self, columns: Sequence[Any]) -> None:
        for pending, column in zip(self._pending, columns):
            pending.append(column)
        self._count += len(columns[0])
        while self._count >= self._rows:
            self._flush(self._rows)

    def _flush(self, rows: int) -> None:
        import pyarrow

        whole = [pyarrow.concat_arrays(pending) for pending in self._pending]
        self._write([column.slice(0, rows) for column in whole])
        self._pending = [[column.slice(rows)] for column in whole]
        self._count -= rows

    def _write(self, columns: Sequence[Any]) -> None:
        import pyarrow

        typed = [column.cast(self._type) for column in columns]
        table = pyarrow.Table.from_arrays(typed, schema=self._writer.schema)
        self._writer.write_table(table, row_group_size=self._rows)

    def __enter__(self) -> _RowGroupWriter:
        return self

    def __exit__(self, kind: object, error: object, traceback: object) -> None:
        try:
            if error is None and self._count:
                self._flush(self._count)
        finally:
            self._writer.close()


def read_parquet(path: PathArg) -> Graph:
    """Loads a graph from the directory that `write_parquet` writes.

    `path/edges.parquet` must have integer columns `src` and `dst`, and
    `path/vertices.parquet` an integer column `id` that lists every vertex,
    the ends of every edge included; other columns are ignored. Each may be
    a single file or a directory of part files, as Spark's
    `DataFrame.write.parquet` makes, so tables that an engine wrote back
    load too. Ids may be of any integer type but must lie in
    0..4294967295. Rows are taken as `Graph.add_edge` and `add_vertex`
    take them: an edge row with src > dst, or one repeated, is the same
    edge again, and a vertex listed twice is one vertex.

    Raises FileNotFoundError if `path` does not exist. Raises ValueError,
    naming the file and what is wrong, if `path` is not a directory, if a
    table is missing or is not Parquet, if a column is missing, if a row
    holds a null or an id outside 0..4294967295, or if an edge has an end
    that the vertex table does not list (a sign that the two tables do
    not belong together). Raises TypeError if a column is not of an
    integer type.

    The edges are streamed as edge-list text through a pipe into
    `Graph.from_file` by a child process (which needs `/dev/fd`, as on
    Linux), so they never exist as Python objects. Needs pyarrow.
    """
    import pyarrow.dataset  # noqa: F401  (a missing pyarrow fails before any work)

    directory = _path_name(path)
    if not os.path.exists(directory):
        raise FileNotFoundError(f"no such directory: {directory!r}")
    if not os.path.isdir(directory):
        raise ValueError(
            f"{directory!r} is a file; read_parquet takes the directory that holds "
            f"{EDGES_FILE} and {VERTICES_FILE}"
        )
    edges_path = os.path.join(directory, EDGES_FILE)
    vertices_path = os.path.join(directory, VERTICES_FILE)
    edges_label = _table_label(directory, EDGES_FILE)
    vertices_label = _table_label(directory, VERTICES_FILE)
    _open_table(edges_path, edges_label, ["src", "dst"])  # the child reads the rows
    ids = _vertex_ids(_open_table(vertices_path, vertices_label, ["id"]), vertices_label)
    # How many distinct vertices the table lists, from a graph of them alone,
    # freed before the edges load: less memory than Arrow's distinct count.
    listed = Graph()
    _add_vertices(listed, ids)
    distinct = listed.num_vertices()
    del listed
    graph = _load_edges(edges_path, edges_label)
    _add_vertices(graph, ids)
    if graph.num_vertices() != distinct:
        missing = _first_unlisted(graph, ids)
        raise ValueError(f"{edges_label} has an edge at vertex {missing}, which {vertices_label} does not list")
    return graph


def _table_label(directory: str, name: str) -> str:
    return repr(os.path.join(directory, name))


def _open_table(path: str, label: str, columns: Sequence[str]) -> Any:
    """The Parquet dataset at `path`, once its columns are checked."""
    import pyarrow
    import pyarrow.dataset

    if not os.path.exists(path):
        raise ValueError(f"{label} is missing: the directory must hold {EDGES_FILE} and {VERTICES_FILE}")
    try:
        table = pyarrow.dataset.dataset(path, format="parquet")
    except (pyarrow.ArrowInvalid, OSError) as error:
        raise ValueError(f"{label} is not a Parquet table: {error}") from None
    schema = table.schema
    for column in columns:
        if column not in schema.names:
            raise ValueError(f"{label} has no column {column!r} (it has {', '.join(schema.names) or 'none'})")
        kind = schema.field(column).type
        if not pyarrow.types.is_integer(kind):
            raise TypeError(f"{label} column {column!r} is of type {kind}, not an integer type")
    return table


def _vertex_ids(table: Any, label: str) -> Any:
    """The vertex table's ids as a ChunkedArray, checked for nulls and range."""
    import pyarrow

    try:
        ids = table.to_table(columns=["id"], **frugal_scan()).column("id")
    except pyarrow.ArrowInvalid as error:
        raise ValueError(f"{label} cannot be read: {error}") from None
    row = 0
    for chunk in ids.chunks:
        problem = id_problem(chunk, f"{label} column 'id'", row)
        if problem is not None:
            raise ValueError(problem)
        row += len(chunk)
    return ids


def _add_vertices(graph: Graph, ids: Any) -> None:
    add_vertex = graph.add_vertex
    for chunk in ids.chunks:
        # Slices keep the Python ints of one slice alive at a time.
        for start in range(0, len(chunk), SLICE_ROWS):
            for vertex in chunk.slice(start, SLICE_ROWS).to_pylist():
                add_vertex(vertex)


def _load_edges(path: str, label: str) -> Graph:
    """The graph of the edge table, streamed by the line writer into Graph.from_file."""
    if not sys.executable:
        raise RuntimeError("read_parquet starts its line writer with sys.executable, which is not set")
    piped = load_from_child([sys.executable, LINE_WRITER, path, label])
    if piped.status == REFUSED:
        raise ValueError(piped.report.strip())
    if piped.status != 0 or piped.graph is None:
        detail = f": {piped.file_error}" if piped.file_error is not None else ""
        raise RuntimeError(
            f"the edge line writer for {label} failed (exit status {piped.status}){detail}: {piped.report.strip()}"
        )
    return piped.graph


def _first_unlisted(graph: Graph, ids: Any) -> int:
    listed = set(ids.to_pylist())
    unlisted: int = min(v for v in graph.vertices() if v not in listed)
    return unlisted


def _path_name(path: PathArg) -> str:
    name = os.fspath(path)
    if not isinstance(name, str):
        raise TypeError(f"path must be a str or os.PathLike[str], not {type(name).__name__}")
    return name


def _id_arrow_type(id_type: str) -> Any:
    import pyarrow

    if id_type not in ID_TYPES:
        raise ValueError(f"id_type must be one of {', '.join(map(repr, ID_TYPES))}, got {id_type!r}")
    return pyarrow.uint32() if id_type == "uint32" else pyarrow.int64()

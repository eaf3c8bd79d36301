"""Conversions between quiverlane graphs and NetworkX, SciPy and NumPy."""

from __future__ import annotations

import operator
from collections import deque
from itertools import filterfalse, starmap
from operator import itemgetter
from typing import TYPE_CHECKING, Any, Iterable, Optional, Tuple, TypeVar, overload

from quiverlane import Graph

if TYPE_CHECKING:
    from typing import Hashable, Protocol, SupportsIndex

    import networkx
    import numpy
    import numpy.typing
    import scipy.sparse
    from typing_extensions import TypeAlias, TypeGuard

    # The adjacency matrix, whose entries have the dtype asked for. Without
    # SciPy's stubs (Python 3.10 and older, or not installed) these are Any;
    # quoted, they stay valid aliases either way.
    Matrix: TypeAlias = "scipy.sparse.csr_array[Any, Tuple[int, int]]"
    FloatMatrix: TypeAlias = "scipy.sparse.csr_array[numpy.float64, Tuple[int, int]]"
    VertexIds: TypeAlias = numpy.typing.NDArray[numpy.uint32]

    class NodeId(SupportsIndex, Hashable, Protocol):
        """A NetworkX node that can be a vertex id: ints, NumPy integers,
        anything with __index__."""

MAX_VERTEX = 0xFFFFFFFF

# A graph whose nodes cannot be vertex ids is refused by the type checker, as
# it would be at run time.
Node = TypeVar("Node", bound="NodeId")


def to_networkx(graph: Graph) -> networkx.Graph[int]:
    """A new `networkx.Graph` with the same vertices (isolated ones included) and edges.

    Loops are kept. Nodes are the vertex ids as Python ints. Needs networkx.
    """
    import networkx

    result: networkx.Graph[int] = networkx.Graph()
    result.add_nodes_from(graph.vertices())
    result.add_edges_from(graph.edges())
    return result


def from_networkx(nx_graph: networkx.Graph[Node, Any, Any]) -> Graph:
    """A new Graph with the nodes and edges of an undirected NetworkX graph.

    Every node must be an integer from 0 to 4294967295 (ints, NumPy integers
    and other objects with `__index__`, but not bools): anything else raises
    TypeError, and an integer out of range ValueError, each naming the node.
    Node and edge attributes are dropped; the parallel edges of a MultiGraph
    become one edge. A directed graph raises TypeError: say how its
    directions should merge, for example with `to_undirected()`, first.
    """
    if nx_graph.is_directed():
        raise TypeError("from_networkx takes an undirected graph; call to_undirected() on a directed one first")
    if _plain_ints(nx_graph):
        try:
            return _from_plain_ints(nx_graph)
        except OverflowError:
            pass  # an id out of range: the careful path below names it
    result = Graph()
    ids = {node: _vertex_id(node) for node in nx_graph.nodes}
    for vertex in ids.values():
        result.add_vertex(vertex)
    for u, v in nx_graph.edges():
        result.add_edge(ids[u], ids[v])
    return result


def _plain_ints(nx_graph: networkx.Graph[Any, Any, Any]) -> TypeGuard[networkx.Graph[int, Any, Any]]:
    """Whether every node is an int, and not a bool or another subclass.

    One pass over the nodes in C; it spares every edge a lookup in a table
    of converted ids.
    """
    return set(map(type, nx_graph)) == {int}


def _from_plain_ints(nx_graph: networkx.Graph[int, Any, Any]) -> Graph:
    """from_networkx for int nodes; an id out of range raises OverflowError.

    The methods are fed straight from NetworkX's own iterators with the loops
    in C (starmap and map call them, deque drops the results), so a
    conversion costs no more than the plain loop a caller would write.
    """
    result = Graph()
    deque(starmap(result.add_edge, nx_graph.edges()), maxlen=0)
    if result.num_vertices() < nx_graph.number_of_nodes():
        # Some nodes have no edges: those whose neighbour dict is empty.
        isolated = map(itemgetter(0), filterfalse(itemgetter(1), nx_graph.adjacency()))
        deque(map(result.add_vertex, isolated), maxlen=0)
    return result


def _vertex_id(node: object) -> int:
    if isinstance(node, bool):
        raise TypeError(f"node {node!r} is a bool, not a vertex id")
    try:
        vertex = operator.index(node)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(
            f"node {node!r} of type {type(node).__name__} is not a vertex id: "
            "nodes must be integers from 0 to 4294967295 (relabel them first, "
            "e.g. networkx.convert_node_labels_to_integers)"
        ) from None
    if not 0 <= vertex <= MAX_VERTEX:
        raise ValueError(f"node {vertex} is outside the vertex ids 0 to 4294967295")
    return vertex


def from_edges(pairs: Iterable[Tuple[Any, Any]]) -> Graph:
    """A new Graph with one edge per (u, v) pair; repeated and reversed pairs add nothing.

    `pairs` may be any iterable of pairs of integers, a NumPy array of shape
    (m, 2) included. Out-of-range ids raise OverflowError and non-integers
    TypeError, as `Graph.add_edge` does; a pair that is not two items raises
    ValueError naming its position.
    """
    tolist = getattr(pairs, "tolist", None)
    rows = tolist() if callable(tolist) else pairs  # whole arrays convert faster than rows
    result = Graph()
    for index, pair in enumerate(rows):
        try:
            u, v = pair
        except (TypeError, ValueError):
            raise ValueError(f"item {index} is {pair!r}, not a (u, v) pair") from None
        result.add_edge(u, v)
    return result


def to_numpy_edges(graph: Graph) -> VertexIds:
    """The edges as an (m, 2) uint32 array, one (a, b) row per edge with a <= b.

    Rows follow `graph.edges()`; isolated vertices do not appear. Needs numpy.
    """
    import numpy

    edges = graph.edges()
    return numpy.array(edges, dtype=numpy.uint32).reshape(len(edges), 2)


@overload
def to_scipy(graph: Graph, dtype: None = None) -> Tuple[FloatMatrix, VertexIds]: ...
@overload
def to_scipy(graph: Graph, dtype: numpy.typing.DTypeLike) -> Tuple[Matrix, VertexIds]: ...
def to_scipy(graph: Graph, dtype: Optional[numpy.typing.DTypeLike] = None) -> Tuple[Matrix, VertexIds]:
    """The adjacency matrix as a `scipy.sparse.csr_array`, with the vertex id of each row.

    Returns `(matrix, ids)`: `ids` is the sorted uint32 array of every vertex
    (isolated ones included) and row and column i stand for vertex `ids[i]`.
    The matrix is symmetric, with 1 at (i, j) and (j, i) for each edge and 1
    at (i, i) for a loop, so it holds 2 m - loops stored entries. `dtype`
    defaults to float64, which SciPy's graph and linear-algebra routines
    expect. Its index arrays are int32 unless the matrix is too large for
    them, since SciPy's graph routines before 1.15 take no other. Needs numpy
    and scipy.
    """
    import numpy
    import scipy.sparse

    ids = numpy.sort(numpy.fromiter(graph.vertices(), dtype=numpy.uint32, count=graph.num_vertices()))
    edges = to_numpy_edges(graph)
    rows = numpy.searchsorted(ids, edges[:, 0])
    cols = numpy.searchsorted(ids, edges[:, 1])
    off_diagonal = rows != cols
    n = len(ids)
    stored = len(rows) + int(numpy.count_nonzero(off_diagonal))
    # SciPy keeps the index type it is given, and searchsorted gives int64.
    index = numpy.int32 if max(n, stored) <= numpy.iinfo(numpy.int32).max else numpy.int64
    all_rows = numpy.concatenate([rows, cols[off_diagonal]]).astype(index, copy=False)
    all_cols = numpy.concatenate([cols, rows[off_diagonal]]).astype(index, copy=False)
    values = numpy.ones(len(all_rows), dtype=numpy.float64 if dtype is None else dtype)
    matrix = scipy.sparse.csr_array((values, (all_rows, all_cols)), shape=(n, n))
    return matrix, ids

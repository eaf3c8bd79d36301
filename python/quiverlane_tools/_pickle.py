"""Pickling and copying of quiverlane graphs, registered from outside the class.

`Graph` is a fixed native type, so the reducer goes into `copyreg`'s table
(which pickle, copy and multiprocessing all consult) when this package is
imported. A pickled graph is `rebuild_graph(edges, isolated)`: two byte
strings of unsigned 32-bit little-endian ids, the edges as (a, b) pairs and
the vertices without edges. Pickles name the rebuild function as
`quiverlane_tools.rebuild_graph`, so loading one imports this package, and
with it the reducer, in any process.
"""

from __future__ import annotations

import array
import copy
import copyreg
import sys
from collections import deque
from itertools import chain, filterfalse
from typing import Any, Callable, Dict, Iterable, Tuple

from quiverlane import Graph

from ._order import stride_for

# The C int is four bytes on every platform the module builds for, but the
# array module promises only "at least two", so pick the code by its size.
_U32 = next(code for code in "IL" if array.array(code).itemsize == 4)
_BIG_ENDIAN = sys.byteorder == "big"

EDGE_BYTES = 8
VERTEX_BYTES = 4

GraphState = Tuple[bytes, bytes]


def _u32_bytes(values: Iterable[int]) -> bytes:
    items = array.array(_U32, values)
    if _BIG_ENDIAN:
        items.byteswap()
    return items.tobytes()


def _u32_items(data: bytes) -> array.array[int]:
    items = array.array(_U32)
    items.frombytes(data)
    if _BIG_ENDIAN:
        items.byteswap()
    return items


def reduce_graph(graph: Graph) -> Tuple[Callable[[bytes, bytes], Graph], GraphState]:
    """The pickle reduction of a graph: `(rebuild_graph, (edges, isolated))`."""
    edges = _u32_bytes(chain.from_iterable(graph.edges()))
    # degree() is 0 exactly for the vertices that edges() does not mention.
    isolated = _u32_bytes(filterfalse(graph.degree, graph.vertices()))
    return rebuild_graph, (edges, isolated)


def rebuild_graph(edges: bytes, isolated: bytes) -> Graph:
    """The graph that `reduce_graph` described; the function pickles call.

    `edges` holds one (a, b) pair of unsigned 32-bit little-endian ids per
    edge and `isolated` one such id per vertex without edges. Anything but
    two byte strings of whole items raises TypeError or ValueError.
    """
    _check_state(edges, "edges", EDGE_BYTES, "two 4-byte ids per edge")
    _check_state(isolated, "isolated", VERTEX_BYTES, "one 4-byte id per vertex")
    ends = _u32_items(edges)
    graph = Graph()
    _feed(graph.add_edge, ends[0::2], ends[1::2])
    _feed(graph.add_vertex, _u32_items(isolated))
    return graph


def _check_state(value: object, name: str, size: int, layout: str) -> None:
    if type(value) is not bytes:
        raise TypeError(f"graph pickle state: {name} must be bytes, not {type(value).__name__}")
    if len(value) % size:
        raise ValueError(
            f"graph pickle state: {name} has {len(value)} bytes, not a multiple of {size} ({layout})"
        )


def _feed(method: Callable[..., object], *columns: array.array[int]) -> None:
    """Calls method(*row) for every row of the columns, in strides that build
    the graph's hash tables fast (see _order). The loops run in C: map()
    calls the method, deque() drops the results.
    """
    stride = stride_for(len(columns[0]))
    for start in range(stride):
        deque(map(method, *(column[start::stride] for column in columns)), maxlen=0)


def _deepcopy_graph(graph: Graph, memo: Dict[int, Any]) -> Graph:
    # A graph holds only ints, so a deep copy is the native copy; deepcopy()
    # itself records the result in memo.
    return graph.copy()


def register() -> None:
    """Teaches pickle, copy and multiprocessing about Graph."""
    copyreg.pickle(Graph, reduce_graph)
    # copy.copy and copy.deepcopy look in these private tables before they
    # fall back on copyreg: an entry there makes a copy the native copy()
    # instead of a pickle round trip. Where a Python lacks them, the reducer
    # above still gives correct (slower) copies.
    shallow = getattr(copy, "_copy_dispatch", None)
    deep = getattr(copy, "_deepcopy_dispatch", None)
    if isinstance(shallow, dict) and isinstance(deep, dict):
        shallow[Graph] = Graph.copy
        deep[Graph] = _deepcopy_graph

"""The peer libraries: which are installed, their versions, and their copy of a test graph.

Every builder takes an `EdgeSet` and returns that library's graph of it:
NetworkX keeps our u32 ids as its node keys; igraph, rustworkx, NetworKit and
SciPy get the dense form (ids renumbered 0..n-1, see graphs.py).  Building is
never timed.
"""
from __future__ import annotations

import gc
import importlib
import time

# Import name -> the name printed in tables.
LIBRARIES = {
    "igraph": "igraph",
    "rustworkx": "rustworkx",
    "networkit": "NetworKit",
    "networkx": "NetworkX",
    "scipy": "SciPy",
}
_enabled = set(LIBRARIES)


def disable_all() -> None:
    """For --no-peers: every peer counts as absent."""
    _enabled.clear()


def module(name: str):
    """The peer's module, or None when it is not installed (or peers are off)."""
    if name not in _enabled:
        return None
    try:
        return importlib.import_module(name)
    except ImportError:
        return None


def installed(*names: str) -> list[str]:
    return [name for name in names if module(name) is not None]


def version(name: str) -> str | None:
    try:
        return getattr(importlib.import_module(name), "__version__", "?")
    except ImportError:
        return None


def _numpy_pair(dense):
    import numpy
    return (numpy.frombuffer(dense.us, dtype=numpy.uint32).astype(numpy.uint64),
            numpy.frombuffer(dense.vs, dtype=numpy.uint32).astype(numpy.uint64))


def build_igraph(edge_set):
    import igraph
    dense = edge_set.dense
    return igraph.Graph(n=dense.n, edges=list(zip(dense.us, dense.vs)), directed=False)


def build_rustworkx(edge_set):
    # The edge lists hold no repeats, so the default multigraph=True gives the
    # same simple graph; multigraph=False would search each hub's edges on
    # every insert (40 s for the power-law graph) and changes none of the
    # operations timed here.
    import rustworkx
    dense = edge_set.dense
    graph = rustworkx.PyGraph()
    graph.add_nodes_from([None] * dense.n)
    graph.extend_from_edge_list(list(zip(dense.us, dense.vs)))
    return graph


def build_networkit(edge_set):
    import networkit
    graph = networkit.Graph(edge_set.dense.n)
    graph.addEdges(_numpy_pair(edge_set.dense))
    return graph


def build_networkx(edge_set):
    import networkx
    graph = networkx.Graph()
    graph.add_edges_from(zip(edge_set.us, edge_set.vs))
    graph.add_nodes_from(edge_set.isolated)
    return graph


def build_scipy(edge_set):
    """The symmetric adjacency matrix in CSR form."""
    import numpy
    from scipy import sparse
    rows, cols = _numpy_pair(edge_set.dense)
    n = edge_set.dense.n
    both_rows = numpy.concatenate([rows, cols])
    both_cols = numpy.concatenate([cols, rows])
    ones = numpy.ones(len(both_rows), dtype=numpy.int8)
    return sparse.csr_matrix((ones, (both_rows, both_cols)), shape=(n, n))


BUILDERS = {
    "igraph": build_igraph,
    "rustworkx": build_rustworkx,
    "networkit": build_networkit,
    "networkx": build_networkx,
    "scipy": build_scipy,
}


def build(name: str, edge_set):
    """The peer's graph of `edge_set`, or None when the peer is absent."""
    if module(name) is None:
        return None
    gc.disable()  # setup only: millions of NetworkX dicts need no collector passes
    try:
        return BUILDERS[name](edge_set)
    finally:
        gc.enable()


def build_all(names, edge_set) -> dict:
    graphs = {}
    for name in names:
        start = time.perf_counter()
        graphs[name] = build(name, edge_set)
        if graphs[name] is not None:
            print(f"    built the {LIBRARIES[name]} graph in "
                  f"{time.perf_counter() - start:.1f} s", flush=True)
    return graphs

"""Glue between quiverlane graphs and the rest of the Python world.

Conversions to and from NetworkX, SciPy and NumPy (each imported only when
its function is called, and installed with the extras of the same name);
edge-list files: writing the strict form that `Graph.from_file` reads, and
reading the files that public collections publish; Parquet tables for
cluster engines (extra `parquet`); and memory estimates for sizing a machine.

Importing this package is what makes graphs picklable and copyable (pickle,
copy, multiprocessing): a pickle holds 8 bytes per edge and 4 per isolated
vertex, rebuilt by `rebuild_graph`; copy.copy and copy.deepcopy call the
native `Graph.copy`.
"""

from ._convert import from_edges, from_networkx, to_networkx, to_numpy_edges, to_scipy
from ._parquet import read_parquet, write_parquet
from ._pickle import rebuild_graph, register
from ._read import EdgeListFormatError, read_edge_list
from ._sizing import MemoryEstimate, estimate_memory
from ._version import __version__
from ._write import IsolatedVerticesDropped, write_edge_list

# Pickles name the rebuild function by this package, not by the private
# module it lives in, so that they outlast a reshuffle of the modules.
rebuild_graph.__module__ = __name__
register()
del register

__all__ = [
    "EdgeListFormatError",
    "IsolatedVerticesDropped",
    "MemoryEstimate",
    "estimate_memory",
    "from_edges",
    "from_networkx",
    "read_edge_list",
    "read_parquet",
    "rebuild_graph",
    "to_networkx",
    "to_numpy_edges",
    "to_scipy",
    "write_edge_list",
    "write_parquet",
]

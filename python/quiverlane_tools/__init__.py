"""Glue between quiverlane graphs and the rest of the Python world.

Conversions to and from NetworkX, SciPy and NumPy (each imported only when
its function is called, and installed with the extras of the same name), and
edge-list files: writing the strict form that `Graph.from_file` reads, and
reading the files that public collections publish.
"""

from ._convert import from_edges, from_networkx, to_networkx, to_numpy_edges, to_scipy
from ._read import EdgeListFormatError, read_edge_list
from ._write import IsolatedVerticesDropped, write_edge_list

__all__ = [
    "EdgeListFormatError",
    "IsolatedVerticesDropped",
    "from_edges",
    "from_networkx",
    "read_edge_list",
    "to_networkx",
    "to_numpy_edges",
    "to_scipy",
    "write_edge_list",
]

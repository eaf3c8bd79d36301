"""What the type checker must make of the companion's conversions.

Not a test module: `.ci/typing.sh` runs `mypy --strict` over it. Each
assert_type fails the check if a converter's type drifts; each
`type: ignore[...]` marks a call that must stay an error (mypy --strict
reports an ignore that no longer suppresses anything).
"""

from typing import Any, Tuple

import networkx
import numpy
import numpy.typing
import scipy.sparse
from typing_extensions import assert_type

from quiverlane import Graph
from quiverlane_tools import from_networkx, rebuild_graph, to_networkx, to_numpy_edges, to_scipy

g = Graph()
assert_type(to_networkx(g), "networkx.Graph[int]")
assert_type(to_numpy_edges(g), numpy.typing.NDArray[numpy.uint32])
assert_type(
    to_scipy(g),
    Tuple["scipy.sparse.csr_array[numpy.float64, Tuple[int, int]]", numpy.typing.NDArray[numpy.uint32]],
)
assert_type(to_scipy(g, numpy.int8)[0], "scipy.sparse.csr_array[Any, Tuple[int, int]]")

# Nodes that are integers in some form convert; others cannot be vertex ids.
ints: networkx.Graph[int] = networkx.Graph()
numpy_ids: networkx.MultiGraph[numpy.uint32] = networkx.MultiGraph()
assert_type(from_networkx(ints), Graph)
assert_type(from_networkx(numpy_ids), Graph)
names: networkx.Graph[str] = networkx.Graph()
from_networkx(names)  # type: ignore[type-var]

assert_type(rebuild_graph(b"", b""), Graph)
rebuild_graph("", b"")  # type: ignore[arg-type]

"""Hand the power grid to SciPy and NetworkX, and write it out for other tools.

Needs the optional dependencies: pip install 'quiverlane[networkx,scipy]'.
"""

import tempfile
from pathlib import Path

from quiverlane import Graph
from quiverlane_tools import read_edge_list, to_networkx, to_numpy_edges, to_scipy, write_edge_list

DATA = Path(__file__).with_name("power-grid.edges")


def main() -> None:
    grid = Graph.from_file(str(DATA))

    # SciPy: row i of the adjacency matrix is vertex ids[i].
    matrix, ids = to_scipy(grid)
    busiest = int(ids[int(matrix.sum(axis=1).argmax())])
    print(f"adjacency matrix {matrix.shape}, {matrix.nnz} stored entries; busiest row is vertex {busiest}")

    # NumPy: one (a, b) row per edge, a <= b.
    edges = to_numpy_edges(grid)
    spans = edges[:, 1].astype("int64") - edges[:, 0].astype("int64")
    print(f"edge array {edges.shape} {edges.dtype}; mean id gap along an edge {spans.mean():.1f}")

    # NetworkX, for the algorithms quiverlane does not have.
    nx_graph = to_networkx(grid)
    print(f"networkx graph with {nx_graph.number_of_nodes()} nodes; "
          f"{len(list(nx_graph.subgraph(grid.neighbours(busiest)).edges()))} edges among its neighbours")

    # A compressed edge list that Graph.from_file, read_edge_list or any
    # whitespace-separated reader can load.
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "power-grid.edges.gz"
        lines = write_edge_list(grid, path)
        again = read_edge_list(path)
        print(f"wrote {lines} lines to {path.name}; read back {again}")


if __name__ == "__main__":
    main()

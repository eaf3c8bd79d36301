# Type stubs for the quiverlane extension module.
#
# Vertex parameters are typed SupportsIndex because the module converts them
# with the integer-index protocol: NumPy integers (say, from
# quiverlane_tools.to_numpy_edges) are accepted at run time and so should
# type-check; floats, strings and None are still rejected. Results are plain
# ints. Vertex-set parameters must be real sets at run time (a list or a
# frozenset raises TypeError), hence set[int] rather than an abstract type.

from typing import SupportsIndex, final

# At run time __doc__ is the empty string; mypy types every module's __doc__.
__all__ = ["__doc__", "Graph"]

@final
class Graph:
    """A mutable undirected graph over vertex ids 0 to 4294967295.

    Loops are allowed; there are no multi-edges. Not subclassable.
    """
    def __new__(cls) -> Graph: ...
    @staticmethod
    def from_file(filename: str) -> Graph:
        """Loads an edge-list file, gzip-compressed when the name ends in ".gz"."""
    def num_vertices(self) -> int:
        """The number of vertices. O(1)."""
    def num_edges(self) -> int:
        """The number of edges; a loop counts as one. O(1)."""
    def adjacent(self, u: SupportsIndex, v: SupportsIndex) -> bool:
        """True if the edge {u, v} exists; False for absent vertices. O(1)."""
    def degree(self, u: SupportsIndex) -> int:
        """Edges at u, a loop counting 2; 0 for an absent vertex. O(1)."""
    def contains(self, u: SupportsIndex) -> bool:
        """True if u is a vertex. O(1)."""
    def vertices(self) -> set[int]:
        """A new set of every vertex. O(n)."""
    def edges(self) -> list[tuple[int, int]]:
        """One (a, b) pair per edge, a <= b, in no particular order. O(n + m)."""
    def neighbours(self, u: SupportsIndex) -> set[int]:
        """A copy of u's neighbour set. Faults if u is absent. O(deg u)."""
    def neighbourhood(self, c: set[int]) -> set[int]:
        """Vertices adjacent to a member of c that are not in c. O(sum of degrees in c)."""
    def closed_neighbourhood(self, c: set[int]) -> set[int]:
        """The union of the neighbour sets of c's members. O(sum of degrees in c)."""
    def r_neighbours(self, u: SupportsIndex, r: SupportsIndex) -> set[int]:
        """Every vertex within distance r of u, u included. O(r * sum of degrees in the ball)."""
    def add_vertex(self, u: SupportsIndex) -> None:
        """Adds u if absent. O(1)."""
    def add_edge(self, u: SupportsIndex, v: SupportsIndex) -> bool:
        """Adds {u, v}, creating missing endpoints; True if the edge is new. O(1)."""
    def remove_edge(self, u: SupportsIndex, v: SupportsIndex) -> bool:
        """Removes {u, v}; True if it existed. Endpoints stay. O(1)."""
    def remove_vertex(self, u: SupportsIndex) -> bool:
        """Removes u and its edges; True if u existed. O(deg u)."""
    def remove_loops(self) -> int:
        """Removes every loop; returns how many. O(n)."""
    def remove_isolates(self) -> int:
        """Removes every vertex of degree 0; returns how many. O(n)."""
    def contract(self, vertices: set[int]) -> int:
        """Merges the set into one of its members and returns that member. O(sum of degrees)."""
    def contract_into(self, center: SupportsIndex, vertices: set[int]) -> None:
        """Merges the set into center. O(sum of degrees)."""
    def copy(self) -> Graph:
        """An independent copy. O(n + m)."""
    def subgraph(self, vertices: set[int]) -> Graph:
        """The induced subgraph, as a new Graph. O(sum of min(deg, |vertices|))."""
    def components(self) -> list[set[int]]:
        """The vertex sets of the connected components, in no particular order."""


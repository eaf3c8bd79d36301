"""write_edge_list: a graph as the edge-list text that Graph.from_file reads."""

from __future__ import annotations

import gzip
import io
import os
import warnings
from typing import IO, Iterator, List, Tuple, Union

from quiverlane import Graph

from ._order import stride_for

PathArg = Union[str, "os.PathLike[str]"]

LINES_PER_WRITE = 65536


class IsolatedVerticesDropped(UserWarning):
    """Warns that vertices without edges were not written to an edge list."""


def write_edge_list(graph: Graph, path: PathArg) -> int:
    """Writes one "u v" line per edge of `graph` and returns the number of lines.

    The file is gzip-compressed when its name ends in ".gz" (the same
    case-sensitive rule `Graph.from_file` uses to read it back) and plain
    ASCII text otherwise; lines end in "\\n", a loop at v is the line "v v",
    and the lines hold the edges of `graph.edges()` in interleaved strides:
    in the order of `edges()` itself, a reader's growing hash tables would
    take the ids in hash order, which loads several times slower.

    The format has no way to state a vertex without edges, so isolated
    vertices (degree 0) are not written: reading the file back gives the
    graph without them. When there are any, an IsolatedVerticesDropped
    warning says how many, because losing data silently is worse than a
    warning that callers who expect it can filter.
    """
    name = os.fspath(path)
    if not isinstance(name, str):
        raise TypeError(f"path must be a str or os.PathLike[str], not {type(name).__name__}")
    edges = graph.edges()
    with _open_for_writing(name) as out:
        for lines in _batches(edges):
            out.write("".join(lines).encode("ascii"))
    isolated = sum(1 for v in graph.vertices() if graph.degree(v) == 0)
    if isolated:
        warnings.warn(
            f"{isolated} isolated vertices are not in {name!r}: an edge list can hold edges only",
            IsolatedVerticesDropped,
            stacklevel=2,
        )
    return len(edges)


def _open_for_writing(name: str) -> io.BufferedIOBase:
    if name.endswith(".gz"):
        # No file name and a zero time stamp: the same graph gives the same bytes.
        raw = open(name, "wb")
        return _ClosingGzip(raw)
    return open(name, "wb")


class _ClosingGzip(gzip.GzipFile):
    """A gzip writer that also closes the file it writes to."""

    def __init__(self, raw: IO[bytes]) -> None:
        super().__init__(filename="", mode="wb", compresslevel=6, fileobj=raw, mtime=0)
        self._raw = raw

    def close(self) -> None:
        try:
            super().close()
        finally:
            self._raw.close()


def _batches(edges: List[Tuple[int, int]]) -> Iterator[List[str]]:
    stride = stride_for(len(edges))
    for first in range(stride):
        strand = edges[first::stride]
        for start in range(0, len(strand), LINES_PER_WRITE):
            yield ["%d %d\n" % pair for pair in strand[start : start + LINES_PER_WRITE]]

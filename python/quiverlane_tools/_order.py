"""The order in which to hand a graph's edges to anything that rebuilds it.

edges() lists a graph in the order of its hash tables, and a table that grows
while it takes keys in hash order gets them all at its first slots: probing
degenerates. Rebuilding a graph from its own edges() order took 16 times as
long on a 1,000,000-edge power-law graph and 80 times on a road network
(bench/results/2026-12-09-interop.md, row 13), and Graph.from_file on a file
written in that order 5 times as long as on the original download.

About sqrt(rows) interleaved strides spread every stretch of the insertion
over the whole hash range, while each stride still walks the tables forward.
"""

from __future__ import annotations

from math import isqrt


def stride_for(rows: int) -> int:
    """The stride: rows start, start + stride, ... go together, for each start below it."""
    return max(1, isqrt(rows))

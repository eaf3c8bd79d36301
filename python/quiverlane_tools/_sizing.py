"""estimate_memory: the memory a graph and its large Python results take, from n and m.

The loaded graph's figure is a fit to measurements (bench/bench_memory.py):
its hash tables grow in steps, so the true cost moves around a straight
line in n and m. The Python results are worked out from the sizes of
CPython's objects (64-bit builds, 3.9 to 3.13): an int above 256 takes 32
bytes, a tuple of two 64, a list 8 bytes a slot, a set 216 bytes plus 16 a
slot of its table once it holds more than 4 members, the table growing as
`set.add` grows it. The module builds its result sets the same way, so
their tables come out the same size.
"""

from __future__ import annotations

import operator
from typing import NamedTuple

# The peak while Graph.from_file (or read_parquet) loads a graph: the
# least-squares fit over five graphs of 71,000 to 20,000,000 edges and 0.5
# to 10 edges per vertex gave 41.4 and 14.9. Once loaded, the graph keeps
# 85 to 95% of it.
GRAPH_BYTES_PER_VERTEX = 40
GRAPH_BYTES_PER_EDGE = 15

INT_BYTES = 32  # a vertex id as a Python int (pymalloc rounds 28 up to 32)
PAIR_BYTES = 64  # a 2-tuple, 56 bytes with its collector header, rounded up
LIST_BYTES = 56
LIST_SLOT_BYTES = 8
SET_BYTES = 224  # sys.getsizeof(set()) is 216, rounded up
SET_SLOT_BYTES = 16
SET_INLINE_MEMBERS = 4  # a set of up to 4 members keeps them in the object

# write_parquet holds the vertex set and about a row group of each table:
# the rows' buffers, Arrow's and the Parquet writer's came to 57 MiB at
# 2,000,000 edges and 86 MiB at 20,000,000 with the default 1,048,576 rows
# a group.
WRITE_PARQUET_BUFFER_BYTES = 96 << 20
# read_parquet holds the vertex ids as an Arrow array (4 or 8 bytes each)
# besides the graph it loads, and some Arrow state: 15 and 25 MiB above the
# load's own peak at those sizes.
READ_PARQUET_BYTES_PER_VERTEX = 8
READ_PARQUET_FIXED_BYTES = 16 << 20


class MemoryEstimate(NamedTuple):
    """Bytes of memory, as `estimate_memory` works them out.

    `load` is the peak while `Graph.from_file` builds the graph; the graph
    keeps somewhat less (85 to 95% of it measured), and `copy()` needs at
    most as much again. `vertices`, `edges` and `components` are what the
    results of those methods keep, each held on top of the graph.
    `write_parquet` is the peak that writing the graph needs on top of it;
    `read_parquet` the peak of reading it back, the graph included (its
    line-writing child process needs about 160 to 190 MiB of its own,
    whatever the size).
    """

    load: int
    vertices: int
    edges: int
    components: int
    write_parquet: int
    read_parquet: int


def set_table_slots(members: int) -> int:
    """Slots in the table of a Python set after `members` calls of `add`.

    CPython grows a set's table when it is three-fifths full, to the first
    power of two above four times its members (twice, past 50,000).
    """
    size, used = 8, 0
    while True:
        grows_at = max(used + 1, -(-3 * (size - 1) // 5))
        if members < grows_at:
            return size
        used = grows_at
        wanted = used * 2 if used > 50000 else used * 4
        size = 8
        while size <= wanted:
            size <<= 1


def set_bytes(members: int) -> int:
    """A Python set of `members` vertex ids: the object, its ints and its table."""
    table = SET_SLOT_BYTES * set_table_slots(members) if members > SET_INLINE_MEMBERS else 0
    return SET_BYTES + INT_BYTES * members + table


def estimate_memory(n: int, m: int, components: int = 1) -> MemoryEstimate:
    """The memory of a graph with `n` vertices and `m` edges, and of its large results.

    `components` is the number of connected components, which only the
    `components` figure uses: each part is a set of its own, and the parts
    are taken to be one large one and single vertices, as in most real
    graphs; it may be anything from 1 to n (and is 0 for the empty graph).

    The loaded graph costs about 40 bytes per vertex plus 15 per edge,
    within 15% of what bench/bench_memory.py measured on graphs of
    2,000,000 edges and more, and 11% above the peak that the benchmarks
    recorded for 100,000,000 edges; small graphs differ more in proportion
    but only by megabytes. The Python results follow CPython's object sizes.
    Raises TypeError for arguments that are not ints and ValueError for
    negative ones or a component count outside 1..n.
    """
    n, m, components = (_count(name, value) for name, value in (("n", n), ("m", m), ("components", components)))
    if n and not 1 <= components <= n:
        raise ValueError(f"a graph of {n} vertices has 1 to {n} components, not {components}")
    if not n:
        components = 0
    load = GRAPH_BYTES_PER_VERTEX * n + GRAPH_BYTES_PER_EDGE * m
    vertices = set_bytes(n)
    edges = LIST_BYTES + (LIST_SLOT_BYTES + PAIR_BYTES + 2 * INT_BYTES) * m
    parts = LIST_BYTES + LIST_SLOT_BYTES * components
    if components:
        giant = n - (components - 1)
        parts += set_bytes(giant) + (components - 1) * set_bytes(1)
    return MemoryEstimate(
        load=load,
        vertices=vertices,
        edges=edges,
        components=parts,
        write_parquet=vertices + WRITE_PARQUET_BUFFER_BYTES,
        read_parquet=load + READ_PARQUET_BYTES_PER_VERTEX * n + READ_PARQUET_FIXED_BYTES,
    )


def _count(name: str, value: int) -> int:
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an int, not bool")
    try:
        count = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an int, not {type(value).__name__}") from None
    if count < 0:
        raise ValueError(f"{name} must not be negative, got {count}")
    return count

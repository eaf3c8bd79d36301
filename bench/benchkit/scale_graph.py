"""The --scale input: a large power-law edge file, generated fast with numpy.

Same model as powerlaw.py (Chung-Lu, degree exponent 2.5, average degree
about 10, no loops, no repeated edges, ids drawn uniformly from the whole
u32 range), vectorised so that 100,000,000 edges take minutes, not hours.
Edges come in random order and orientation.  Two text files are written once
into the cache: the u32 ids, and the same edges with the ids renumbered
0..k-1 (k vertices have an edge) in random order, for readers that need
dense ids.
"""
from __future__ import annotations

import os
from pathlib import Path

from benchkit import powerlaw
from benchkit.paths import cache_dir, scratch_name

GENERATOR_VERSION = 1
DRAW_CHUNK = 10_000_000
WRITE_CHUNK = 4_000_000


def files(edges: int, seed: int) -> dict[str, Path]:
    directory = cache_dir("scale")
    stem = f"powerlaw-v{GENERATOR_VERSION}-{edges}-{seed}"
    return {"plain": directory / f"{stem}.txt", "dense": directory / f"{stem}-dense.txt"}


def _draw_pairs(numpy, rng, cumulative, count):
    """`count` weighted endpoint pairs as sorted (low, high) keys low * n + high; loops dropped."""
    n = len(cumulative)
    total = cumulative[-1]
    a = numpy.searchsorted(cumulative, rng.random(count) * total, side="right")
    b = numpy.searchsorted(cumulative, rng.random(count) * total, side="right")
    keep = a != b
    low = numpy.minimum(a, b)[keep].astype(numpy.uint64)
    high = numpy.maximum(a, b)[keep].astype(numpy.uint64)
    return low * numpy.uint64(n) + high


def _edge_keys(numpy, rng, n: int, edges: int):
    alpha = 1.0 / (powerlaw.POWER_LAW_EXPONENT - 1.0)
    cumulative = numpy.cumsum(numpy.arange(1, n + 1, dtype=numpy.float64) ** -alpha)
    keys = numpy.empty(0, dtype=numpy.uint64)
    while len(keys) < edges:
        missing = edges - len(keys)
        fresh = [_draw_pairs(numpy, rng, cumulative, min(DRAW_CHUNK, missing + missing // 8 + 1000))
                 for _ in range(max(1, (missing + missing // 8) // DRAW_CHUNK))]
        keys = numpy.unique(numpy.concatenate([keys, *fresh]))
    return keys[rng.permutation(len(keys))[:edges]]   # random subset, random order


def _distinct_u32(numpy, rng, n: int):
    ids = numpy.empty(0, dtype=numpy.uint64)
    while len(ids) < n:
        more = rng.integers(0, 1 << 32, size=n - len(ids) + n // 50 + 1000, dtype=numpy.uint64)
        ids = numpy.unique(numpy.concatenate([ids, more]))
    return rng.permutation(ids)[:n]


def _renumbered(numpy, rng, n: int, us, vs):
    """The endpoints renumbered 0..k-1 over the k vertices that have an edge, in random order."""
    present = numpy.zeros(n, dtype=bool)
    present[us] = True
    present[vs] = True
    renumber = numpy.zeros(n, dtype=numpy.uint64)
    touched = numpy.flatnonzero(present)
    renumber[touched] = rng.permutation(len(touched)).astype(numpy.uint64)
    return renumber[us], renumber[vs]


def _decimal_lines(numpy, us, vs) -> bytes:
    """b"u v\\n" for every pair, formatted with array arithmetic, no Python loop per line."""
    count = len(us)
    text = numpy.empty((count, 22), dtype=numpy.uint8)
    keep = numpy.ones((count, 22), dtype=bool)
    for start, column in ((0, us), (11, vs)):
        value = column.astype(numpy.uint64)
        width = numpy.ones(count, dtype=numpy.int64)
        for power in range(1, 10):
            width += value >= 10 ** power
        for place in range(9, -1, -1):
            text[:, start + place] = value % 10 + 48
            value //= 10
            keep[:, start + place] = place >= 10 - width
    text[:, 10] = ord(" ")
    text[:, 21] = ord("\n")
    return text[keep].tobytes()


def _write(numpy, path: Path, us, vs) -> None:
    scratch = scratch_name(path)
    with open(scratch, "wb") as out:
        for start in range(0, len(us), WRITE_CHUNK):
            end = start + WRITE_CHUNK
            out.write(_decimal_lines(numpy, us[start:end], vs[start:end]))
    os.replace(scratch, path)


def ensure(edges: int, seed: int) -> dict[str, Path]:
    """The two files, generated on first use."""
    paths = files(edges, seed)
    if all(path.exists() for path in paths.values()):
        return paths
    import numpy
    rng = numpy.random.default_rng(seed)
    n = powerlaw.vertex_count(edges)
    keys = _edge_keys(numpy, rng, n, edges)
    low, high = keys // numpy.uint64(n), keys % numpy.uint64(n)
    del keys
    flip = rng.random(edges) < 0.5          # no orientation to learn from
    us, vs = numpy.where(flip, high, low), numpy.where(flip, low, high)
    del low, high, flip
    ids = _distinct_u32(numpy, rng, n)
    _write(numpy, paths["plain"], ids[us], ids[vs])
    del ids
    _write(numpy, paths["dense"], *_renumbered(numpy, rng, n, us, vs))
    return paths


def ensure_plain(edges: int, vertices: int, seed: int) -> Path:
    """The u32 file alone, for a chosen vertex count (average degree 2 * edges / vertices)."""
    path = cache_dir("scale") / f"powerlaw-v{GENERATOR_VERSION}-{edges}-n{vertices}-{seed}.txt"
    if path.exists():
        return path
    import numpy
    rng = numpy.random.default_rng(seed)
    keys = _edge_keys(numpy, rng, vertices, edges)
    low, high = keys // numpy.uint64(vertices), keys % numpy.uint64(vertices)
    del keys
    ids = _distinct_u32(numpy, rng, vertices)
    _write(numpy, path, ids[low], ids[high])
    return path

"""The seeded power-law test graph, in pure Python.

Chung-Lu: vertex i (0 <= i < n) has weight (i + 1) ** -(1 / (gamma - 1)), and
each edge joins two endpoints drawn independently in proportion to weight;
loops and repeated pairs are redrawn.  The n vertex indices are then mapped to
n distinct ids drawn uniformly from the whole u32 range, so ids carry no
locality.  The edges are generated once per (edges, seed) and cached as two
raw `array('I')`s.  `index_edge_arrays` gives the same edges before that
mapping: the ids are the generator's own indices 0..n-1, hubs first (a few
indices of low weight may have no edge).
"""
from __future__ import annotations

import array
import bisect
import itertools
import os
import random

from benchkit.paths import cache_dir, scratch_name

# Bump whenever the generator's output changes, so stale caches are not reused.
GENERATOR_VERSION = 1
AVERAGE_DEGREE = 10
POWER_LAW_EXPONENT = 2.5    # degree distribution P(k) ~ k^-2.5
DEFAULT_EDGES = 2_000_000
DEFAULT_SEED = 1


def vertex_count(edges: int) -> int:
    return max(2, round(2 * edges / AVERAGE_DEGREE))


def generate(edges: int, seed: int):
    """A simple power-law graph with `edges` distinct edges and no loops, as (us, vs)."""
    us, vs, rng = _generate_indices(edges, seed)
    ids = rng.sample(range(1 << 32), vertex_count(edges))
    return (array.array("I", [ids[a] for a in us]),
            array.array("I", [ids[b] for b in vs]))


def _generate_indices(edges: int, seed: int):
    """The edges over indices 0..n-1, and the generator in the state they left it."""
    rng = random.Random(seed)
    n = vertex_count(edges)
    alpha = 1.0 / (POWER_LAW_EXPONENT - 1.0)
    cumulative = list(itertools.accumulate((i + 1) ** -alpha for i in range(n)))
    total = cumulative[-1]
    rand = rng.random
    bisect_right = bisect.bisect_right

    seen = set()
    us = array.array("I")
    vs = array.array("I")
    while len(us) < edges:
        a = bisect_right(cumulative, rand() * total)
        b = bisect_right(cumulative, rand() * total)
        if a == b:
            continue
        key = a * n + b if a < b else b * n + a
        if key in seen:
            continue
        seen.add(key)
        us.append(a)
        vs.append(b)
    del seen
    return us, vs, rng


def edge_arrays_path(edges: int, seed: int, kind: str = ""):
    return cache_dir("graphs") / f"powerlaw-v{GENERATOR_VERSION}-{edges}-{seed}{kind}.bin"


def edge_arrays(edges: int = DEFAULT_EDGES, seed: int = DEFAULT_SEED):
    """The cached edge arrays (us, vs), generated on first use."""
    return _cached(edge_arrays_path(edges, seed), edges, lambda: generate(edges, seed))


def index_edge_arrays(edges: int = DEFAULT_EDGES, seed: int = DEFAULT_SEED):
    """The same edges over the generator's indices 0..n-1, cached."""
    return _cached(edge_arrays_path(edges, seed, "-indices"), edges,
                   lambda: _generate_indices(edges, seed)[:2])


def _cached(path, edges: int, make):
    if not path.exists():
        us, vs = make()
        scratch = scratch_name(path)
        with open(scratch, "wb") as out:
            us.tofile(out)
            vs.tofile(out)
        os.replace(scratch, path)
    us = array.array("I")
    vs = array.array("I")
    with open(path, "rb") as source:
        us.fromfile(source, edges)
        vs.fromfile(source, edges)
    return us, vs

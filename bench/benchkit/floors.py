"""The Python result floor: our results rebuilt from native arrays in plain C.

`bench/floors/result_floor.c` builds a set, a list of sets or a list of pairs
from u32 arrays.  A suite takes the arrays from our own result (same ids, same
order, same sizes) before any clock starts, then times the floor on them next
to our method.  A list of many sets is timed twice: with the cyclic collector
as a caller has it, and paused, since every new set is a tracked container and
the collector's passes over them can cost more than building them.
"""
from __future__ import annotations

import array

from benchkit.native import load_extension
from benchkit.paths import BENCH

_module = None


def module():
    global _module
    if _module is None:
        _module = load_extension(BENCH / "floors" / "result_floor.c", "_qlresultfloor")
    return _module


def ids_of(members) -> array.array:
    return array.array("I", members)


def ids_and_offsets(parts):
    """Flattens a list of sets into one id array and k + 1 offsets."""
    ids = array.array("I")
    offsets = array.array("I", [0])
    for part in parts:
        ids.extend(part)
        offsets.append(len(ids))
    return ids, offsets


def pair_arrays(pairs):
    return array.array("I", (u for u, _ in pairs)), array.array("I", (v for _, v in pairs))

"""The Python result floor: our results rebuilt from native arrays in plain C.

`bench/floors/result_floor.c` builds a set, a list of sets or a list of pairs
from u32 arrays.  A suite takes the arrays from our own result (same ids,
same sizes) before any clock starts, then times the floor on them next to our
method, in two orders:

  best order   each set's members by ascending low bits of the id, the bits
               that pick the slot in the table the set ends at; pairs grouped
               by their first end, which shares one int object.  The cheapest
               way to build (and free) an equal result: the headline floor.
  same order   the ids in the order our result iterates them (secondary).

A list of many sets is timed with the cyclic collector paused (headline) and
as a caller has it, since every new set is a tracked container and the
collector's passes over them can cost more than building them.
"""
from __future__ import annotations

import array
import sys

from benchkit.native import load_extension
from benchkit.paths import BENCH

_module = None
# Set sizes whose final table the C code's growth rule must predict; they
# straddle the x4 and x2 growth steps.
_CHECKED_SIZES = (0, 1, 4, 5, 19, 20, 77, 78, 1000, 49_999, 50_001, 200_000)


def module():
    global _module
    if _module is None:
        _module = load_extension(BENCH / "floors" / "result_floor.c", "_qlresultfloor")
        _check_table_sizes(_module)
    return _module


def table_slots_of(a_set: set) -> int:
    """Slots of a real set's table: a grown table (16 bytes a slot) is counted
    on top of the object, whose own 8 slots it replaces."""
    grown = sys.getsizeof(a_set) - sys.getsizeof(set())
    return 8 if grown == 0 else grown // 16


def _check_table_sizes(floor) -> None:
    """The best order is only best if the floor knows where a set's table ends."""
    for count in _CHECKED_SIZES:
        built = set()
        for x in range(count):
            built.add(x)
        if floor.set_table_size(count) != table_slots_of(built):
            raise SystemExit(f"result_floor.c predicts {floor.set_table_size(count)} slots "
                             f"for a set of {count}, the interpreter made "
                             f"{table_slots_of(built)}: fix final_table_size")


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


def best_order(ids: array.array, offsets: array.array | None = None) -> array.array:
    """`ids` (one set, or one per offsets interval) in the order cheapest to build."""
    if offsets is None:
        offsets = array.array("I", [0, len(ids)])
    ordered = array.array("I")
    ordered.frombytes(module().best_set_order(ids, offsets))
    return ordered


def grouped_pairs(us: array.array, vs: array.array):
    """The pairs ordered by first end (stable), so equal first ends are adjacent."""
    order = sorted(range(len(us)), key=us.__getitem__)
    return array.array("I", (us[i] for i in order)), array.array("I", (vs[i] for i in order))

"""Running out of memory while the graph grows: MemoryError, never an abort,
and a consistent, usable graph afterwards.

Runs in a child process whose address space is capped a little above what
it already uses. AddressSanitizer reserves address space of its own, which
the cap would then measure instead of the module, so these run in the plain
build only; under the sanitizers the same paths are driven by failure
injection (the native tests' failing allocator).
"""

import sys

import pytest

from conftest import SANITIZED, run_python

pytestmark = [
    # Each test runs a child to exhaustion.
    pytest.mark.slow,
    pytest.mark.skipif(not sys.platform.startswith("linux"), reason="needs RLIMIT_AS and /proc"),
    pytest.mark.skipif(SANITIZED, reason="an address-space cap measures the sanitizer's reservations, "
                                         "not the module (the plain build runs these)"),
]

CHILD = r"""
import os, resource, sys
from quiverlane import Graph
from graph_checks import MAX_ID, check_graph

HEADROOM = {headroom}
M = 40000  # first-kind vertices: every round gives each of them a new edge

def address_space():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")

g = Graph()
failures = []        # (u, v, u was a vertex, v was a vertex) of failed add_edge calls
noted = []           # notes of those MemoryErrors: a note names a cap, never plain exhaustion
other_failures = [0]  # MemoryErrors raised by the interpreter's own work
attempt = [0, 0, False, False]
in_add_edge = [0]

def grow(pairs):
    # Adds edges until the first MemoryError; True if there was one.
    try:
        for u, v in pairs:
            attempt[0] = u
            attempt[1] = v
            attempt[2] = g.contains(u)
            attempt[3] = g.contains(v)
            in_add_edge[0] = 1
            g.add_edge(u, v)
            in_add_edge[0] = 0
    except MemoryError as e:
        if in_add_edge[0]:
            failures.append(tuple(attempt))
            noted.extend(getattr(e, "__notes__", []))
        else:
            other_failures[0] += 1
        in_add_edge[0] = 0
        return True
    return False

def new_pairs():
    # Distinct for distinct i: (i mod M, M + i div M).
    i = 0
    while True:
        yield i % M, M + i // M
        i += 1

def existing_pairs(step):
    # Edges among the first-kind vertices, so failures hit neighbour sets.
    j = 0
    while j < 200000:
        yield (j * step) % M, (j * step + 1 + j // M) % M
        j += 1

def mixed_pairs():
    # One new endpoint and one existing one.
    j = 0
    while j < 50000:
        yield j % M, 3000000000 + j
        j += 1

soft, hard = resource.getrlimit(resource.RLIMIT_AS)
limit = address_space() + HEADROOM
if hard != resource.RLIM_INFINITY and limit > hard:
    print("SKIP the hard limit is below the planned cap")
    sys.exit(0)
try:
    resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
except (ValueError, OSError) as e:
    print("SKIP cannot set RLIMIT_AS:", e)
    sys.exit(0)

ran_out = grow(new_pairs())
for step in (1, 7, 13, 31):
    grow(existing_pairs(step))
for _ in range(3):
    grow(mixed_pairs())

resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
assert ran_out

# Each failed add_edge changed nothing.
for u, v, u_was, v_was in failures:
    assert not g.adjacent(u, v), (u, v)
    assert not g.adjacent(v, u), (u, v)
    assert g.contains(u) == u_was, (u, v)
    assert g.contains(v) == v_was, (u, v)

# The whole graph is consistent.
check_graph(g)
m = g.num_edges()

# And usable.
assert g.add_edge(MAX_ID, 0) is True
assert g.remove_edge(0, MAX_ID) is True
assert g.remove_vertex(M) is True
c = g.copy()
assert c.num_edges() == g.num_edges()
assert repr(c) == repr(g)
assert not noted, noted
print("OK", m, len(failures), other_failures[0])
"""


@pytest.mark.parametrize("headroom_mib", [10, 20])
def test_memory_exhaustion_leaves_graph_consistent(headroom_mib):
    result = run_python(CHILD.format(headroom=headroom_mib * 2**20), timeout=120)
    if result.stdout.startswith("SKIP"):
        pytest.skip(result.stdout.strip())
    assert result.returncode == 0, result.stdout + result.stderr
    words = result.stdout.split()
    assert words[0] == "OK", result.stdout
    edges, native_failures = int(words[1]), int(words[2])
    assert edges > 0
    # The store itself ran out, not only the interpreter.
    assert native_failures >= 1, result.stdout
    # MemoryError, not a fault report or an abort message.
    assert "panicked" not in result.stderr
    assert "memory allocation of" not in result.stderr


FIRST_ERROR = r"""
import ctypes, os, resource, sys, threading
from quiverlane import Graph

if {in_thread}:
    # One malloc arena for every thread, and large blocks mapped on their
    # own: the thread's allocations then need new address space, which the
    # cap refuses, instead of coming from an arena reserved for it long before.
    libc = ctypes.CDLL(None)
    libc.mallopt(-8, 1)          # M_ARENA_MAX
    libc.mallopt(-3, 64 * 1024)  # M_MMAP_THRESHOLD

def address_space():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")

g = Graph()
for v in range(200000):
    g.add_edge(v, v + 1)
soft, hard = resource.getrlimit(resource.RLIMIT_AS)

def capped_edges():
    # The result needs far more than the cap leaves.
    limit = address_space() + 2**20
    resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
    try:
        g.edges() if {call_edges} else g.copy()
    except BaseException as e:
        outcome = type(e).__name__
    else:
        outcome = "no error"
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    return outcome

outcomes = []
if {in_thread}:
    # The thread's first call into the module is the one that runs out.
    t = threading.Thread(target=lambda: outcomes.append(capped_edges()))
    t.start()
    t.join()
else:
    outcomes.append(capped_edges())
assert g.num_edges() == 200000 and len(g.edges()) == 200000
assert g.add_edge(0, 5) is True and g.degree(0) == 2
print(outcomes[0])
"""


@pytest.mark.parametrize("in_thread", [False, True], ids=["main-thread", "new-thread"])
@pytest.mark.parametrize("call_edges", [True, False], ids=["edges", "copy"])
def test_first_native_error_of_a_thread_under_memory_cap(in_thread, call_edges):
    # The first error a thread raises needs per-thread storage of the C++
    # runtime; it must already exist, or the C library aborts the process.
    result = run_python(FIRST_ERROR.format(in_thread=in_thread, call_edges=call_edges), timeout=120)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout.strip() in ("MemoryError", "PanicException"), result.stdout
    assert "ABORT" not in result.stderr

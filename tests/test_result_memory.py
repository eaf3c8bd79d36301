"""The interpreter running out of memory while a method builds its result:
MemoryError, nothing on standard error, and the graph as it was.

CPython's own failure injection (_testcapi.set_nomemory) makes the Nth
allocation after a point fail. Each method is called once per N, from the
first allocation of the call to the first N that lets it finish, so every
object the result is made of (the list, each tuple, set and int, the sets'
tables as they grow, a new Graph) is in turn the one that cannot be made.
The injection runs in a child interpreter, where a failure that escapes
the calls cannot upset pytest.
"""

import os
import sys

import pytest

from conftest import run_python

pytest.importorskip("_testcapi")

PRELUDE = r"""
import gc, sys, _testcapi
from quiverlane import Graph
from graph_checks import check_graph, snapshot

# Ids above the interpreter's cached small ints, so every int in a result is
# allocated. A hub of 300 (its degree too is allocated), a cycle that is one
# component of 40, pairs, isolates and a loop: sets large enough that their
# tables grow while they fill, and many small ones.
def build():
    g = Graph()
    hub = 100000
    for i in range(300):
        g.add_edge(hub, 200000 + i)
    for i in range(40):
        g.add_edge(300000 + i, 300000 + (i + 1) % 40)
    for i in range(30):
        g.add_edge(400000 + 2 * i, 400000 + 2 * i + 1)
    for i in range(20):
        g.add_vertex(500000 + i)
    g.add_edge(600000, 600000)
    return g

def fail_from(n, once):
    # Allocation n from here on fails: only that one, or every one after it.
    _testcapi.set_nomemory(n, n + 1 if once else 0)

def sweep(name, call, check, once):
    # Calls call() with allocation 0, 1, 2, ... failing until it returns.
    # Returns how many calls ran out of memory; each must raise exactly
    # MemoryError and pass check() afterwards.
    failures = 0
    for n in range(100000):
        gc.collect()  # empties the free lists, so every object is allocated
        fail_from(n, once)
        try:
            result = call()
        except BaseException as error:
            _testcapi.remove_mem_hooks()
            assert type(error) is MemoryError, (name, n, repr(error))
            failures += 1
            check()
            continue
        _testcapi.remove_mem_hooks()
        check()
        return failures
    raise AssertionError(name + " never finished")
"""

QUERIES = PRELUDE + r"""
once = sys.argv[1] == "once"
g = build()
before = snapshot(g)
expected = {}
calls = {
    "vertices": g.vertices,
    "edges": g.edges,
    "neighbours": lambda: g.neighbours(100000),
    "neighbourhood": lambda: g.neighbourhood({100000, 300000, 400000}),
    "closed_neighbourhood": lambda: g.closed_neighbourhood({100000, 300000, 400000}),
    "r_neighbours": lambda: g.r_neighbours(300000, 15),
    "components": g.components,
    "subgraph": lambda: g.subgraph({100000, 200000, 200001, 300000, 300001, 600000}),
    "copy": g.copy,
    "degree": lambda: g.degree(100000),
    "num_vertices": g.num_vertices,
    "num_edges": g.num_edges,
    "repr": lambda: repr(g),
}

def as_value(result):
    # Comparable across calls: sets and lists as they are, graphs by content.
    if isinstance(result, Graph):
        return snapshot(result)
    if isinstance(result, list) and result and isinstance(result[0], set):
        return sorted(sorted(part) for part in result)
    return result

for name, call in calls.items():
    expected[name] = as_value(call())

def unchanged_and_usable(name):
    assert gc.isenabled(), name  # a builder that pauses the collector resumes it
    assert snapshot(g) == before, name
    assert as_value(calls[name]()) == expected[name], name

for name, call in calls.items():
    failures = sweep(name, call, lambda: unchanged_and_usable(name), once)
    print(name, failures)
check_graph(g)
"""


def sweep_counts(stdout):
    return {name: int(count) for name, count in (line.split() for line in stdout.splitlines())}


@pytest.mark.slow
@pytest.mark.parametrize("once", ["once", "onwards"])
def test_queries_raise_memory_error_at_every_allocation(once):
    # "once": the one allocation fails and the rest succeed, as when another
    # thread frees memory meanwhile; "onwards": memory stays exhausted until
    # the exception is caught.
    result = run_python(QUERIES.replace("sys.argv[1]", repr(once)))
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stderr == ""
    counts = sweep_counts(result.stdout)
    # Every object of the result was made in some run: at least one failure
    # per int and container it holds.
    assert counts["vertices"] >= 412
    assert counts["edges"] >= 1 + 371 * 3
    assert counts["neighbours"] >= 300
    assert counts["components"] >= 1 + 61 + 412
    assert counts["subgraph"] >= 1 and counts["copy"] >= 1
    assert counts["degree"] >= 1 and counts["num_vertices"] >= 1 and counts["num_edges"] >= 1


EDITS = PRELUDE + r"""
# contract's result is the center's id, made after the contraction: when it
# cannot be made the call raises MemoryError with the graph contracted, and
# consistent. When memory runs out before the change, nothing changed.
g = build()
members = {200000, 200001, 300000}
before = snapshot(g)
reference = g.copy()
reference.contract(members)

def contracted_into(target, center):
    # The graph as contracting members into center leaves it.
    check_graph(target)
    assert center in members
    assert target.vertices() == (before.vertices - members) | {center}
    assert target.num_edges() == reference.num_edges()

def consistent(target):
    check_graph(target)
    if snapshot(target) != before:
        (center,) = target.vertices() & members
        contracted_into(target, center)

failures = 0
for n in range(100000):
    target = g.copy()
    gc.collect()
    fail_from(n, True)
    try:
        center = target.contract(members)
    except BaseException as error:
        _testcapi.remove_mem_hooks()
        assert type(error) is MemoryError, (n, repr(error))
        failures += 1
        consistent(target)
        continue
    _testcapi.remove_mem_hooks()
    contracted_into(target, center)
    break
print("contract", failures)

# from_file: the new Graph object cannot be made.
import tempfile, os
with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
    f.write("".join(f"{u} {v}\n" for u, v in g.edges()))
try:
    print("from_file", sweep("from_file", lambda: Graph.from_file(f.name), lambda: None, True))
finally:
    os.unlink(f.name)
assert snapshot(g) == before
"""


@pytest.mark.slow
def test_edits_and_loading_raise_memory_error():
    result = run_python(EDITS)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stderr == ""
    counts = sweep_counts(result.stdout)
    assert counts["contract"] >= 1
    assert counts["from_file"] >= 1

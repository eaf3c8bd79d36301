"""Ctrl-C ends a long call: SIGINT sent from outside while a method runs
raises KeyboardInterrupt out of that very call, not after it has finished,
and leaves the graph as it was. No time bound is checked: on a loaded
machine it would only measure the load; where the handler ran (inside the
call) is what shows the call was cut short.

A child interpreter runs the calls; this process sends the signals, so that
the sender needs no interpreter lock. The child's SIGINT handler tells
whether it ran inside the call: it tries to change the graph, which the
call's own access refuses while the call is in progress.
"""

import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest

from conftest import MODULE_DIR

pytestmark = pytest.mark.skipif(not sys.platform.startswith("linux"), reason="needs FIFOs and /proc")

CHILD = r"""
import os, signal, sys, time
from quiverlane import Graph

g = None
state = {}

def handler(signum, frame):
    state["handled"] = time.monotonic()
    where = "outside"
    if g is not None:
        try:
            g.add_vertex(4294967295)
        except BaseException as e:
            where = type(e).__name__  # the running call holds the graph
        else:
            g.remove_vertex(4294967295)
    state["where"] = where
    raise KeyboardInterrupt

signal.signal(signal.SIGINT, handler)

def fingerprint():
    return (g.num_vertices(), g.num_edges(), g.degree(0), g.degree(2001), repr(g))

def attempt(name, call):
    state.clear()
    descriptors = len(os.listdir("/proc/self/fd"))
    print("calling", name, flush=True)
    try:
        call()
        outcome = "returned"
    except KeyboardInterrupt:
        outcome = "KeyboardInterrupt"
    caught = time.monotonic()
    leaked = len(os.listdir("/proc/self/fd")) - descriptors
    print(name, outcome, state.get("where", "-"), state.get("handled", 0.0), caught, leaked, flush=True)
    sys.stdin.readline()  # the parent is ready for the next call
"""


def start_child(code):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [MODULE_DIR, env.get("PYTHONPATH")]))
    env.pop("QUIVERLANE_BACKTRACE", None)
    return subprocess.Popen(
        [sys.executable, "-c", textwrap.dedent(CHILD) + textwrap.dedent(code)],
        env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
    )


def interrupt_each(child, names, delay):
    """For each call the child announces: SIGINT after `delay`; its report."""
    reports = {}
    for name in names:
        line = child.stdout.readline()
        assert line == f"calling {name}\n", line + child.stderr.read()
        time.sleep(delay)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        words = child.stdout.readline().split()
        assert words and words[0] == name, " ".join(words) + child.stderr.read()
        outcome, where, handled, caught, leaked = words[1], words[2], float(words[3]), float(words[4]), int(words[5])
        reports[name] = (outcome, where, handled - sent, caught - sent, leaked)
        child.stdin.write("next\n")
        child.stdin.flush()
    return reports


def finish(child):
    out, err = child.communicate(timeout=60)
    assert child.returncode == 0, out + err
    return out


GRAPH_CALLS = """
    n = 2000
    path = "{path}"
    with open(path, "w") as f:
        for r in range(n):
            base = r * n
            f.write("".join([f"{{base + c}} {{base + c + 1}}\\n" for c in range(n - 1)]))
            if r < n - 1:
                f.write("".join([f"{{base + c}} {{base + c + n}}\\n" for c in range(n)]))
    g = Graph.from_file(path)
    os.unlink(path)
    everything = g.vertices()
    before = fingerprint()
    attempt("components", g.components)
    attempt("copy", g.copy)
    attempt("r_neighbours", lambda: g.r_neighbours(0, 4294967295))
    attempt("edges", g.edges)
    attempt("subgraph", lambda: g.subgraph(everything))
    assert fingerprint() == before
    print("unchanged", flush=True)
"""


@pytest.mark.slow
def test_sigint_ends_long_calls_on_a_large_graph(tmp_path):
    # A 2000 x 2000 grid: 4,000,000 vertices, each call far longer than the
    # delay before the signal.
    names = ["components", "copy", "r_neighbours", "edges", "subgraph"]
    child = start_child(GRAPH_CALLS.format(path=tmp_path / "grid.txt"))
    reports = interrupt_each(child, names, delay=0.05)
    assert finish(child) == "unchanged\n"
    for name, (outcome, where, handled, caught, leaked) in reports.items():
        assert outcome == "KeyboardInterrupt", name
        assert where == "PyBorrowMutError", (name, where)  # handled inside the call


STREAMS = """
    attempt("no-writer", lambda: Graph.from_file("{fifo}"))
    attempt("endless-plain", lambda: Graph.from_file("{plain}"))
    attempt("endless-gzip", lambda: Graph.from_file("{packed}"))
    attempt("stalled-writer", lambda: Graph.from_file("{stalled}"))
"""

WRITER = r"""
import sys, zlib
path, packed = sys.argv[1], sys.argv[2] == "gzip"
lines = b"".join(b"%d %d\n" % (i, i + 1) for i in range(10000))
packer = zlib.compressobj(1, zlib.DEFLATED, 31)
try:
    with open(path, "wb") as out:
        while True:
            out.write(packer.compress(lines) if packed else lines)
except (BrokenPipeError, OSError):
    pass
"""

STALLED = r"""
import sys, time
with open(sys.argv[1], "wb") as out:
    out.write(b"1 2\n3 ")
    out.flush()
    time.sleep(60)
"""


def test_sigint_ends_reading_from_pipes(tmp_path):
    fifos = {name: tmp_path / name for name in ["lonely", "plain", "packed.gz", "stalled"]}
    for path in fifos.values():
        os.mkfifo(path)
    writers = [
        subprocess.Popen([sys.executable, "-c", WRITER, str(fifos["plain"]), "plain"]),
        subprocess.Popen([sys.executable, "-c", WRITER, str(fifos["packed.gz"]), "gzip"]),
        subprocess.Popen([sys.executable, "-c", STALLED, str(fifos["stalled"])]),
    ]
    try:
        child = start_child(STREAMS.format(fifo=fifos["lonely"], plain=fifos["plain"],
                                           packed=fifos["packed.gz"], stalled=fifos["stalled"]))
        reports = interrupt_each(child, ["no-writer", "endless-plain", "endless-gzip", "stalled-writer"],
                                 delay=0.3)
        finish(child)
    finally:
        for writer in writers:
            writer.kill()
            writer.wait()
    for name, (outcome, where, handled, caught, leaked) in reports.items():
        assert outcome == "KeyboardInterrupt", name
        assert leaked == 0, name  # the file was closed on the way out

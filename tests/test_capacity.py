"""The graph's fixed caps: a neighbour set holds at most 2^30 - 1 members, a
graph at most 3758096384 vertices. Going past one raises MemoryError with a
note that names the cap, and changes nothing.

Reaching the real caps takes more than 30 GB, so these tests build the
module a second time with the CMake option QUIVERLANE_SMALL_CAPACITY, which
lowers them to 100 members and 224 vertices and changes nothing else, and
drive that build through the Python API in child interpreters. The build
lives in the pytest cache, so only the first run after a change pays for the
compile. That an ordinary out-of-memory MemoryError carries no note is
checked on the normal build, in test_memory_exhaustion.py.
"""

import gzip
import os
import shutil
import subprocess
import sys
import textwrap

import pytest

from conftest import REPO_ROOT, SANITIZED, TESTS_DIR, build_tool_env

pytestmark = [
    pytest.mark.slow,
    # The small-cap module is built here without sanitizers, so the sanitizer
    # job would only run the plain build again, slowly.
    pytest.mark.skipif(SANITIZED, reason="builds and tests its own module without sanitizers"),
]

MAX_NEIGHBOURS = 100
MAX_VERTICES = 224
SET_NOTE = f"a vertex's neighbour set holds at most {MAX_NEIGHBOURS} members"
GRAPH_NOTE = f"a graph holds at most {MAX_VERTICES} vertices"

@pytest.fixture(scope="module")
def small_build(request, tmp_path_factory):
    if shutil.which("cmake") is None:
        if os.environ.get("CI"):
            pytest.fail("CI needs the small-capacity build, but cmake is not on PATH", pytrace=False)
        pytest.skip("cmake is not on PATH")
    try:
        build_dir = request.config.cache.mkdir("quiverlane-small-capacity")
    except AttributeError:  # the cache plugin is disabled
        build_dir = tmp_path_factory.mktemp("small-capacity")
    first = not (build_dir / "CMakeCache.txt").exists()
    generator = ["-G", "Ninja"] if first and shutil.which("ninja") else []
    steps = [
        ["cmake", "-S", str(REPO_ROOT), "-B", str(build_dir), *generator,
         f"-DPython_EXECUTABLE={sys.executable}", "-DQUIVERLANE_SMALL_CAPACITY=ON",
         f"-DQUIVERLANE_WERROR={os.environ.get('QUIVERLANE_WERROR') or 'OFF'}"],
        ["cmake", "--build", str(build_dir), "--target", "quiverlane", "--parallel", str(os.cpu_count() or 2)],
    ]
    for step in steps:
        done = subprocess.run(step, capture_output=True, text=True, env=build_tool_env())
        assert done.returncode == 0, done.stdout + done.stderr
    return build_dir


def run_small(build_dir, code, tmp_path):
    """Runs `code` in a fresh interpreter that imports the small build."""
    env = dict(os.environ)
    env.pop("QUIVERLANE_BACKTRACE", None)
    env["PYTHONPATH"] = os.pathsep.join([str(build_dir), str(TESTS_DIR)])
    prelude = f"""
        import quiverlane, os
        assert os.path.dirname(quiverlane.__file__) == {str(build_dir)!r}, quiverlane.__file__
        from quiverlane import Graph
        from graph_checks import MAX_ID, check_graph
        SET_NOTE, GRAPH_NOTE = {SET_NOTE!r}, {GRAPH_NOTE!r}

        def refused(call, note):
            # The call raises MemoryError with exactly this note.
            try:
                call()
            except MemoryError as e:
                assert e.args == (), e.args
                assert getattr(e, "__notes__", None) == [note], getattr(e, "__notes__", None)
            else:
                raise AssertionError("no MemoryError")

        def state(g):
            return sorted(g.vertices()), sorted(g.edges())
    """
    result = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(prelude) + textwrap.dedent(code)],
        env=env, cwd=tmp_path, capture_output=True, text=True, timeout=120,
    )
    assert result.returncode == 0, result.stdout + result.stderr
    # MemoryError, never a fault report.
    assert "panicked" not in result.stderr, result.stderr
    return result.stdout


def test_neighbour_set_cap_on_edges(small_build, tmp_path):
    run_small(small_build, f"""
        g = Graph()
        for v in range(1, {MAX_NEIGHBOURS} + 1):
            assert g.add_edge(0, v) is True
        before = state(g)
        # A new neighbour, from either end, a new vertex or an old one.
        g.add_vertex(500)
        before = state(g)
        for u, v in [(0, 101), (101, 0), (0, 500), (500, 0), (0, MAX_ID)]:
            refused(lambda: g.add_edge(u, v), SET_NOTE)
            assert state(g) == before, (u, v)
        # A loop takes a place in the set too.
        refused(lambda: g.add_edge(0, 0), SET_NOTE)
        assert state(g) == before and g.degree(0) == {MAX_NEIGHBOURS}
        # Existing edges are no growth; below the cap everything still works.
        assert g.add_edge(0, 1) is False
        assert g.remove_edge(0, 1) is True
        assert g.add_edge(0, 0) is True and g.degree(0) == {MAX_NEIGHBOURS} + 1
        refused(lambda: g.add_edge(0, 1), SET_NOTE)
        check_graph(g)
        c = g.copy()
        assert state(c) == state(g)
        assert state(g.subgraph(set(g.vertices()))) == state(g)
    """, tmp_path)


def test_neighbour_set_cap_on_contraction(small_build, tmp_path):
    run_small(small_build, f"""
        half = {MAX_NEIGHBOURS} // 2 + 10
        # The center and a member share all their neighbours: the union fits
        # the cap although the two sets together would not.
        g = Graph()
        for w in range(10, 10 + half):
            g.add_edge(1, w)
            g.add_edge(2, w)
        assert g.contract_into(1, {{2}}) is None
        assert g.degree(1) == half and not g.contains(2)
        check_graph(g)
        # Distinct neighbours past the cap: refused, nothing changed.
        g = Graph()
        for w in range(10, 10 + half):
            g.add_edge(1, w)
            g.add_edge(2, w + 1000)
        before = state(g)
        refused(lambda: g.contract_into(1, {{2}}), SET_NOTE)
        assert state(g) == before
        refused(lambda: g.contract({{1, 2}}), SET_NOTE)
        assert state(g) == before
        # A center that is not a vertex yet is not left behind.
        refused(lambda: g.contract_into(7, {{1, 2}}), SET_NOTE)
        assert state(g) == before
        check_graph(g)
    """, tmp_path)


def test_vertex_cap(small_build, tmp_path):
    run_small(small_build, f"""
        g = Graph()
        # The largest id is kept apart from the table; it counts the same.
        ids = [MAX_ID] + list(range({MAX_VERTICES} - 2))
        for v in ids:
            g.add_vertex(v)
        before = state(g)
        # One short: an edge between two new vertices does not fit.
        refused(lambda: g.add_edge(1000, 1001), GRAPH_NOTE)
        assert state(g) == before
        # One new vertex does.
        assert g.add_edge(0, 1000) is True
        assert g.num_vertices() == {MAX_VERTICES}
        before = state(g)
        for call in (lambda: g.add_vertex(2000), lambda: g.add_edge(0, 2000),
                     lambda: g.add_edge(2000, 2001), lambda: g.contract_into(2000, {{0, 1}})):
            refused(call, GRAPH_NOTE)
            assert state(g) == before
        # Existing vertices need no room.
        assert g.add_edge(1, 2) is True and g.add_vertex(MAX_ID) is None
        check_graph(g)
        # Room made by a removal is used again.
        assert g.remove_vertex(5) is True
        assert g.add_vertex(2000) is None and g.num_vertices() == {MAX_VERTICES}
        assert state(g.copy()) == state(g)
    """, tmp_path)


def test_caps_when_reading_a_file(small_build, tmp_path):
    star = "".join(f"0 {v}\n" for v in range(1, MAX_NEIGHBOURS + 2))
    (tmp_path / "star.txt").write_text(star)
    many = "".join(f"{v} {v + 1}\n" for v in range(0, 2 * MAX_VERTICES, 2))
    (tmp_path / "many.txt").write_text(many)
    # Four neighbours and the same edge again and again: repeats are no
    # members, however many there are.
    repeats = "0 1\n0 2\n0 3\n0 4\n" + "0 1\n1 0\n" * (3 * MAX_NEIGHBOURS)
    (tmp_path / "repeats.txt").write_text(repeats)
    with gzip.open(tmp_path / "repeats.txt.gz", "wt") as f:
        f.write(repeats + "".join(f"0 {v}\n" for v in range(5, MAX_NEIGHBOURS + 1)))
    # The reader takes edges in batches, the first of 32768: here the
    # repeats of the first batch are under the cap and those of a later one
    # take the count past it.
    spread = "0 1\n0 2\n0 3\n0 4\n" + "0 1\n" * (MAX_NEIGHBOURS // 2) + "10 11\n" * 40000 + "0 2\n" * MAX_NEIGHBOURS
    (tmp_path / "spread.txt").write_text(spread)
    run_small(small_build, f"""
        refused(lambda: Graph.from_file("star.txt"), SET_NOTE)
        refused(lambda: Graph.from_file("many.txt"), GRAPH_NOTE)
        g = Graph.from_file("repeats.txt")
        assert g.degree(0) == 4 and g.num_edges() == 4
        g = Graph.from_file("spread.txt")
        assert g.degree(0) == 4 and g.num_edges() == 5
        check_graph(g)
        g = Graph.from_file("repeats.txt.gz")
        assert g.degree(0) == {MAX_NEIGHBOURS} and g.num_edges() == {MAX_NEIGHBOURS}
        check_graph(g)
    """, tmp_path)

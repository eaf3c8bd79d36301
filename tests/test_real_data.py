"""Real data sets from ../shared/data load, or are refused, as plain Python says they should.

Each file is also parsed here with plain Python, independently of the module:
the files that hold only "u v" lines must give the same vertices and edges;
the originals with comments, headers or extra columns must be refused at the
first line that plain Python finds wrong.
"""

import gzip
import os
import random
from pathlib import Path

import pytest

from quiverlane import Graph

from conftest import data_set_params
from graph_checks import ID_END, check_graph, model_ball, model_components, model_of, snapshot

DATA_DIR = (Path(__file__).resolve().parents[1] / ".." / "shared" / "data").resolve()

if not DATA_DIR.is_dir():
    # CI always has the data beside the checkout: missing there is a failure.
    if os.environ.get("CI"):
        pytest.fail(f"no data sets at {DATA_DIR}", pytrace=False)
    pytest.skip(f"no data sets at {DATA_DIR}", allow_module_level=True)

DATA_FILES = sorted(p.name for p in DATA_DIR.iterdir() if p.is_file() and p.name != "README.md")

# The originals with comment or header lines, or a third column.
REFUSED = {
    "ca-GrQc.txt",
    "soc-Slashdot0902.txt.gz",
    "road-usroads-48.mtx",
    "out.opsahl-powergrid",
    "as-caida20070917.txt",
}


def plain_python_read(path):
    """(vertices, edges) or the refusal reason, from plain Python over the raw bytes."""
    data = path.read_bytes()
    if path.name.endswith(".gz"):
        data = gzip.decompress(data)
    text = data.decode("ascii")  # every data set here is ASCII
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    vertices, edges = set(), set()
    for index, line in enumerate(lines):
        tokens = line.split()
        if len(tokens) != 2:
            return f"line {index + 1} does not contain two tokens"
        for token in tokens:
            if not (token.isdigit() and int(token) < ID_END):
                return f"line {index + 1}: cannot parse vertex id {token}"
        a, b = int(tokens[0]), int(tokens[1])
        vertices.update((a, b))
        edges.add((min(a, b), max(a, b)))
    return vertices, edges


def test_every_data_set_is_covered():
    assert REFUSED <= set(DATA_FILES)
    assert len(DATA_FILES) >= 12


@pytest.mark.parametrize("name", data_set_params(n for n in DATA_FILES if n not in REFUSED))
def test_data_set_loads(name):
    path = DATA_DIR / name
    expected = plain_python_read(path)
    assert not isinstance(expected, str), expected
    vertices, edges = expected
    g = Graph.from_file(str(path))
    adj = model_of(edges)
    assert adj.keys() == vertices
    check_graph(g, adj)
    assert snapshot(g.copy()) == snapshot(g)


@pytest.mark.parametrize("name", sorted(REFUSED))
def test_original_with_comments_is_refused(name):
    path = DATA_DIR / name
    reason = plain_python_read(path)
    assert isinstance(reason, str)
    with pytest.raises(OSError) as info:
        Graph.from_file(str(path))
    assert type(info.value) is OSError and info.value.args == ("IO-Error",)
    assert info.value.__notes__ == [f"while reading {str(path)!r}: {reason}"]


def test_plain_and_gzip_facebook_agree():
    plain = Graph.from_file(str(DATA_DIR / "facebook_combined.txt"))
    packed = Graph.from_file(str(DATA_DIR / "facebook_combined.txt.gz"))
    assert plain.num_edges() == packed.num_edges() == 88_234
    assert set(plain.edges()) == set(packed.edges())


def test_published_counts():
    # The data's README counts vertices, and edges without loops.
    g = Graph.from_file(str(DATA_DIR / "soc-Slashdot0902.edges.gz"))
    loops = g.remove_loops()
    assert (g.num_vertices(), g.num_edges()) == (82_168, 504_230)
    assert loops > 0


@pytest.mark.parametrize("name", data_set_params(n for n in DATA_FILES if n not in REFUSED))
def test_traversals_on_data_set(name):
    # Real degree spreads and diameters (a road network 617 steps across)
    # through components, balls, neighbourhoods and induced subgraphs.
    vertices, edges = plain_python_read(DATA_DIR / name)
    adj = model_of(edges)
    g = Graph.from_file(str(DATA_DIR / name))
    parts = sorted(map(frozenset, g.components()), key=min)
    assert parts == model_components(adj)
    assert g.r_neighbours(min(parts[0]), len(vertices)) == parts[0]
    rng = random.Random(name)
    ordered = sorted(vertices)
    for u in rng.sample(ordered, 20):
        assert g.r_neighbours(u, 2) == model_ball(adj, u, 2)
        assert g.neighbours(u) == adj[u]
    c = set(rng.sample(ordered, len(ordered) // 5))
    closed = set().union(*(adj[x] for x in c))
    assert g.closed_neighbourhood(c) == closed
    assert g.neighbourhood(c) == closed - c
    sub = g.subgraph(c)
    assert sub.vertices() == c
    assert set(sub.edges()) == {(a, b) for a, b in edges if a in c and b in c}

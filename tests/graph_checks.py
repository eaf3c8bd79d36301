"""What the tests hold graphs to: the range of vertex ids, the rules that tie
a graph's answers together whatever was done to it, snapshots that tell
whether a call changed a graph, and traversals worked out on a model.

Child interpreters started by the tests import this too (run_python puts
this folder on their path), so it needs nothing but the standard library
and the graph's public methods. Every assertion carries its own message:
pytest rewrites the assertions here for its reports, a child does not.
"""

from collections import Counter, deque, namedtuple

# Vertex ids are the unsigned 32-bit integers.
MAX_ID = 4294967295
ID_END = MAX_ID + 1

# What an internal fault says when a vertex that must exist does not.
ABSENT = "Vertex not contained in graph"


def is_fault(error):
    """Whether `error` is the module's internal fault, which is no Exception."""
    return ((type(error).__module__, type(error).__name__) == ("pyo3_runtime", "PanicException")
            and not isinstance(error, Exception))


def fault_of(action, message=ABSENT):
    """The internal fault that action() must raise, with `message` as its one
    argument (any single argument when message is None)."""
    try:
        action()
    except BaseException as error:  # the fault derives from BaseException only
        if not is_fault(error):
            raise
        assert len(error.args) == 1, f"fault arguments {error.args!r}"
        assert message is None or error.args[0] == message, f"fault {error.args[0]!r}, not {message!r}"
        return error
    raise AssertionError(f"no fault; expected {message!r}")


def edge_set(g):
    """g.edges() as a set, checking each pair is ordered and listed once."""
    pairs = g.edges()
    assert type(pairs) is list, f"edges() returned a {type(pairs).__name__}"
    assert all(a <= b for a, b in pairs), f"an edge is listed with its larger end first: {pairs}"
    result = set(pairs)
    assert len(result) == len(pairs), "an edge is listed twice"
    return result


def check_graph(g, model=None):
    """Asserts every rule that ties the graph's answers together; given a
    model (a dict from each vertex to the set of its neighbours, a loop
    being the vertex in its own set), also that the graph is the model.

    Each vertex's neighbours are asked for once, so this stays linear in
    the size of the graph and serves large graphs too."""
    n, m = g.num_vertices(), g.num_edges()
    vertices = g.vertices()
    assert type(n) is int and type(m) is int and type(vertices) is set, (
        f"num_vertices() {n!r}, num_edges() {m!r}, vertices() a {type(vertices).__name__}"
    )
    assert len(vertices) == n, f"vertices() has {len(vertices)} members, num_vertices() says {n}"
    assert repr(g) == str(g) == f"Graph (n={n},m={m})]", f"repr {repr(g)!r}, str {str(g)!r} for n={n}, m={m}"
    if model is not None:
        assert vertices == model.keys(), f"vertices {sorted(vertices)}, the model has {sorted(model)}"
    edges = edge_set(g)
    assert len(edges) == m, f"edges() lists {len(edges)} edges, num_edges() says {m}"
    # Degrees counted from the edge list, a loop twice. A vertex whose
    # neighbours match this count in number, and each of which is one of its
    # listed edges, has exactly the ends of its edges as neighbours: so the
    # neighbour sets are symmetric and agree with edges().
    counted = Counter()
    for a, b in edges:
        counted[a] += 1
        counted[b] += 1
    assert counted.keys() <= vertices, f"edges end at non-vertices {sorted(counted.keys() - vertices)}"
    for v in vertices:
        assert g.contains(v), f"vertices() lists {v} but contains({v}) is False"
        nbrs = g.neighbours(v)
        if model is not None:
            assert nbrs == model[v], f"neighbours({v}) is {sorted(nbrs)}, the model has {sorted(model[v])}"
        degree = g.degree(v)
        assert degree == len(nbrs) + (v in nbrs) == counted[v], (
            f"degree({v}) is {degree}, neighbours({v}) is {sorted(nbrs)}, its edges count {counted[v]}"
        )
        for w in nbrs:
            assert (min(v, w), max(v, w)) in edges, f"{w} is a neighbour of {v} but edges() lacks their edge"
            assert g.adjacent(v, w) and g.adjacent(w, v), f"{w} is a neighbour of {v} but not adjacent both ways"


Snapshot = namedtuple("Snapshot", "num_vertices num_edges vertices edges degrees")


def snapshot(g):
    """What the graph says about itself, to compare before and after a call
    that must change nothing, or between a graph and its copy."""
    vertices = g.vertices()
    return Snapshot(g.num_vertices(), g.num_edges(), vertices, edge_set(g), {v: g.degree(v) for v in vertices})


# --- a model: a dict from each vertex to the set of its neighbours ----------

def model_of(edges, isolated=()):
    """The model of the graph with these edges and these further vertices."""
    adj = {}
    for u, v in edges:
        adj.setdefault(u, set()).add(v)
        adj.setdefault(v, set()).add(u)
    for v in isolated:
        adj.setdefault(v, set())
    return adj


def copy_model(model):
    """A model that later edits of `model` leave alone."""
    return {v: set(nbrs) for v, nbrs in model.items()}


def model_ball(adj, u, r):
    """The vertices at most r steps from u, found breadth first."""
    ball, frontier = {u}, deque([(u, 0)])
    while frontier:
        v, d = frontier.popleft()
        if d == r:
            continue
        for w in adj[v]:
            if w not in ball:
                ball.add(w)
                frontier.append((w, d + 1))
    return ball


def model_components(adj):
    """The components as frozensets, in order of their smallest vertex."""
    seen, parts = set(), []
    for seed in adj:
        if seed in seen:
            continue
        part, todo = {seed}, [seed]
        while todo:
            for w in adj[todo.pop()]:
                if w not in part:
                    part.add(w)
                    todo.append(w)
        seen |= part
        parts.append(frozenset(part))
    return sorted(parts, key=min)


def assert_same_graph(got, expected):
    """Asserts that two graphs have the same vertices and the same edges."""
    got_vertices, expected_vertices = got.vertices(), expected.vertices()
    assert got_vertices == expected_vertices, (
        f"vertices differ: {sorted(got_vertices - expected_vertices)[:10]} extra, "
        f"{sorted(expected_vertices - got_vertices)[:10]} missing"
    )
    got_edges, expected_edges = edge_set(got), edge_set(expected)
    assert got_edges == expected_edges, (
        f"edges differ: {sorted(got_edges - expected_edges)[:10]} extra, "
        f"{sorted(expected_edges - got_edges)[:10]} missing"
    )
    assert got.num_edges() == expected.num_edges(), f"num_edges() {got.num_edges()}, not {expected.num_edges()}"

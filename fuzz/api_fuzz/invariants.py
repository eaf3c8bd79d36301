"""The whole-graph check made after every step: the graph's own answers
must agree with each other, and with the model."""


def own_answers_mismatch(g):
    """What is inconsistent among the graph's own answers, or None."""
    n, m = g.num_vertices(), g.num_edges()
    vertices = g.vertices()
    if type(n) is not int or type(m) is not int or type(vertices) is not set:
        return f"num_vertices() {n!r}, num_edges() {m!r}, vertices() {type(vertices).__name__}"
    if len(vertices) != n:
        return f"vertices() has {len(vertices)} members, num_vertices() says {n}"
    edges = g.edges()
    if len(edges) != m or len(set(edges)) != m:
        return f"edges() lists {len(edges)} edges ({len(set(edges))} distinct), num_edges() says {m}"
    degrees = {u: g.degree(u) for u in vertices}
    if sum(degrees.values()) != 2 * m:
        return f"the degrees add up to {sum(degrees.values())}, twice num_edges() is {2 * m}"
    neighbours = {u: g.neighbours(u) for u in vertices}
    for u, nbrs in neighbours.items():
        if not g.contains(u):
            return f"vertices() lists {u} but contains({u}) is False"
        if degrees[u] != len(nbrs) + (u in nbrs):
            return f"degree({u}) is {degrees[u]} but neighbours({u}) is {sorted(nbrs)}"
        for w in nbrs:
            if w not in neighbours or u not in neighbours[w] or not g.adjacent(w, u):
                return f"{w} is a neighbour of {u} but not the other way round"
    return None


def graph_mismatch(g, model):
    """What differs between the graph and the model, or None."""
    wrong = own_answers_mismatch(g)
    if wrong is not None:
        return wrong
    if g.vertices() != model.vertices():
        return f"vertices {sorted(g.vertices())}, the model has {sorted(model.vertices())}"
    if set(g.edges()) != model.edges():
        return f"edges {sorted(g.edges())}, the model has {sorted(model.edges())}"
    for text in (repr(g), str(g)):
        if text != model.representation():
            return f"repr {text!r}, expected {model.representation()!r}"
    return None

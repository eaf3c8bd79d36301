"""A plain Python graph, a dict of sets, that says what every Graph method
should do. Faults the module raises as PanicException are Fault here."""

NOT_CONTAINED = "Vertex not contained in graph"
MISSING_VALUE = "a required value is missing"


class Fault(Exception):
    """The module must raise PanicException with this message."""


class GraphModel:
    def __init__(self, adjacency=None):
        self.adj = {u: set(nbrs) for u, nbrs in (adjacency or {}).items()}

    def copy(self):
        return GraphModel(self.adj)

    # --- queries -----------------------------------------------------------

    def num_vertices(self):
        return len(self.adj)

    def num_edges(self):
        return sum(1 for u, nbrs in self.adj.items() for w in nbrs if u <= w)

    def adjacent(self, u, v):
        return v in self.adj.get(u, ())

    def degree(self, u):
        nbrs = self.adj.get(u, set())
        return len(nbrs) + (1 if u in nbrs else 0)

    def contains(self, u):
        return u in self.adj

    def vertices(self):
        return set(self.adj)

    def edges(self):
        return {(u, w) for u, nbrs in self.adj.items() for w in nbrs if u <= w}

    def neighbours(self, u):
        if u not in self.adj:
            raise Fault(NOT_CONTAINED)
        return set(self.adj[u])

    def closed_neighbourhood(self, c):
        result = set()
        for x in c:
            result |= self.neighbours(x)
        return result

    def neighbourhood(self, c):
        return self.closed_neighbourhood(c) - set(c)

    def r_neighbours(self, u, r):
        ball = {u}
        frontier = {u}
        for _ in range(r):
            if not frontier:
                break
            grown = ball | self.closed_neighbourhood(frontier)
            frontier = grown - ball
            ball = grown
        return ball

    def components(self):
        unvisited = set(self.adj)
        parts = []
        while unvisited:
            part = self.r_neighbours(next(iter(unvisited)), len(self.adj))
            unvisited -= part
            parts.append(frozenset(part))
        return set(parts)

    def subgraph(self, vertices):
        for x in vertices:
            self.neighbours(x)
        chosen = set(vertices)
        return GraphModel({x: self.adj[x] & chosen for x in chosen})

    def representation(self):
        return f"Graph (n={self.num_vertices()},m={self.num_edges()})]"

    # --- changes -----------------------------------------------------------

    def add_vertex(self, u):
        self.adj.setdefault(u, set())

    def add_edge(self, u, v):
        self.add_vertex(u)
        self.add_vertex(v)
        if v in self.adj[u]:
            return False
        self.adj[u].add(v)
        self.adj[v].add(u)
        return True

    def remove_edge(self, u, v):
        if not self.adjacent(u, v):
            return False
        self.adj[u].discard(v)
        self.adj[v].discard(u)
        return True

    def remove_vertex(self, u):
        if u not in self.adj:
            return False
        for w in self.adj.pop(u):
            if w != u:
                self.adj[w].discard(u)
        return True

    def remove_loops(self):
        loops = [u for u, nbrs in self.adj.items() if u in nbrs]
        for u in loops:
            self.adj[u].discard(u)
        return len(loops)

    def remove_isolates(self):
        isolated = [u for u in self.adj if self.degree(u) == 0]
        for u in isolated:
            del self.adj[u]
        return len(isolated)

    def contract_into(self, center, vertices):
        merged = set(vertices) - {center}
        outside = self.neighbourhood(merged) - {center}  # faults before any change
        for w in outside:
            self.add_edge(center, w)
        for v in merged:
            self.remove_vertex(v)

    def contract_center_allowed(self, center, vertices):
        """Whether `center`, as returned by contract, is a possible center."""
        return center in vertices and all(v in self.adj for v in vertices if v != center)

    def contract_must_fault(self, vertices):
        """The fault message contract must raise whatever center it takes, or None."""
        if not vertices:
            return MISSING_VALUE
        absent = [v for v in vertices if v not in self.adj]
        return NOT_CONTAINED if len(absent) >= 2 else None

    def contract_may_fault(self, vertices):
        return any(v not in self.adj for v in vertices)

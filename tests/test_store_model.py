"""Random sequences of store operations checked against a plain Python model.

The model is a dict from vertex to the set of its neighbours (a loop is the
vertex in its own set). After every step the graph must agree with the model
and keep every consistency rule of the store.
"""

import random

import pytest
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st
from hypothesis.stateful import (
    Bundle,
    RuleBasedStateMachine,
    consumes,
    initialize,
    invariant,
    multiple,
    rule,
)

from quiverlane import Graph

from graph_checks import ID_END, MAX_ID, check_graph, copy_model, fault_of

# A small pool makes collisions of edits likely; the extremes include the
# id the hash tables use for their free slots.
EXTREMES = [0, MAX_ID, MAX_ID - 1, 2**31, 2**31 - 1]
vertex_ids = st.one_of(st.integers(0, 11), st.sampled_from(EXTREMES))
wide_ids = st.one_of(vertex_ids, st.integers(0, MAX_ID))


def model_edges(model):
    return {(min(u, v), max(u, v)) for u, nbrs in model.items() for v in nbrs}


def model_degree(model, v):
    nbrs = model.get(v, set())
    return len(nbrs - {v}) + (2 if v in nbrs else 0)


class StoreMachine(RuleBasedStateMachine):
    copies = Bundle("copies")

    @initialize()
    def start(self):
        self.g = Graph()
        self.model = {}

    # --- edits -------------------------------------------------------------

    @rule(v=wide_ids)
    def add_vertex(self, v):
        assert self.g.add_vertex(v) is None
        self.model.setdefault(v, set())

    @rule(u=vertex_ids, v=vertex_ids)
    def add_edge(self, u, v):
        new = v not in self.model.get(u, set())
        assert self.g.add_edge(u, v) is new
        self.model.setdefault(u, set()).add(v)
        self.model.setdefault(v, set()).add(u)

    @rule(hub=vertex_ids, leaves=st.lists(wide_ids, min_size=3, max_size=30))
    def add_star(self, hub, leaves):
        # Enough neighbours at once to move a set from inline to a table.
        for leaf in leaves:
            self.add_edge(hub, leaf)

    @rule(u=vertex_ids, v=vertex_ids)
    def remove_edge(self, u, v):
        present = v in self.model.get(u, set())
        assert self.g.remove_edge(u, v) is present
        if present:
            self.model[u].discard(v)
            self.model[v].discard(u)

    @rule(data=st.data())
    def remove_existing_edge(self, data):
        edges = sorted(model_edges(self.model))
        if edges:
            a, b = data.draw(st.sampled_from(edges))
            if data.draw(st.booleans()):
                a, b = b, a
            self.remove_edge(a, b)

    @rule(v=wide_ids)
    def remove_vertex(self, v):
        present = v in self.model
        assert self.g.remove_vertex(v) is present
        if present:
            for w in self.model.pop(v):
                if w != v:
                    self.model[w].discard(v)

    @rule(data=st.data())
    def remove_existing_vertex(self, data):
        if self.model:
            self.remove_vertex(data.draw(st.sampled_from(sorted(self.model))))

    @rule()
    def remove_loops(self):
        looped = [v for v, nbrs in self.model.items() if v in nbrs]
        assert self.g.remove_loops() == len(looped)
        for v in looped:
            self.model[v].discard(v)

    @rule()
    def remove_isolates(self):
        isolated = [v for v in self.model if model_degree(self.model, v) == 0]
        assert self.g.remove_isolates() == len(isolated)
        for v in isolated:
            del self.model[v]

    # --- copies --------------------------------------------------------------

    @rule(target=copies)
    def take_copy(self):
        c = self.g.copy()
        assert c is not self.g
        check_graph(c, self.model)
        return multiple((c, copy_model(self.model)))

    @rule(kept=copies)
    def copy_unaffected_by_later_edits(self, kept):
        c, expected = kept
        check_graph(c, expected)

    @rule(kept=consumes(copies))
    def continue_on_copy(self, kept):
        # Carry on editing the copy; the old graph is dropped.
        c, expected = kept
        self.g, self.model = c, expected

    @rule()
    def replace_with_own_copy(self):
        self.g = self.g.copy()

    # --- queries -------------------------------------------------------------

    @rule(u=wide_ids, v=wide_ids)
    def query(self, u, v):
        assert self.g.contains(u) is (u in self.model)
        assert self.g.adjacent(u, v) is (v in self.model.get(u, set()))
        assert self.g.degree(u) == model_degree(self.model, u)
        if u in self.model:
            assert self.g.neighbours(u) == self.model[u]
        else:
            fault_of(lambda: self.g.neighbours(u))

    @invariant()
    def graph_matches_model(self):
        check_graph(self.g, self.model)


StoreMachine.TestCase.settings = settings(
    max_examples=60,
    stateful_step_count=40,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow],
)
TestStoreModel = StoreMachine.TestCase


# --- large random graphs, grown and shrunk ----------------------------------

def random_vertex(rng, hubs):
    r = rng.random()
    if r < 0.3:
        return rng.choice(hubs)
    if r < 0.35:
        return rng.choice(EXTREMES)
    return rng.randrange(ID_END) if r < 0.7 else rng.randrange(3000)


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_large_random_graph_grows_and_shrinks(seed):
    rng = random.Random(seed)
    hubs = [rng.randrange(ID_END) for _ in range(5)] + [MAX_ID, 0]
    g, model = Graph(), {}

    def add(u, v):
        assert g.add_edge(u, v) is (v not in model.get(u, set()))
        model.setdefault(u, set()).add(v)
        model.setdefault(v, set()).add(u)

    for _ in range(20000):
        add(random_vertex(rng, hubs), random_vertex(rng, hubs))
    check_graph(g, model)
    assert max(len(nbrs) for nbrs in model.values()) > 1000
    c, at_copy = g.copy(), copy_model(model)

    # Shrink every neighbour set back down to a few members, then empty some.
    for v in sorted(model, key=lambda v: -len(model[v]))[:200]:
        for w in sorted(model[v])[2:]:
            assert g.remove_edge(w, v) is True
            model[v].discard(w)
            model[w].discard(v)
    check_graph(g, model)
    for v in list(model)[::3]:
        assert g.remove_vertex(v) is True
        for w in model.pop(v):
            if w != v:
                model[w].discard(v)
    check_graph(g, model)
    # Regrow on the same (never shrunk) tables.
    for _ in range(5000):
        add(random_vertex(rng, hubs), random_vertex(rng, hubs))
    check_graph(g, model)
    isolated = [v for v in model if model_degree(model, v) == 0]
    assert g.remove_isolates() == len(isolated)
    for v in isolated:
        del model[v]
    check_graph(g, model)
    # The copy taken before all of this is untouched.
    check_graph(c, at_copy)


def test_remove_every_vertex_of_large_graph():
    rng = random.Random(7)
    g = Graph()
    vertices = set()
    for _ in range(20000):
        u, v = rng.randrange(2000), rng.randrange(2000)
        g.add_edge(u, v)
        vertices |= {u, v}
    for v in sorted(vertices, key=lambda _: rng.random()):
        assert g.remove_vertex(v) is True
    assert g.num_vertices() == 0
    assert g.num_edges() == 0
    assert g.edges() == []
    # Tables kept from before still work.
    g.add_edge(MAX_ID, 0)
    assert g.edges() == [(0, MAX_ID)]

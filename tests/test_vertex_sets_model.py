"""The vertex-set methods against a plain Python model (a dict of sets), on
random graphs and random vertex sets: results compared order-free, faults
compared by message, and the graph compared after every call, failed or not."""

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, rule

from quiverlane import Graph

from graph_checks import ABSENT, MAX_ID, check_graph, copy_model, is_fault

# A few small ids collide often enough to make dense graphs; the extremes
# exercise the ends of the id range. OUTSIDE ids are never added.
INSIDE = list(range(8)) + [2**31, MAX_ID]
OUTSIDE = [100, MAX_ID - 1]

inside = st.sampled_from(INSIDE)
anywhere = st.sampled_from(INSIDE + OUTSIDE)
vertex_sets = st.sets(anywhere, max_size=6) | st.sets(inside, max_size=6)
radii = st.integers(0, 4) | st.just(MAX_ID)

SETTINGS = settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])


class Fault(Exception):
    """The model's internal fault, compared by message with the real one."""


# --- the model -------------------------------------------------------------

def model_lookup(adj, x):
    if x not in adj:
        raise Fault(ABSENT)
    return adj[x]


def model_neighbourhood(adj, c):
    found = set()
    for x in c:
        found |= model_lookup(adj, x)
    return found - c


def model_closed_neighbourhood(adj, c):
    found = set()
    for x in c:
        found |= model_lookup(adj, x)
    return found


def model_r_neighbours(adj, u, r):
    ball = {u}
    for _ in range(min(r, len(adj) + 1)):
        ball |= model_closed_neighbourhood(adj, ball)
    return ball


def model_add_edge(adj, u, v):
    adj.setdefault(u, set()).add(v)
    adj.setdefault(v, set()).add(u)


def model_remove_vertex(adj, v):
    for w in adj.pop(v, set()):
        if w != v:
            adj[w].discard(v)


def model_contract_into(adj, center, vertices):
    merged = vertices - {center}
    outside = model_neighbourhood(adj, merged) - {center}
    for w in outside:
        model_add_edge(adj, center, w)
    for v in merged:
        model_remove_vertex(adj, v)


def model_subgraph(adj, vertices):
    for x in vertices:
        model_lookup(adj, x)
    return {x: adj[x] & vertices for x in vertices}


def model_components(adj):
    unseen = set(adj)
    parts = []
    while unseen:
        part = {unseen.pop()}
        grown = model_neighbourhood(adj, part)
        while grown:
            part |= grown
            grown = model_neighbourhood(adj, part)
        unseen -= part
        parts.append(frozenset(part))
    return parts


# --- running both ---------------------------------------------------------

def outcome(action):
    """("ok", value) or ("fault", message), for the real call or the model."""
    try:
        return "ok", action()
    except Fault as error:
        return "fault", error.args[0]
    except BaseException as error:
        if not is_fault(error):
            raise
        assert len(error.args) == 1
        return "fault", error.args[0]


def build(edges, isolated):
    g = Graph()
    adj = {}
    for v in isolated:
        g.add_vertex(v)
        adj.setdefault(v, set())
    for u, v in edges:
        g.add_edge(u, v)
        model_add_edge(adj, u, v)
    return g, adj


def check_contract(g, adj, vertices):
    """contract picks its own center; check it against the model's rules."""
    kind, value = outcome(lambda: g.contract(vertices))
    absent = {v for v in vertices if v not in adj}
    if kind == "fault":
        # Empty: the missing-value fault; otherwise an absent member other
        # than the center (which we cannot see, so any absent member will do).
        if vertices:
            assert value == ABSENT and absent
        else:
            assert value != ABSENT
        return  # the model stays as it was: the caller checks the graph did too
    assert value in vertices
    assert absent <= {value}, "an absent member that is not the center must fault"
    model_contract_into(adj, value, vertices)


def check_operation(g, adj, operation, vertices, u, r):
    """Runs one operation on both sides; on success the model follows."""
    if operation == "contract":
        check_contract(g, adj, vertices)
    elif operation == "contract_into":
        work = copy_model(adj)
        expected = outcome(lambda: model_contract_into(work, u, vertices))
        assert outcome(lambda: g.contract_into(u, vertices)) == expected
        if expected[0] == "ok":
            adj.clear()
            adj.update(work)
    elif operation == "subgraph":
        kind, value = outcome(lambda: g.subgraph(vertices))
        expected_kind, expected = outcome(lambda: model_subgraph(adj, vertices))
        assert kind == expected_kind
        if kind == "ok":
            assert type(value) is Graph
            check_graph(value, expected)
        else:
            assert value == expected
    else:
        real, model = {
            "neighbourhood": (lambda: g.neighbourhood(vertices), lambda: model_neighbourhood(adj, vertices)),
            "closed_neighbourhood": (lambda: g.closed_neighbourhood(vertices),
                                     lambda: model_closed_neighbourhood(adj, vertices)),
            "r_neighbours": (lambda: g.r_neighbours(u, r), lambda: model_r_neighbours(adj, u, r)),
            "components": (lambda: sorted(map(frozenset, g.components()), key=sorted),
                           lambda: sorted(model_components(adj), key=sorted)),
        }[operation]
        assert outcome(real) == outcome(model)
    # After a fault the model was left as it was, so this also checks that
    # a failed call changed nothing.
    check_graph(g, adj)


OPERATIONS = ["neighbourhood", "closed_neighbourhood", "r_neighbours", "contract",
              "contract_into", "subgraph", "components"]

edge_lists = st.lists(st.tuples(inside, inside), max_size=16)
isolated_lists = st.lists(inside, max_size=3)


@pytest.mark.parametrize("operation", OPERATIONS)
@SETTINGS
@given(edges=edge_lists, isolated=isolated_lists, vertices=vertex_sets, u=anywhere, r=radii)
def test_operation_matches_model(operation, edges, isolated, vertices, u, r):
    g, adj = build(edges, isolated)
    check_operation(g, adj, operation, vertices, u, r)


class EditingSequence(RuleBasedStateMachine):
    """Edits interleaved with the seven operations, so that contractions act
    on graphs shaped by earlier contractions and the model never drifts."""

    @initialize(edges=edge_lists, isolated=isolated_lists)
    def start(self, edges, isolated):
        self.g, self.adj = build(edges, isolated)

    @rule(u=inside, v=inside)
    def add_edge(self, u, v):
        self.g.add_edge(u, v)
        model_add_edge(self.adj, u, v)

    @rule(v=inside)
    def remove_vertex(self, v):
        self.g.remove_vertex(v)
        model_remove_vertex(self.adj, v)

    @rule(operation=st.sampled_from(OPERATIONS), vertices=vertex_sets, u=anywhere, r=radii)
    def operate(self, operation, vertices, u, r):
        check_operation(self.g, self.adj, operation, vertices, u, r)

    @invariant()
    def same_graph(self):
        if hasattr(self, "g"):
            check_graph(self.g, self.adj)


TestEditingSequence = EditingSequence.TestCase
TestEditingSequence.settings = settings(max_examples=40, stateful_step_count=25, deadline=None)

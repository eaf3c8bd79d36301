"""The methods of Graph: parameters, the access each takes, and what each
must return or raise, worked out on the model. Names and parameters come
from the stubs, through the list the tests read (tests/method_surface.py)."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests"))

import method_surface as surface  # noqa: E402
from api_fuzz import outcomes
from api_fuzz.edge_files import ReadFault, Refused, expected_read
from api_fuzz.model import NOT_CONTAINED, Fault
from api_fuzz.outcomes import Raises, RaisesMatching, Returns

SHARED, EXCLUSIVE, NO_ACCESS = "shared", "exclusive", "no access"

# What the generator makes for each parameter annotation of the stubs.
PARAM_KINDS = {surface.VERTEX: "vertex", surface.VERTEX_SET: "set", surface.FILENAME: "filename"}


def refused(held, wanted):
    """Whether `wanted` access to a graph is refused while `held` is in progress."""
    if NO_ACCESS in (held, wanted):
        return False
    return EXCLUSIVE in (held, wanted)


class Method:
    def __init__(self, name, params, access, expect):
        """`params`: the stub's (name, annotation) pairs."""
        self.name = name
        self.params = tuple(p.name for p in params)
        self.kinds = tuple(PARAM_KINDS[p.annotation] for p in params)
        self.access = access
        self.static = access == NO_ACCESS
        self._expect = expect

    @property
    def label(self):
        return f"PyGraph.{self.name}()"

    def expect(self, model, args, actual, ctx):
        """The expectation for converted `args`; changes the model as the
        call must change the graph. `actual` is only read where the module
        may choose (the center of contract)."""
        try:
            return self._expect(model, args, actual, ctx)
        except Fault as fault:
            return Raises(ctx.classes.panic, (str(fault),))


# --- result forms -------------------------------------------------------------------


def plain(compute):
    return lambda model, args, actual, ctx: Returns(compute(model, *args))


def vertex_set(compute):
    def expect(model, args, actual, ctx):
        result = compute(model, *args)
        return Returns(result, outcomes.vertex_set(result))

    return expect


def new_graph(compute):
    def expect(model, args, actual, ctx):
        result = compute(model, *args)
        return Returns(result, outcomes.new_graph(result, ctx.graph))

    return expect


def components(model, args, actual, ctx):
    parts = model.components()
    return Returns(parts, outcomes.partition(parts))


def edges(model, args, actual, ctx):
    pairs = model.edges()
    return Returns(pairs, outcomes.edge_list(pairs))


def contract(model, args, actual, ctx):
    (vertices,) = args
    must = model.contract_must_fault(vertices)
    if must is not None:
        raise Fault(must)
    center = actual.value
    if actual.error is not None and model.contract_may_fault(vertices):
        # The center it took was present, and an absent member faulted.
        raise Fault(NOT_CONTAINED)
    if type(center) is int and model.contract_center_allowed(center, vertices):
        model.contract_into(center, vertices)
        return Returns(center)

    def wrong(value):
        return f"returned {value!r}, not a member of {vertices} whose fellow members are all vertices"

    return Returns("a member of the set", wrong)


def contract_into(model, args, actual, ctx):
    model.contract_into(*args)
    return Returns(None)


def from_file(model, args, actual, ctx):
    read = expected_read(args[0])
    if isinstance(read, Refused):
        return Raises(OSError, ("IO-Error",))
    if isinstance(read, ReadFault):
        return RaisesMatching(
            ctx.classes.panic,
            lambda found: len(found) == 1 and isinstance(found[0], str) and read.text in found[0],
            f"a message containing {read.text!r}",
        )
    return Returns(read, outcomes.new_graph(read))


def representation(model, args, actual, ctx):
    return Returns(model.representation())


# The access each method takes and its expectation, by name.
MODELS = {
    "from_file": (NO_ACCESS, from_file),
    "num_vertices": (SHARED, plain(lambda m: m.num_vertices())),
    "num_edges": (SHARED, plain(lambda m: m.num_edges())),
    "adjacent": (SHARED, plain(lambda m, u, v: m.adjacent(u, v))),
    "degree": (SHARED, plain(lambda m, u: m.degree(u))),
    "contains": (EXCLUSIVE, plain(lambda m, u: m.contains(u))),
    "vertices": (SHARED, vertex_set(lambda m: m.vertices())),
    "edges": (SHARED, edges),
    "neighbours": (SHARED, vertex_set(lambda m, u: m.neighbours(u))),
    "neighbourhood": (SHARED, vertex_set(lambda m, c: m.neighbourhood(c))),
    "closed_neighbourhood": (SHARED, vertex_set(lambda m, c: m.closed_neighbourhood(c))),
    "r_neighbours": (SHARED, vertex_set(lambda m, u, r: m.r_neighbours(u, r))),
    "add_vertex": (EXCLUSIVE, plain(lambda m, u: m.add_vertex(u))),
    "add_edge": (EXCLUSIVE, plain(lambda m, u, v: m.add_edge(u, v))),
    "remove_edge": (EXCLUSIVE, plain(lambda m, u, v: m.remove_edge(u, v))),
    "remove_vertex": (EXCLUSIVE, plain(lambda m, u: m.remove_vertex(u))),
    "remove_loops": (EXCLUSIVE, plain(lambda m: m.remove_loops())),
    "remove_isolates": (EXCLUSIVE, plain(lambda m: m.remove_isolates())),
    "contract": (EXCLUSIVE, contract),
    "contract_into": (EXCLUSIVE, contract_into),
    "copy": (SHARED, new_graph(lambda m: m.copy())),
    "subgraph": (SHARED, new_graph(lambda m, vs: m.subgraph(vs))),
    "components": (SHARED, components),
}

# A method without a model would go unfuzzed: that stops the fuzzer at once.
if set(MODELS) != set(surface.NAMES):
    raise RuntimeError(
        "the fuzzer's models and the stubbed methods differ: "
        f"no model for {sorted(set(surface.NAMES) - set(MODELS))}, "
        f"no such method for {sorted(set(MODELS) - set(surface.NAMES))}"
    )

# In the order of the method table, which the random choices follow.
METHODS = {m.name: Method(m.name, m.params, *MODELS[m.name]) for m in surface.METHODS}

# repr() and str() take shared access like a query.
REPR = Method("__repr__", (), SHARED, representation)


class InnerCall:
    """A call that an __index__ method makes, with plain arguments."""

    def __init__(self, name, args=()):
        self.method = REPR if name == "repr" else METHODS[name]
        self.name = name
        self.args = args

    @property
    def access(self):
        return self.method.access

    def run(self, target):
        if self.name == "repr":
            return repr(target)
        return getattr(target, self.name)(*self.args)

    def expect(self, model, ctx):
        return self.method.expect(model, list(self.args), None, ctx)

    def __repr__(self):
        return f"{self.name}({', '.join(map(repr, self.args))})"

"""One fuzzing session: a few Graphs and their models, driven by random calls
from one seed. Every call's result or exception is checked against the
model, and after every step every graph is checked whole."""

import collections
import os
import random

from quiverlane import Graph

from api_fuzz.conversion import EXPECT, Failed
from api_fuzz.edge_files import write_case
from api_fuzz.generate import Generator
from api_fuzz.invariants import graph_mismatch
from api_fuzz.matching import expect_matching
from api_fuzz.methods import METHODS, refused
from api_fuzz.model import GraphModel
from api_fuzz.outcomes import Raises, Returns, capture

GRAPHS = 3

# How often each method is called, relative to the others: 1 unless named.
WEIGHTS = {
    "from_file": 3, "adjacent": 3, "degree": 3, "contains": 3, "neighbours": 4, "neighbourhood": 3,
    "closed_neighbourhood": 3, "r_neighbours": 3, "add_vertex": 4, "add_edge": 14, "remove_edge": 4,
    "remove_vertex": 4, "contract": 3, "contract_into": 3, "copy": 2, "subgraph": 3, "components": 2,
}


class FuzzFailure(Exception):
    """A call or a graph that disagrees with the model."""


class ExceptionClasses:
    """The module's own exception classes, met by provoking each once."""

    def __init__(self):
        g = Graph()

        class Asks:
            def __init__(self, call):
                self.call = call

            def __index__(self):
                return self.call()

        self.panic = type(capture(lambda: g.neighbours(0)).error)
        self.borrow = type(capture(lambda: g.contains(Asks(g.num_vertices))).error)
        self.borrow_mut = type(capture(lambda: g.degree(Asks(lambda: g.add_vertex(0)))).error)
        for cls, name, base in [(self.panic, "PanicException", BaseException),
                                (self.borrow, "PyBorrowError", RuntimeError),
                                (self.borrow_mut, "PyBorrowMutError", RuntimeError)]:
            if (cls.__module__, cls.__name__, cls.__bases__) != ("pyo3_runtime", name, (base,)):
                raise FuzzFailure(f"expected pyo3_runtime.{name}({base.__name__}), met {cls!r}")


class CallContext:
    """What conversion needs to know while working out one call."""

    def __init__(self, session, graph, access):
        self.graph = graph
        self.access = access
        self.session = session
        self.classes = session.classes
        self.reached = set()  # ids of the hostile arguments conversion must run
        self.problems = []

    def expect_inner(self, target, inner):
        if target is self.graph and refused(self.access, inner.access):
            cls = self.classes.borrow if inner.access == "shared" else self.classes.borrow_mut
            return Raises(cls, ())
        return inner.expect(self.session.model_of(target), self)


class Session:
    def __init__(self, seed, directory, classes, tally, log_size=25):
        self.rng = random.Random(seed)
        self.directory = directory
        self.classes = classes
        self.graphs = [Graph() for _ in range(GRAPHS)]
        self.models = {id(g): GraphModel() for g in self.graphs}
        self.current_graph = None
        self.generate = Generator(self.rng, self)
        self.log = collections.deque(maxlen=log_size)
        self.missing_file = os.path.join(directory, "missing")
        self.sample_file = os.path.join(directory, "sample")
        with open(self.sample_file, "w") as f:
            f.write("1 2\n2 3\n5 5\n")
        self.files_written = 0
        self.tally = tally  # outcomes seen, by kind, over all sessions

    def model_of(self, graph):
        return self.models[id(graph)]

    def write_edge_file(self):
        model = self.model_of(self.rng.choice(self.graphs))
        self.files_written += 1
        return write_case(self.rng, self.directory, self.files_written % 8, sorted(model.edges()))

    # --- steps ------------------------------------------------------------------

    def run(self, steps):
        for _ in range(steps):
            self.step()

    def step(self):
        slot = self.rng.randrange(GRAPHS)
        graph = self.graphs[slot]
        if self.rng.random() < 0.03:
            # The constructor ignores its arguments.
            self.replace(slot, Graph(*self.rng.choice([(), (1,), ("x", None)])), GraphModel(),
                         "Graph(...) anew")
        else:
            names = list(METHODS)
            name = self.rng.choices(names, weights=[WEIGHTS.get(n, 1) for n in names])[0]
            self.call(slot, graph, METHODS[name])
        for i, g in enumerate(self.graphs):
            wrong = graph_mismatch(g, self.model_of(g))
            if wrong is not None:
                self.fail(f"graph #{i} after the step: {wrong}")

    def replace(self, slot, graph, model, what):
        del self.models[id(self.graphs[slot])]
        self.graphs[slot] = graph
        self.models[id(graph)] = model
        self.log.append(f"#{slot} = {what}")

    def call(self, slot, graph, method):
        self.current_graph = graph
        self.generate.hostiles = []
        model = self.model_of(graph)
        values = [self.generate.argument(kind, model) for kind in method.kinds]
        positional, keywords = self.generate.call_form(method, values)
        on_class = method.static and self.rng.random() < 0.5
        target = Graph if on_class else graph
        shown = describe(f"{'Graph' if on_class else f'#{slot}'}.{method.name}", positional, keywords)
        self.log.append(shown)
        actual = capture(lambda: getattr(target, method.name)(*positional, **keywords))
        ctx = CallContext(self, None if method.static else graph, method.access)
        expected = self.expect(method, model, positional, keywords, actual, ctx)
        problems = self.problems(expected, actual, ctx)
        if problems:
            self.fail(f"{shown}: " + "; ".join(problems))
        self.log[-1] = f"{shown} {actual!r}"
        self.tally[outcome_kind(actual)] += 1
        self.tally["hostile arguments run"] += len(ctx.reached)
        if isinstance(expected, Returns) and type(actual.value) is Graph and self.rng.random() < 0.5:
            self.replace(self.rng.randrange(GRAPHS), actual.value, expected.expected,
                         f"the result of {method.name}")

    def problems(self, expected, actual, ctx):
        """Everything wrong with the call: its outcome, what its hostile
        arguments met inside, and whether each of them ran exactly when
        conversion had to reach it."""
        found = list(ctx.problems)
        wrong = expected.mismatch(actual)
        if wrong is not None:
            found.append(f"{wrong}; {actual!r}")
        for obj in self.generate.hostiles:
            runs = 1 if id(obj) in ctx.reached else 0
            if obj.calls != runs:
                found.append(f"{obj!r} ran {obj.calls} times, expected {runs}")
        return found

    def expect(self, method, model, positional, keywords, actual, ctx):
        matched = expect_matching(method, positional, keywords)
        if isinstance(matched, Failed):
            return matched.expectation
        args = []
        for kind, obj in zip(method.kinds, matched.value):
            converted = EXPECT[kind](obj, ctx)
            if isinstance(converted, Failed):
                return converted.expectation
            args.append(converted.value)
        return method.expect(model, args, actual, ctx)

    def fail(self, message):
        history = "\n".join(f"  {line}" for line in self.log)
        raise FuzzFailure(f"{message}\nlast steps, latest last:\n{history}")


def outcome_kind(outcome):
    if outcome.error is None:
        return "returned"
    return f"raised {type(outcome.error).__name__}"


def describe(function, positional, keywords):
    parts = [repr(p) for p in positional] + [f"**{{{k!r}: {v!r}}}" for k, v in keywords.items()]
    return f"{function}({', '.join(parts)})"


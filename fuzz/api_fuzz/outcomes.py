"""What a call did (Outcome) and what it should have done (expectations).

Every expectation has mismatch(outcome): None when the outcome is right,
otherwise a description of the difference.
"""

import sys

from quiverlane import Graph

from api_fuzz.invariants import graph_mismatch

# Python code's own interruptions are never taken for results.
NOT_OURS = (KeyboardInterrupt, SystemExit)


class Outcome:
    def __init__(self, value=None, error=None):
        self.value = value
        self.error = error

    def __repr__(self):
        if self.error is not None:
            return f"raised {type(self.error).__module__}.{type(self.error).__qualname__}{self.error.args!r}"
        return f"returned {self.value!r}"


def capture(call):
    try:
        return Outcome(value=call())
    except NOT_OURS:
        raise
    except BaseException as error:  # noqa: B036 - PanicException is a BaseException
        return Outcome(error=error)


class Raises:
    """An exception of exactly this class; with these args unless args is None."""

    returns = False

    def __init__(self, cls, args=None):
        self.cls = cls
        self.args = args

    def mismatch(self, outcome):
        error = outcome.error
        if error is None or type(error) is not self.cls:
            return f"expected {self}"
        if self.args is not None and error.args != self.args:
            return f"expected {self}"
        return None

    def __repr__(self):
        shown = "(any args)" if self.args is None else repr(self.args)
        return f"{self.cls.__module__}.{self.cls.__qualname__}{shown}"


class RaisesMatching(Raises):
    """An exception of exactly this class whose args satisfy a test."""

    def __init__(self, cls, test, description):
        super().__init__(cls)
        self.test = test
        self.description = description

    def mismatch(self, outcome):
        found = super().mismatch(outcome)
        if found is None and not self.test(outcome.error.args):
            return f"expected {self}"
        return found

    def __repr__(self):
        return f"{super().__repr__()} with {self.description}"


class RaisesSame:
    """Exactly this exception object, unchanged."""

    returns = False

    def __init__(self, error):
        self.error = error

    def mismatch(self, outcome):
        if outcome.error is not self.error:
            return f"expected the very exception {self.error!r}"
        return None

    def __repr__(self):
        return f"the same {self.error!r}"


class Returns:
    """A result: check(value) gives None or what is wrong with it."""

    returns = True

    def __init__(self, expected, check=None):
        self.expected = expected
        self.check = check or exactly(expected)

    def mismatch(self, outcome):
        if outcome.error is not None:
            return f"expected to return {self.expected!r}"
        return self.check(outcome.value)

    def __repr__(self):
        return f"return {self.expected!r}"


class OneOf:
    returns = False

    def __init__(self, *options):
        self.options = options

    def mismatch(self, outcome):
        if any(option.mismatch(outcome) is None for option in self.options):
            return None
        return f"expected one of {self.options!r}"

    def __repr__(self):
        return " or ".join(map(repr, self.options))


# --- result checks --------------------------------------------------------------


def exactly(expected):
    """Same type and value: True is not 1, and a set is not a frozenset."""

    def check(value):
        if type(value) is not type(expected) or value != expected:
            return f"returned {value!r}, expected {expected!r}"
        return None

    return check


def vertex_set(expected):
    def check(value):
        if type(value) is not set or any(type(v) is not int for v in value):
            return f"returned {value!r}, not a set of int"
        if value != expected:
            return f"returned {sorted(value)}, expected {sorted(expected)}"
        return None

    return check


def edge_list(expected):
    def check(value):
        if type(value) is not list:
            return f"returned {type(value).__name__}, not a list"
        for pair in value:
            if type(pair) is not tuple or len(pair) != 2 or any(type(v) is not int for v in pair):
                return f"edge {pair!r} is not a pair of int"
            if pair[0] > pair[1]:
                return f"edge {pair!r} lists the larger end first"
        if len(set(value)) != len(value):
            return f"an edge is listed twice in {value!r}"
        if set(value) != expected:
            return f"returned {sorted(value)}, expected {sorted(expected)}"
        return None

    return check


def partition(expected):
    def check(value):
        if type(value) is not list or any(type(part) is not set for part in value):
            return f"returned {value!r}, not a list of sets"
        found = {frozenset(part) for part in value}
        if len(found) != len(value) or found != expected:
            return f"returned {value!r}, expected the parts {sorted(map(sorted, expected))}"
        return None

    return check


def new_graph(model, source=None):
    """A new Graph holding exactly the model's graph."""

    def check(value):
        if type(value) is not Graph:
            return f"returned {value!r}, not a Graph"
        if value is source:
            return "returned the graph it was called on, not a new one"
        return graph_mismatch(value, model)

    return check


def resumed_fault_message(inner_message, reraised):
    """The message of a fault that came back through Python code.

    The module takes the inner message when the interpreter hands back the
    exception as it was raised (a str value); an exception instance, which
    the interpreter hands back from 3.12 on or after a re-raise, gives the
    fixed text."""
    if reraised or sys.version_info >= (3, 12):
        return "Unwrapped panic from Python code"
    return inner_message

"""Every way of calling a method gives the same outcome.

`g.degree(u)` written out goes through the class's method descriptor;
`getattr(g, "degree")(*args)` and `f = g.degree; f(u)` through a bound
method; `Graph.degree(g, u)` through the descriptor again. Those are
separate entries into the module, so each outcome is compared across them:
the result, or the exception's type and arguments, and the graph after it.
"""

import sys

import pytest

from quiverlane import Graph

import method_surface as surface
from conftest import build_graph
from graph_checks import MAX_ID, is_fault, snapshot


def written_out(name, count):
    """A function that calls g.<name> with `count` positional arguments
    spelled out in its code, as a caller would."""
    names = ", ".join(f"a{i}" for i in range(count))
    scope = {}
    exec(f"def call(g, {names}):\n    return g.{name}({names})\n", scope)
    return scope["call"]


def through_class(name, count):
    names = ", ".join(f"a{i}" for i in range(count))
    scope = {"Graph": Graph}
    exec(f"def call(g, {names}):\n    return Graph.{name}(g, {names})\n", scope)
    return scope["call"]


def through_bound(name, count):
    def call(g, *args):
        method = getattr(g, name)
        return method(*args)
    return call


FORMS = {"written out": written_out, "through the class": through_class, "bound": through_bound}


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class CallsBack:
    """An id whose conversion queries the graph being called."""

    def __init__(self, g):
        self.g = g

    def __index__(self):
        self.g.num_vertices()
        return 1


def outcome(form, name, args_of):
    g = build_graph([(1, 2), (2, 3), (3, 3)], [7])
    args = args_of(g)
    try:
        result = form(name, len(args))(g, *args)
        shown = ("result", sorted(result) if isinstance(result, set) else result)
        if isinstance(result, Graph):
            shown = ("graph", snapshot(result))
        if name == "contract":
            # Which member survives follows the graph's own hash seed; the
            # contraction itself does not.
            after = g.num_vertices(), g.num_edges()
            return ("result", result in args[0], after), len(args[0])
    except BaseException as error:  # faults are not Exceptions
        shown = ("raised", type(error).__name__, error.args, is_fault(error))
    return shown, snapshot(g)


ARGUMENTS = {
    surface.VERTEX: [lambda g: 1, lambda g: 2, lambda g: 99, lambda g: MAX_ID, lambda g: -1, lambda g: MAX_ID + 1,
                     lambda g: Index(3), lambda g: True, lambda g: "1", lambda g: 1.0, lambda g: None,
                     lambda g: CallsBack(g)],
    surface.VERTEX_SET: [lambda g: {1, 2}, lambda g: {99}, lambda g: set(), lambda g: [1], lambda g: {-1},
                         lambda g: {CallsBack(g)}],
}


def cases():
    for method in surface.WITH_PARAMETERS:
        kinds = [p.annotation for p in method.params]
        for first in ARGUMENTS[kinds[0]]:
            rest = [ARGUMENTS[kind][0] for kind in kinds[1:]]
            yield method.name, [first] + rest
        for later in range(1, len(kinds)):
            for value in ARGUMENTS[kinds[later]]:
                chosen = [ARGUMENTS[kind][0] for kind in kinds]
                chosen[later] = value
                yield method.name, chosen


CASES = list(cases())


@pytest.mark.parametrize("index", range(len(CASES)))
def test_every_form_has_the_same_outcome(index):
    name, makers = CASES[index]
    args_of = lambda g: [make(g) for make in makers]  # noqa: E731
    outcomes = {label: outcome(form, name, args_of) for label, form in FORMS.items()}
    assert outcomes["written out"] == outcomes["bound"]
    assert outcomes["through the class"] == outcomes["bound"]


@pytest.mark.parametrize("method", surface.WITH_PARAMETERS, ids=lambda m: m.name)
@pytest.mark.parametrize("surplus", [-1, 1])
def test_wrong_argument_counts_give_the_same_error(method, surplus):
    count = len(method.params) + surplus
    args = [1] * count
    messages = set()
    for form in FORMS.values():
        g = build_graph([(1, 2)])
        with pytest.raises(TypeError) as info:
            form(method.name, count)(g, *args)
        messages.add(info.value.args)
    assert len(messages) == 1


@pytest.mark.parametrize("method", surface.WITH_PARAMETERS, ids=lambda m: m.name)
@pytest.mark.parametrize("wrong_self", [None, 5, "g"])
def test_class_call_on_something_else_is_refused_by_the_interpreter(method, wrong_self):
    args = [1] * len(method.params)
    with pytest.raises(TypeError) as info:
        through_class(method.name, len(args))(wrong_self, *args)
    assert info.value.args == (
        f"descriptor '{method.name}' for 'Graph' objects doesn't apply to a '{type(wrong_self).__name__}' object",)


def test_class_call_without_self_is_refused_by_the_interpreter():
    with pytest.raises(TypeError) as info:
        Graph.degree()
    assert info.value.args == ("unbound method Graph.degree() needs an argument",)


def recursion_error_in(call, g):
    """The RecursionError met when `call` is made deeper and deeper."""

    def down():
        # The call needs one level more than the frame it is made from, so
        # it is the call that reaches the limit, where the call checks it.
        try:
            call(g, 1)
        except RecursionError as error:
            return error  # read once the stack has unwound: str() needs a level too
        return down()

    return str(down())


@pytest.mark.skipif(sys.version_info >= (3, 13),
                    reason="from 3.13 a call into C is checked against a limit of its own, so "
                           "the Python frames around it always reach the recursion limit first")
def test_recursion_limit_is_checked_by_every_form_alike():
    g = build_graph([(1, 2)])
    messages = {label: recursion_error_in(form("degree", 1), g) for label, form in FORMS.items()}
    assert messages["written out"] == messages["bound"]
    assert messages["through the class"] == messages["bound"]

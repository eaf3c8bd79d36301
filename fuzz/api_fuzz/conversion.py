"""Argument conversion as the module must do it: vertices, vertex sets and
file names, including arguments whose conversion runs Python code.

Each expect_* function returns Converted(value) or Failed(expectation). It
runs after the real call and reads what the hostile arguments recorded
during it; plain arguments are converted with the interpreter's own
operator.index, whose errors the module must pass on unchanged.
"""

import operator

from graph_checks import ID_END

from api_fuzz.outcomes import Raises, RaisesSame, capture, resumed_fault_message

LONG_MIN, LONG_END = -(2**63), 2**63


class Converted:
    def __init__(self, value):
        self.value = value


class Failed:
    def __init__(self, expectation):
        self.expectation = expectation


def vertex_from_int(value):
    if not LONG_MIN <= value < LONG_END:
        return Failed(Raises(OverflowError, ("Python int too large to convert to C long",)))
    if not 0 <= value < ID_END:
        return Failed(Raises(OverflowError, ()))
    return Converted(value)


def index_result(result):
    """What PyNumber_Index makes of the value an __index__ method returned."""
    if isinstance(result, int):  # a bool or other int subclass: deprecated, but its value counts
        return vertex_from_int(int(result))
    return Failed(Raises(TypeError, (f"__index__ returned non-int (type {type(result).__name__})",)))


def expect_vertex(obj, ctx):
    if isinstance(obj, Hostile):
        ctx.reached.add(id(obj))
        return obj.expect_vertex(ctx)
    try:
        # An int subclass converts by its value: PyNumber_Index does not ask
        # its __index__ either.
        value = operator.index(obj)
    except TypeError as error:
        return Failed(Raises(TypeError, error.args))
    return vertex_from_int(value)


def expect_vertex_set(obj, ctx):
    if not isinstance(obj, set):
        return Failed(Raises(TypeError, ()))
    members = []
    # The module walks the set's table: a subclass's __iter__ is not asked.
    for element in set.__iter__(obj):
        converted = expect_vertex(element, ctx)
        if isinstance(converted, Failed):
            return converted
        members.append(converted.value)
    return Converted(list(dict.fromkeys(members)))  # each vertex once


def expect_filename(obj, ctx):
    if not isinstance(obj, str):
        return Failed(Raises(TypeError, ()))
    try:
        obj.encode("utf-8")
    except UnicodeEncodeError:
        return Failed(Raises(UnicodeEncodeError))
    return Converted(str(obj))


EXPECT = {"vertex": expect_vertex, "set": expect_vertex_set, "filename": expect_filename}


# --- arguments whose conversion runs Python code ------------------------------------


class Hostile:
    """An argument whose __index__ runs Python code; calls counts the runs."""

    calls = 0

    def expect_vertex(self, ctx):
        raise NotImplementedError


class IndexReturning(Hostile):
    def __init__(self, result):
        self.result = result

    def __index__(self):
        self.calls += 1
        return self.result

    def expect_vertex(self, ctx):
        return index_result(self.result)

    def __repr__(self):
        return f"IndexReturning({self.result!r})"


class IndexRaising(Hostile):
    """Raises a new exception each time; the module must pass it on as it is,
    except a PanicException, which comes back as a resumed fault."""

    def __init__(self, make_error):
        self.make_error = make_error
        self.raised = None

    def __index__(self):
        self.calls += 1
        self.raised = self.make_error()
        raise self.raised

    def expect_vertex(self, ctx):
        if type(self.raised) is ctx.classes.panic:
            return Failed(Raises(ctx.classes.panic, (resumed_fault_message(None, reraised=True),)))
        return Failed(RaisesSame(self.raised))

    def __repr__(self):
        return f"IndexRaising({self.make_error.__name__})"


class IndexCallingBack(Hostile):
    """Calls a method of a Graph, maybe the one whose method converts it.

    Propagating: returns what the inner call returns, or lets its exception
    out. Catching: records the inner outcome and returns `fallback`."""

    def __init__(self, target, inner, catch, fallback):
        self.target = target
        self.inner = inner
        self.catch = catch
        self.fallback = fallback
        self.inner_outcome = None

    def __index__(self):
        self.calls += 1
        if not self.catch:
            return self.inner.run(self.target)
        self.inner_outcome = capture(lambda: self.inner.run(self.target))
        return self.fallback

    def expect_vertex(self, ctx):
        expected = ctx.expect_inner(self.target, self.inner)
        if self.catch:
            wrong = expected.mismatch(self.inner_outcome)
            if wrong is not None:
                ctx.problems.append(f"inside __index__, {self.inner} {self.inner_outcome}: {wrong}")
            return index_result(self.fallback)
        if expected.returns:
            return index_result(expected.expected)
        if isinstance(expected, Raises) and expected.cls is ctx.classes.panic:
            return Failed(Raises(expected.cls, (resumed_fault_message(expected.args[0], reraised=False),)))
        return Failed(expected)

    def __repr__(self):
        how = f"catching, then {self.fallback!r}" if self.catch else "propagating"
        return f"IndexCallingBack(graph {id(self.target):#x}: {self.inner}, {how})"

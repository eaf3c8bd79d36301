"""Internal faults, their reports on standard error, and re-entrant access."""

import re
import sys

import pytest

import quiverlane
from quiverlane import Graph

from conftest import build_graph, run_python
from graph_checks import MAX_ID, snapshot

MESSAGE = "Vertex not contained in graph"
REPORT_LINE = re.compile(
    r"^thread '<unnamed>' panicked at 'Vertex not contained in graph', src/graph/graph\.cpp:\d+:\d+$"
)
NOTE_LINE = "note: set the environment variable QUIVERLANE_BACKTRACE=1 to display a backtrace"
FRAME_LINE = re.compile(r"^\s*\d+: \S")
BANNER = re.compile(r"^--- .+ ---$")


def fault_exception(g=None, vertex=7):
    g = Graph() if g is None else g
    try:
        g.neighbours(vertex)
    except BaseException as e:  # noqa: B036 - the fault class is a BaseException
        return e
    raise AssertionError("no fault")


# --- the fault exception, in process --------------------------------------

def test_panic_exception_class():
    e = fault_exception()
    cls = type(e)
    assert cls.__name__ == "PanicException"
    assert cls.__module__ == "pyo3_runtime"
    assert cls.__qualname__ == "PanicException"
    assert cls.__bases__ == (BaseException,)
    assert not isinstance(e, Exception)
    assert e.args == (MESSAGE,)
    assert str(e) == MESSAGE
    # Created once and kept: every fault raises the same class.
    assert type(fault_exception()) is cls
    # Not part of the module's namespace.
    assert "PanicException" not in vars(quiverlane)


def test_except_exception_does_not_catch_fault():
    g = Graph()
    caught_by = None
    try:
        try:
            g.neighbours(7)
        except Exception:
            caught_by = "Exception"
    except BaseException:
        caught_by = "BaseException"
    assert caught_by == "BaseException"


@pytest.mark.parametrize(
    "edges, vertices, missing",
    [([], [], 7), ([(1, 2)], [], 3), ([(1, 2), (2, 2)], [5], 0), ([(0, 1)], [], MAX_ID)],
)
def test_graph_usable_after_fault(edges, vertices, missing):
    g = build_graph(edges, vertices)
    before = snapshot(g)
    e = fault_exception(g, missing)
    assert e.args == (MESSAGE,)
    assert snapshot(g) == before
    # Both shared and exclusive access are free again.
    g.add_edge(missing, missing)
    assert g.neighbours(missing) == {missing}
    assert repr(g) == f"Graph (n={before.num_vertices + 1},m={before.num_edges + 1})]"


def test_fault_report_written_in_process(capfd):
    capfd.readouterr()
    fault_exception()
    err = capfd.readouterr().err
    assert any(REPORT_LINE.match(line) for line in err.splitlines()), err


def test_many_faults_in_a_row():
    g = build_graph([(1, 2)])
    for i in range(200):
        assert fault_exception(g, 1000 + i).args == (MESSAGE,)
    assert g.edges() == [(1, 2)]


def test_fault_through_keyword_and_index_argument():
    class Seven:
        def __index__(self):
            return 7

    g = Graph()
    with pytest.raises(BaseException) as info:
        g.neighbours(u=Seven())
    assert type(info.value).__name__ == "PanicException"
    assert info.value.args == (MESSAGE,)


def test_argument_errors_are_not_faults(capfd):
    capfd.readouterr()
    g = Graph()
    with pytest.raises(TypeError):
        g.neighbours()
    with pytest.raises(OverflowError):
        g.neighbours(-1)
    assert capfd.readouterr().err == ""


# --- fault reports on standard error, in a fresh process -------------------

TWO_FAULTS = """
    import sys
    from quiverlane import Graph
    g = Graph()
    for _ in range(2):
        try:
            g.neighbours(7)
        except BaseException as e:
            print(type(e).__name__, e.args, flush=True)
    g.add_edge(7, 8)
    print(repr(g))
"""


def check_clean_exit(result):
    assert result.returncode == 0, result.stderr
    assert result.stdout == (
        "PanicException ('Vertex not contained in graph',)\n" * 2 + "Graph (n=2,m=1)]\n"
    )


@pytest.mark.parametrize("setting", [None, "0"])
def test_backtrace_off_prints_note_once(setting):
    result = run_python(TWO_FAULTS, env={"QUIVERLANE_BACKTRACE": setting})
    check_clean_exit(result)
    lines = result.stderr.splitlines()
    assert len(lines) == 3, result.stderr
    assert REPORT_LINE.match(lines[0])
    assert lines[1] == NOTE_LINE
    assert REPORT_LINE.match(lines[2])
    assert lines[0] == lines[2]


def split_reports(stderr):
    """The report blocks of stderr, each starting at a 'thread' line."""
    blocks = []
    for line in stderr.splitlines():
        if line.startswith("thread '"):
            blocks.append([])
        assert blocks, f"text before the first report: {line!r}"
        blocks[-1].append(line)
    return blocks


def backtrace_blocks(setting):
    """Each report of two faults run with the setting: (block, frame lines)."""
    result = run_python(TWO_FAULTS, env={"QUIVERLANE_BACKTRACE": setting})
    check_clean_exit(result)
    blocks = split_reports(result.stderr)
    assert len(blocks) == 2
    for block in blocks:
        assert REPORT_LINE.match(block[0])
        assert block[1] == "stack backtrace:"
        frames = [line for line in block[2:] if FRAME_LINE.match(line)]
        assert frames, block
        yield block, frames


@pytest.mark.parametrize("setting", ["", "1", "yes", "short"])
def test_backtrace_short(setting):
    for block, frames in backtrace_blocks(setting):
        numbers = [int(line.split(":")[0]) for line in frames]
        assert numbers == list(range(len(numbers)))
        # Short form: no frame addresses.
        assert not any(re.match(r"^\s*\d+: 0x[0-9a-f]+ ", line) for line in frames)
        assert block[-1].startswith("note: ")
        assert "QUIVERLANE_BACKTRACE=full" in block[-1]
        assert NOTE_LINE not in block


def test_backtrace_full():
    for block, frames in backtrace_blocks("full"):
        assert all(re.match(r"^\s*\d+: 0x[0-9a-f]+ ", line) for line in frames), frames
        assert not any(line.startswith("note:") for line in block)


def test_backtrace_setting_read_at_first_fault_only():
    # Read when the first fault happens (not at import), then fixed.
    result = run_python(
        """
        import os
        from quiverlane import Graph
        g = Graph()
        os.environ["QUIVERLANE_BACKTRACE"] = "1"
        try:
            g.neighbours(7)
        except BaseException:
            pass
        os.environ["QUIVERLANE_BACKTRACE"] = "0"
        try:
            g.neighbours(7)
        except BaseException:
            pass
        """
    )
    assert result.returncode == 0, result.stderr
    blocks = split_reports(result.stderr)
    assert len(blocks) == 2
    assert [block[1] for block in blocks] == ["stack backtrace:"] * 2


def test_report_goes_to_file_descriptor_2():
    result = run_python(
        """
        import io, sys
        from quiverlane import Graph
        sys.stderr = io.StringIO()
        try:
            Graph().neighbours(1)
        except BaseException:
            pass
        captured = sys.stderr.getvalue()
        sys.stderr = sys.__stderr__
        print(repr(captured))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "''\n"
    assert REPORT_LINE.match(result.stderr.splitlines()[0])


def test_report_written_even_when_fault_is_caught_and_ignored():
    result = run_python(
        """
        from quiverlane import Graph
        g = Graph()
        try:
            g.neighbours(3)
        except BaseException:
            pass
        """
    )
    assert result.returncode == 0
    assert REPORT_LINE.match(result.stderr.splitlines()[0])


def test_uncaught_fault_ends_script_with_traceback():
    result = run_python(
        """
        from quiverlane import Graph
        Graph().neighbours(3)
        """
    )
    assert result.returncode == 1
    lines = result.stderr.splitlines()
    assert REPORT_LINE.match(lines[0])
    assert lines[1] == NOTE_LINE
    assert lines[-1] == "pyo3_runtime.PanicException: Vertex not contained in graph"


# --- re-entrant access through __index__ ------------------------------------

SHARED_OUTER = {
    "adjacent": lambda g, x: g.adjacent(x, 2),
    "degree": lambda g, x: g.degree(x),
    "neighbours": lambda g, x: g.neighbours(x),
}
EXCLUSIVE_OUTER = {
    "contains": lambda g, x: g.contains(x),
    "add_vertex": lambda g, x: g.add_vertex(x),
    "add_edge": lambda g, x: g.add_edge(x, 1),
    "add_edge_second": lambda g, x: g.add_edge(5, x),
    "remove_edge": lambda g, x: g.remove_edge(x, 2),
    "remove_vertex": lambda g, x: g.remove_vertex(x),
}
SHARED_INNER = {
    "num_vertices": lambda g: g.num_vertices(),
    "num_edges": lambda g: g.num_edges(),
    "adjacent": lambda g: g.adjacent(1, 2),
    "degree": lambda g: g.degree(1),
    "vertices": lambda g: g.vertices(),
    "edges": lambda g: g.edges(),
    "neighbours": lambda g: g.neighbours(1),
    "copy": lambda g: g.copy(),
}
EXCLUSIVE_INNER = {
    "contains": lambda g: g.contains(1),
    "add_vertex": lambda g: g.add_vertex(9),
    "add_edge": lambda g: g.add_edge(8, 9),
    "remove_edge": lambda g: g.remove_edge(1, 2),
    "remove_vertex": lambda g: g.remove_vertex(2),
    "remove_loops": lambda g: g.remove_loops(),
    "remove_isolates": lambda g: g.remove_isolates(),
}


def reentry_cases():
    for outer_name, outer in {**SHARED_OUTER, **EXCLUSIVE_OUTER}.items():
        outer_exclusive = outer_name in EXCLUSIVE_OUTER
        for inner_name, inner in {**SHARED_INNER, **EXCLUSIVE_INNER}.items():
            inner_exclusive = inner_name in EXCLUSIVE_INNER
            if inner_exclusive:
                expected = "PyBorrowMutError"
            elif outer_exclusive:
                expected = "PyBorrowError"
            else:
                expected = None
            yield pytest.param(outer, inner, expected, id=f"{inner_name}-in-{outer_name}")


class CallsBack:
    """An argument whose __index__ runs `inner` on the graph, then gives 1."""

    def __init__(self, g, inner, catch=False):
        self.g, self.inner, self.catch = g, inner, catch
        self.caught = []
        self.result = None

    def __index__(self):
        if self.catch:
            try:
                self.result = self.inner(self.g)
            except RuntimeError as e:
                self.caught.append(e)
        else:
            self.result = self.inner(self.g)
        return 1


def reentry_graph():
    return build_graph([(1, 2), (2, 3), (3, 3)], vertices=[4])


@pytest.mark.parametrize("outer, inner, expected", list(reentry_cases()))
def test_reentry_refused_or_allowed(outer, inner, expected):
    g = reentry_graph()
    before = snapshot(g)
    arg = CallsBack(g, inner)
    if expected is None:
        outer(g, arg)  # shared inside shared
        assert arg.result is not None
    else:
        with pytest.raises(RuntimeError) as info:
            outer(g, arg)
        assert type(info.value).__name__ == expected
        assert type(info.value).__module__ == "pyo3_runtime"
        assert info.value.args == ()
        assert str(info.value) == ""
        assert snapshot(g) == before
    # Every access is released: an exclusive call works afterwards.
    g.add_edge(10, 11)
    assert g.remove_vertex(10) is True
    assert g.contains(11)


@pytest.mark.parametrize("outer, inner, expected", list(reentry_cases()))
def test_reentry_refusal_caught_inside_index(outer, inner, expected):
    g = reentry_graph()
    arg = CallsBack(g, inner, catch=True)
    outer(g, arg)
    if expected is None:
        assert arg.caught == []
    else:
        assert [type(e).__name__ for e in arg.caught] == [expected]
        assert arg.caught[0].args == ()
    g.add_vertex(20)
    assert g.contains(20)


def test_shared_inside_shared_results():
    g = reentry_graph()
    seen = {}

    class Probe:
        def __index__(self):
            seen["n"] = g.num_vertices()
            seen["copy"] = repr(g.copy())
            seen["repr"] = repr(g)
            seen["nested"] = g.degree(Inner())
            return 3

    class Inner:
        def __index__(self):
            seen["inner"] = g.neighbours(2)
            return 2

    assert g.degree(Probe()) == 3
    assert seen == {
        "n": 4,
        "copy": "Graph (n=4,m=3)]",
        "repr": "Graph (n=4,m=3)]",
        "nested": 2,
        "inner": {1, 3},
    }


def test_deeply_nested_shared_then_exclusive():
    g = reentry_graph()
    errors = []

    class Level:
        def __init__(self, depth):
            self.depth = depth

        def __index__(self):
            if self.depth == 0:
                try:
                    g.add_vertex(100)
                except RuntimeError as e:
                    errors.append(type(e).__name__)
                return 1
            return g.degree(Level(self.depth - 1)) and 1

    assert g.degree(Level(5)) == 1
    assert errors == ["PyBorrowMutError"]
    g.add_vertex(100)
    assert g.contains(100)


def test_refusal_propagates_as_same_exception_object():
    g = reentry_graph()
    seen = []

    class Keep:
        def __index__(self):
            try:
                return g.num_vertices()
            except RuntimeError as e:
                seen.append(e)
                raise

    with pytest.raises(RuntimeError) as info:
        g.add_edge(Keep(), 1)
    assert info.value is seen[0]


def test_repr_inside_exclusive_call_refused():
    g = reentry_graph()
    outcome = []

    class AsksRepr:
        def __index__(self):
            try:
                outcome.append(repr(g))
            except RuntimeError as e:
                outcome.append((type(e).__name__, e.args, str(e)))
            try:
                outcome.append(str(g))
            except RuntimeError as e:
                outcome.append((type(e).__name__, e.args, str(e)))
            return 50

    assert g.add_vertex(AsksRepr()) is None
    assert outcome == [("PyBorrowError", (), ""), ("PyBorrowError", (), "")]
    assert g.contains(50)
    assert repr(g) == "Graph (n=5,m=3)]"


def test_other_graph_usable_inside_exclusive_call():
    g, h = Graph(), Graph()

    class UsesOther:
        def __index__(self):
            h.add_edge(1, 2)
            return h.num_vertices()

    assert g.add_edge(UsesOther(), 3) is True
    assert g.edges() == [(2, 3)]
    assert h.edges() == [(1, 2)]


def test_borrow_exception_classes():
    g = reentry_graph()
    errors = {}
    for name, outer, inner in [
        ("shared", lambda x: g.add_vertex(x), lambda: g.num_vertices()),
        ("exclusive", lambda x: g.degree(x), lambda: g.add_vertex(1)),
    ]:
        arg = CallsBack(g, lambda _g, inner=inner: inner())
        with pytest.raises(RuntimeError) as info:
            outer(arg)
        errors[name] = info.value
    borrow, borrow_mut = type(errors["shared"]), type(errors["exclusive"])
    assert (borrow.__name__, borrow_mut.__name__) == ("PyBorrowError", "PyBorrowMutError")
    assert borrow.__bases__ == (RuntimeError,)
    assert borrow_mut.__bases__ == (RuntimeError,)
    assert borrow.__module__ == borrow_mut.__module__ == "pyo3_runtime"
    assert "PyBorrowError" not in vars(quiverlane)
    assert "PyBorrowMutError" not in vars(quiverlane)


def test_refusal_beats_argument_errors():
    # Access is taken before the arguments are matched.
    g = reentry_graph()
    inner_errors = []

    class Bad:
        def __index__(self):
            for attempt in (lambda: g.add_edge(1), lambda: g.degree(1, 2, 3)):
                try:
                    attempt()
                except RuntimeError as e:
                    inner_errors.append(type(e).__name__)
            return 1

    g.remove_vertex(Bad())
    assert inner_errors == ["PyBorrowMutError", "PyBorrowError"]


# --- a fault coming back through Python code -------------------------------

RESUMED = """
    import sys
    from quiverlane import Graph
    g = Graph()
    g.add_edge(1, 2)
    other = Graph()

    class Propagates:
        def __init__(self, target):
            self.target = target
        def __index__(self):
            return self.target.neighbours(7)

    class Reraises:
        def __init__(self, target):
            self.target = target
        def __index__(self):
            try:
                return self.target.neighbours(7)
            except BaseException:
                raise

    arg = {kind}({target})
    try:
        g.{outer}
    except BaseException as e:
        print(type(e).__name__, type(e).__module__, e.args, flush=True)
    print(hasattr(sys, "last_type"), repr(g), flush=True)
"""


def resumed_message(kind):
    if kind == "Reraises" or sys.version_info >= (3, 12):
        # The interpreter hands back an exception instance.
        return "Unwrapped panic from Python code"
    return MESSAGE


@pytest.mark.parametrize("kind", ["Propagates", "Reraises"])
@pytest.mark.parametrize(
    "target, outer",
    [
        ("g", "degree(arg)"),
        ("g", "neighbours(arg)"),
        ("other", "add_edge(arg, 3)"),
        ("other", "remove_vertex(u=arg)"),
    ],
)
def test_fault_resumed_through_index(kind, target, outer):
    code = RESUMED.format(kind=kind, target=target, outer=outer)
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    assert result.stdout == (
        f"PanicException pyo3_runtime ({resumed_message(kind)!r},)\n"
        "False Graph (n=2,m=1)]\n"
    )
    lines = result.stderr.splitlines()
    # The inner fault's report, then its first-fault note.
    assert REPORT_LINE.match(lines[0]), result.stderr
    assert lines[1] == NOTE_LINE
    # Then the banner and the inner traceback, printed by the interpreter.
    assert BANNER.match(lines[2]), lines[2]
    assert lines[3] == "Python stack trace below:"
    assert lines[4] == "Traceback (most recent call last):"
    assert any("in __index__" in line for line in lines[5:])
    assert lines[-1] == "pyo3_runtime.PanicException: Vertex not contained in graph"
    # No second report for the resumed fault.
    assert sum(line.startswith("thread '") for line in lines) == 1
    assert sum(line.startswith("note:") for line in lines) == 1


def test_resumed_fault_with_backtrace_on_prints_one_backtrace():
    code = RESUMED.format(kind="Propagates", target="g", outer="degree(arg)")
    result = run_python(code, env={"QUIVERLANE_BACKTRACE": "1"})
    assert result.returncode == 0, result.stderr
    lines = result.stderr.splitlines()
    assert sum(line.startswith("thread '") for line in lines) == 1
    assert lines.count("stack backtrace:") == 1
    assert "Python stack trace below:" in lines


def test_resumed_fault_in_process_leaves_graphs_usable():
    g = build_graph([(1, 2)])

    class Faults:
        def __index__(self):
            return g.neighbours(99)

    for _ in range(3):
        with pytest.raises(BaseException) as info:
            g.degree(Faults())
        assert type(info.value).__name__ == "PanicException"
    assert g.add_edge(2, 3) is True
    assert g.edges() and g.num_edges() == 2


def test_fault_exception_raised_directly_in_index():
    # A PanicException made by Python code is resumed as a fault too; its
    # value is an exception instance, so the message is the generic one.
    panic = type(fault_exception())
    g = build_graph([(1, 2)])

    class RaisesInstance:
        def __index__(self):
            raise panic("made in Python")

    class RaisesClass:
        def __index__(self):
            raise panic

    for arg in (RaisesInstance(), RaisesClass()):
        with pytest.raises(BaseException) as info:
            g.add_edge(arg, 1)
        assert type(info.value) is panic
        assert info.value.args == ("Unwrapped panic from Python code",)
    assert g.edges() == [(1, 2)]


def test_subclass_of_fault_exception_is_an_ordinary_exception():
    result = run_python(
        """
        from quiverlane import Graph
        g = Graph()
        g.add_edge(1, 2)
        try:
            g.neighbours(9)
        except BaseException as e:
            panic = type(e)

        class Sub(panic):
            pass

        class Raises:
            def __index__(self):
                raise Sub("made in Python")

        for call in (lambda: g.degree(Raises()), lambda: g.subgraph({1, Raises()})):
            try:
                call()
            except BaseException as e:
                print(type(e).__name__, e.args, flush=True)
        print(repr(g), flush=True)
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == (
        "Sub ('made in Python',)\n" * 2 + "Graph (n=2,m=1)]\n"
    )
    # Only the first, genuine fault wrote anything: no banner, no traceback.
    lines = result.stderr.splitlines()
    assert REPORT_LINE.match(lines[0]), result.stderr
    assert lines[1:] == [NOTE_LINE]


def test_fault_in_another_thread():
    result = run_python(
        """
        import threading
        from quiverlane import Graph
        g = Graph()
        seen = []
        def work():
            try:
                g.neighbours(5)
            except BaseException as e:
                seen.append(e.args)
            g.add_edge(5, 6)
        t = threading.Thread(target=work)
        t.start()
        t.join()
        print(seen, repr(g))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "[('Vertex not contained in graph',)] Graph (n=2,m=1)]\n"
    lines = result.stderr.splitlines()
    assert REPORT_LINE.match(lines[0])
    assert lines[1:] == [NOTE_LINE]


def test_recursion_through_index_unwinds_every_access():
    g = build_graph([(1, 2)])

    class Deeper:
        def __index__(self):
            return g.degree(Deeper())  # shared inside shared, without end

    with pytest.raises(RecursionError):
        g.degree(Deeper())
    # Every nested shared access was given back.
    g.add_vertex(3)
    assert repr(g) == "Graph (n=3,m=1)]"

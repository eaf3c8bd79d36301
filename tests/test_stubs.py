"""The type stubs describe the methods the module really has.

The extension's methods carry no signatures that tools can inspect, so
stubtest checks only that names match. Here every stubbed method is called
with its arguments given by the stub's parameter names, and its result is
checked against the stub's return annotation.
"""

import ast

import pytest

import quiverlane
import method_surface as surface
from conftest import build_graph
from quiverlane import Graph

# A value of each parameter annotation that every method accepts on the
# graph built below.
ARGUMENT_FOR = {"SupportsIndex": 1, "set[int]": {1}}
RESULT_CHECK = {
    "int": lambda r: type(r) is int,
    "bool": lambda r: type(r) is bool,
    "None": lambda r: r is None,
    "Graph": lambda r: type(r) is Graph,
    "set[int]": lambda r: type(r) is set and all(type(x) is int for x in r),
    "list[tuple[int, int]]": lambda r: type(r) is list
    and all(type(p) is tuple and len(p) == 2 and all(type(x) is int for x in p) for p in r),
    "list[set[int]]": lambda r: type(r) is list and all(type(s) is set for s in r),
}


def stub_module():
    return ast.parse(surface.STUB.read_text(encoding="utf-8"))


def test_stub_lists_every_method_of_the_class_in_table_order():
    # What every other test and the fuzzer take as the surface (method_surface).
    runtime = [name for name in vars(Graph) if not name.startswith("_")]
    assert surface.NAMES == runtime


def test_stub_all_matches_the_module():
    assigned = next(
        node.value
        for node in stub_module().body
        if isinstance(node, ast.Assign) and node.targets[0].id == "__all__"
    )
    assert ast.literal_eval(assigned) == quiverlane.__all__


@pytest.mark.parametrize("method", surface.METHODS, ids=lambda m: m.name)
def test_method_takes_the_stub_parameters_by_name_and_returns_the_stub_type(tmp_path, method):
    if method.name == "from_file":
        path = tmp_path / "g.edges"
        path.write_text("1 2\n")
        kwargs = {"filename": str(path)}
        assert method.params == (surface.Parameter("filename", "str"),)
        call = Graph.from_file
    else:
        kwargs = {p.name: ARGUMENT_FOR[p.annotation] for p in method.params}
        call = getattr(build_graph([(1, 2), (2, 3)]), method.name)
    result = call(**kwargs)
    assert RESULT_CHECK[method.returns](result), (method.name, result)

"""The type stubs describe the methods the module really has.

The extension's methods carry no signatures that tools can inspect, so
stubtest checks only that names match. Here every stubbed method is called
with its arguments given by the stub's parameter names, and its result is
checked against the stub's return annotation.
"""

import ast

import pytest

import quiverlane
from conftest import REPO_ROOT, build_graph
from quiverlane import Graph

STUB = REPO_ROOT / "python" / "quiverlane-stubs" / "__init__.pyi"

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
    return ast.parse(STUB.read_text(encoding="utf-8"))


def stub_methods():
    graph_class = next(
        node for node in stub_module().body if isinstance(node, ast.ClassDef) and node.name == "Graph"
    )
    return [node for node in graph_class.body if isinstance(node, ast.FunctionDef) and node.name != "__new__"]


def test_stub_lists_every_method_of_the_class():
    runtime = {name for name in vars(Graph) if not name.startswith("_")}
    assert {method.name for method in stub_methods()} == runtime
    assert len(runtime) == 23


def test_stub_all_matches_the_module():
    assigned = next(
        node.value
        for node in stub_module().body
        if isinstance(node, ast.Assign) and node.targets[0].id == "__all__"
    )
    assert ast.literal_eval(assigned) == quiverlane.__all__


@pytest.mark.parametrize("method", stub_methods(), ids=lambda m: m.name)
def test_method_takes_the_stub_parameters_by_name_and_returns_the_stub_type(tmp_path, method):
    params = [arg for arg in method.args.args if arg.arg != "self"]
    if method.name == "from_file":
        path = tmp_path / "g.edges"
        path.write_text("1 2\n")
        kwargs = {"filename": str(path)}
        assert [p.arg for p in params] == ["filename"]
        assert ast.unparse(params[0].annotation) == "str"
        call = Graph.from_file
    else:
        kwargs = {p.arg: ARGUMENT_FOR[ast.unparse(p.annotation)] for p in params}
        call = getattr(build_graph([(1, 2), (2, 3)]), method.name)
    result = call(**kwargs)
    assert RESULT_CHECK[ast.unparse(method.returns)](result), (method.name, result)

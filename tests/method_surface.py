"""The methods of Graph as the type stubs declare them: names in the order
of the module's method table, parameter names and annotations, results.

Tests and the API fuzzer read their lists of methods from here, so a new
method is declared in its stub and nowhere else. test_stubs.py holds this
list to the runtime method table, and test_module.py pins it once against
the designed surface. Needs no pytest, so the fuzzer imports it too.
"""

import ast
from pathlib import Path
from typing import NamedTuple

STUB = Path(__file__).resolve().parent.parent / "python" / "quiverlane-stubs" / "__init__.pyi"

VERTEX, VERTEX_SET, FILENAME = "SupportsIndex", "set[int]", "str"


class Parameter(NamedTuple):
    name: str
    annotation: str


class Method(NamedTuple):
    name: str
    params: tuple
    returns: str
    static: bool

    @property
    def param_names(self):
        return tuple(p.name for p in self.params)

    def takes(self, annotation):
        return any(p.annotation == annotation for p in self.params)


def _read_stub():
    module = ast.parse(STUB.read_text(encoding="utf-8"))
    graph = next(node for node in module.body if isinstance(node, ast.ClassDef) and node.name == "Graph")
    methods = []
    for node in graph.body:
        if not isinstance(node, ast.FunctionDef) or node.name.startswith("_"):
            continue
        static = any(ast.unparse(d) == "staticmethod" for d in node.decorator_list)
        args = node.args.args if static else node.args.args[1:]
        params = tuple(Parameter(a.arg, ast.unparse(a.annotation)) for a in args)
        methods.append(Method(node.name, params, ast.unparse(node.returns), static))
    return tuple(methods)


METHODS = _read_stub()
BY_NAME = {method.name: method for method in METHODS}
NAMES = [method.name for method in METHODS]

# Methods called on an instance, and those among them with parameters.
INSTANCE_METHODS = [method for method in METHODS if not method.static]
WITH_PARAMETERS = [method for method in INSTANCE_METHODS if method.params]


def names_where(condition):
    return [method.name for method in METHODS if condition(method)]

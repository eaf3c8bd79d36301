"""Model-checked random fuzzing of the Python API of quiverlane.Graph.

The id range and the whole-graph rules come from the test suite's
graph_checks (tests/), so the fuzzer and the tests hold a graph to the same
ones."""

import os
import sys

_TESTS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "tests")
if _TESTS_DIR not in sys.path:
    sys.path.insert(0, _TESTS_DIR)

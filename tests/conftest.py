"""Fixtures and helpers for running code: child interpreters, paths, and
graphs built from edge lists. What graphs are checked against lives in
graph_checks.py.

Tests run against whichever quiverlane the interpreter imports: a build
directory on PYTHONPATH or an installed package.
"""

import ctypes
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

# Before any test module imports it, so that its failures are shown in full.
pytest.register_assert_rewrite("graph_checks")

import quiverlane  # noqa: E402

TESTS_DIR = Path(__file__).resolve().parent
REPO_ROOT = TESTS_DIR.parent
DATA_DIR = (REPO_ROOT / ".." / "shared" / "data").resolve()
MODULE_DIR = os.path.dirname(os.path.abspath(quiverlane.__file__))



def _sanitizer_build():
    """Whether this interpreter runs the module under AddressSanitizer: the
    runtime is in the process (preloaded, as the sanitizer job does, or
    linked into the executable), or the module itself needs it."""
    try:
        ctypes.CDLL(None).__asan_init
        return True
    except AttributeError:
        pass
    try:
        from elf_symbols import NotElf64, SharedObject

        needed = SharedObject(quiverlane.__file__).needed
    except (NotElf64, OSError):
        return False
    return any(library.startswith(("libasan", "libubsan")) for library in needed)


# Under ASan, allocation sizes, address-space use and the reuse of freed
# memory are the sanitizer's, not the module's: tests that measure those
# skip on it.
SANITIZED = _sanitizer_build()

# A sanitizer runtime preloaded into this interpreter (the sanitizer job's
# suite runs so) must not reach CMake, the compiler or native test programs:
# it would report the compiler's deliberate leaks, and the programs bring
# their own.
SANITIZER_ENV = ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "PYTHONMALLOC")


def build_tool_env():
    """This process's environment without the sanitizer runtime's settings."""
    return {name: value for name, value in os.environ.items() if name not in SANITIZER_ENV}


# Variables the module reads; unset in child processes unless a test sets them.
MODULE_ENV_VARS = ("QUIVERLANE_BACKTRACE",)


def run_python(code, env=None, timeout=120):
    """Runs `code` in a fresh interpreter that imports the same quiverlane,
    and graph_checks.

    `env` maps variable names to values; a value of None unsets the variable.
    Returns the CompletedProcess with text stdout and stderr.
    """
    child_env = dict(os.environ)
    for name in MODULE_ENV_VARS:
        child_env.pop(name, None)
    paths = [MODULE_DIR, str(TESTS_DIR)]
    if child_env.get("PYTHONPATH"):
        paths.append(child_env["PYTHONPATH"])
    child_env["PYTHONPATH"] = os.pathsep.join(paths)
    for name, value in (env or {}).items():
        if value is None:
            child_env.pop(name, None)
        else:
            child_env[name] = value
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        env=child_env,
        capture_output=True,
        text=True,
        timeout=timeout,
    )


@pytest.fixture
def python_run():
    """The run_python helper, as a fixture."""
    return run_python


def data_file(name):
    """The path of a data set in ../shared/data: CI has them all, so a missing
    one fails there and skips its test elsewhere."""
    path = DATA_DIR / name
    if not path.is_file():
        if os.environ.get("CI"):
            pytest.fail(f"missing data set {path}", pytrace=False)
        pytest.skip(f"missing data set {path}")
    return str(path)


# The largest data sets: the tests that load them run in the slow job.
LARGE_DATA_SETS = {"soc-Slashdot0902.edges.gz", "soc-Slashdot0902.txt.gz"}


def data_set_params(names):
    """Parameters for data-set names, the large ones marked slow."""
    return [pytest.param(name, marks=pytest.mark.slow) if name in LARGE_DATA_SETS else name for name in names]


def build_graph(edges=(), vertices=()):
    """A Graph with the given edges and extra (possibly isolated) vertices."""
    g = quiverlane.Graph()
    for v in vertices:
        g.add_vertex(v)
    for u, v in edges:
        g.add_edge(u, v)
    return g



# --- the Spark tests: a real engine reads what write_parquet writes -----------
#
# PySpark and Java are large, so the main suite leaves them out: the tests
# marked spark (and the documentation blocks that need pyspark) run only with
# --run-spark, which .ci/spark.sh passes after installing both. Opted in,
# a missing pyspark fails rather than skips.


def pytest_addoption(parser):
    parser.addoption(
        "--run-spark",
        action="store_true",
        help="run the tests marked spark, which start a local Spark session (needs pyspark and Java)",
    )


def pytest_configure(config):
    config.addinivalue_line("markers", "spark: starts a local Spark session; runs only with --run-spark")


def pytest_collection_modifyitems(config, items):
    if config.getoption("--run-spark"):
        return
    skip = pytest.mark.skip(reason="needs --run-spark (pyspark and Java; .ci/spark.sh runs these)")
    for item in items:
        if "spark" in item.keywords:
            item.add_marker(skip)


@pytest.fixture(scope="session")
def spark():
    """One local Spark session for every Spark test and documentation block."""
    from pyspark.sql import SparkSession

    session = (
        SparkSession.builder.master("local[2]")
        .appName("quiverlane-tests")
        .config("spark.ui.enabled", "false")
        .config("spark.sql.shuffle.partitions", "4")
        .config("spark.ui.showConsoleProgress", "false")
        .getOrCreate()
    )
    session.sparkContext.setLogLevel("ERROR")
    yield session
    session.stop()

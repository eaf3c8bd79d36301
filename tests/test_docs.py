"""Every Python block of README.md and docs/ runs as written.

The blocks of one page run in order in one namespace, in a scratch
directory that holds the repository's examples/ and, under their own names,
the data sets of ../shared/data, as a reader at the checkout's root who has
the downloads at hand would run them. Two marks, each an HTML comment on the
line before a block, which the rendered pages do not show:

    <!-- requires: pyarrow pyspark -->   run only where these import (in CI,
                                         where every extra is installed, a
                                         missing one fails)
    <!-- not run: REASON -->             only compiled: it needs what no
                                         machine here has

A block that needs pyspark is only compiled in the main suite and runs in
the Spark job (`pytest --run-spark`, .ci/spark.sh), which installs PySpark
and Java: they are too large for every run.

The quick start's printed results are checked as well.
"""

import importlib
import os
import re
from pathlib import Path

import pytest

from conftest import REPO_ROOT

DATA_DIR = (REPO_ROOT / ".." / "shared" / "data").resolve()
PAGES = [REPO_ROOT / "README.md", *sorted((REPO_ROOT / "docs").glob("*.md"))]
FENCE = re.compile(r"^```python\s*$")
MARK = re.compile(r"^<!-- (requires|not run): (.+?) -->\s*$")


class Block:
    """One ```python block: its text, where it starts and how it is marked."""

    def __init__(self, page, first_line, text, mark):
        self.page = page
        self.first_line = first_line  # 1-based, the first line of code
        self.text = text
        self.requires = mark[1].split() if mark and mark[0] == "requires" else []
        self.not_run = mark[1] if mark and mark[0] == "not run" else None
        self.needs_spark = "pyspark" in self.requires

    def code(self):
        # Padded so that a traceback names the page's own line numbers.
        return compile("\n" * (self.first_line - 1) + self.text, str(self.page), "exec")


def python_blocks(page):
    lines = page.read_text(encoding="utf-8").splitlines()
    blocks, index = [], 0
    while index < len(lines):
        if not FENCE.match(lines[index]):
            index += 1
            continue
        before = next((line for line in reversed(lines[:index]) if line.strip()), "")
        mark = MARK.match(before)
        end = lines.index("```", index + 1)
        text = "\n".join(lines[index + 1 : end]) + "\n"
        blocks.append(Block(page, index + 2, text, mark.groups() if mark else None))
        index = end + 1
    return blocks


PAGES_WITH_CODE = [page for page in PAGES if python_blocks(page)]
PAGES_WITH_SPARK = [page for page in PAGES if any(block.needs_spark for block in python_blocks(page))]


def importable(name):
    try:
        importlib.import_module(name)
    except ImportError:
        if os.environ.get("CI"):
            pytest.fail(f"{name} is not installed, and CI installs every extra", pytrace=False)
        return False
    return True


@pytest.fixture
def reader_directory(tmp_path, monkeypatch):
    """A scratch directory laid out as the pages assume."""
    (tmp_path / "examples").symlink_to(REPO_ROOT / "examples")
    if DATA_DIR.is_dir():
        for data in DATA_DIR.iterdir():
            if data.is_file() and data.name != "README.md":
                (tmp_path / data.name).symlink_to(data)
    elif os.environ.get("CI"):
        pytest.fail(f"missing data sets {DATA_DIR}", pytrace=False)
    monkeypatch.chdir(tmp_path)
    return tmp_path


def run_page(page, spark=False):
    """Runs the page's blocks in order; returns how many ran.

    Blocks that need pyspark run only when `spark` is true.
    """
    namespace = {"__name__": "__docs__"}
    ran = 0
    for block in python_blocks(page):
        code = block.code()
        if block.not_run is not None or (block.needs_spark and not spark):
            continue
        missing = [name for name in block.requires if not importable(name)]
        if missing:
            pytest.skip(f"{page.name}:{block.first_line} needs {', '.join(missing)}")
        try:
            exec(code, namespace)
        except FileNotFoundError as error:
            if not DATA_DIR.is_dir():
                pytest.skip(f"{page.name}:{block.first_line} reads {error.filename}, from {DATA_DIR}")
            raise
        ran += 1
    return ran


@pytest.mark.parametrize("page", PAGES_WITH_CODE, ids=[page.name for page in PAGES_WITH_CODE])
def test_page_code_runs(page, reader_directory):
    blocks = python_blocks(page)
    for block in blocks:
        assert block.not_run is None or len(block.not_run) > 10, f"{page.name}:{block.first_line} says why not"
    assert run_page(page) == sum(block.not_run is None and not block.needs_spark for block in blocks)


@pytest.mark.spark
@pytest.mark.parametrize("page", PAGES_WITH_SPARK, ids=[page.name for page in PAGES_WITH_SPARK])
def test_page_code_runs_with_spark(page, reader_directory, spark):
    blocks = python_blocks(page)
    assert run_page(page, spark=True) == sum(block.not_run is None for block in blocks)


def test_every_page_with_code_is_run():
    pages = {page.name for page in PAGES_WITH_CODE}
    assert {"README.md", "quickstart.md", "interop.md", "edge-list-format.md", "errors.md", "outgrowing.md"} <= pages
    assert "outgrowing.md" in {page.name for page in PAGES_WITH_SPARK}


def test_quick_start_prints_what_it_says(reader_directory, capsys):
    run_page(REPO_ROOT / "docs" / "quickstart.md")
    printed = capsys.readouterr().out.splitlines()
    assert printed[0] == "Graph (n=4,m=3)]"
    assert "4941 6594" in printed
    assert "[(0, 1), (1, 2)]" in printed
    assert (reader_directory / "grid.edges.gz").stat().st_size > 0


def test_marks_are_read_from_the_line_before_a_block(tmp_path):
    page = tmp_path / "page.md"
    page.write_text(
        "Text.\n\n<!-- requires: numpy scipy -->\n```python\nx = 1\n```\n\n"
        "<!-- not run: needs a cluster of its own -->\n\n```python\ny = 2\n```\n```python\nz = 3\n```\n"
    )
    first, second, third = python_blocks(page)
    assert (first.requires, first.not_run, first.first_line) == (["numpy", "scipy"], None, 5)
    assert (second.requires, second.not_run) == ([], "needs a cluster of its own")
    assert (third.requires, third.not_run, third.text) == ([], None, "z = 3\n")

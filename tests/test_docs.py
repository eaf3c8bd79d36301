"""The Python code of the quick start runs as written.

Its blocks run in order in one namespace, in a scratch directory that has
the repository's examples/ beside it, as a reader at the checkout's root
would run them.
"""

import os
import re

import pytest

from conftest import REPO_ROOT

QUICK_START = REPO_ROOT / "docs" / "quickstart.md"
PYTHON_BLOCK = re.compile(r"^```python\n(.*?)^```", re.S | re.M)


def require(name):
    if os.environ.get("CI"):
        __import__(name)  # CI installs every extra, so missing there fails
    else:
        pytest.importorskip(name)


def test_quick_start_code_runs(tmp_path, monkeypatch, capsys):
    require("networkx")
    require("scipy")
    blocks = PYTHON_BLOCK.findall(QUICK_START.read_text(encoding="utf-8"))
    assert len(blocks) >= 4
    (tmp_path / "examples").symlink_to(REPO_ROOT / "examples")
    monkeypatch.chdir(tmp_path)
    namespace = {}
    for block in blocks:
        exec(compile(block, str(QUICK_START), "exec"), namespace)
    printed = capsys.readouterr().out.splitlines()
    assert printed[0] == "Graph (n=4,m=3)]"
    assert "4941 6594" in printed
    assert "[(0, 1), (1, 2)]" in printed
    assert (tmp_path / "grid.edges.gz").stat().st_size > 0

"""Where the benchmarks keep their inputs, helpers and outputs."""
from __future__ import annotations

import os
from pathlib import Path

BENCH = Path(__file__).resolve().parents[1]
REPO = BENCH.parent
# Compiled helpers and generated graphs; ignored by git, safe to delete.
CACHE = Path(os.environ.get("QUIVERLANE_BENCH_CACHE", BENCH / "_cache"))
RESULTS = BENCH / "results"
CHART = REPO / "docs" / "img" / "benchmarks.png"
DATA = (REPO / ".." / "shared" / "data").resolve()


def cache_dir(*parts: str) -> Path:
    path = CACHE.joinpath(*parts)
    path.mkdir(parents=True, exist_ok=True)
    return path


def scratch_name(path: Path) -> Path:
    """A sibling of `path` to write first and rename, so no reader sees half a file."""
    return path.with_name(f"{path.name}.{os.getpid()}.tmp")

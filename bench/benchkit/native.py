"""Compile the benchmarks' small native helpers at run time into the cache.

Nothing compiled is ever committed: each helper is rebuilt when its source is
newer than the cached binary, with the compiler the interpreter was built with.
"""
from __future__ import annotations

import importlib.util
import os
import subprocess
import sys
import sysconfig
from pathlib import Path

from benchkit.paths import cache_dir, scratch_name


def _compiler(variable: str, fallback: str) -> str:
    chosen = os.environ.get(variable) or sysconfig.get_config_var(variable) or fallback
    return chosen.split()[0]


def _stale(target: Path, sources: list[Path]) -> bool:
    if not target.exists():
        return True
    built = target.stat().st_mtime
    return any(source.stat().st_mtime > built for source in sources)


def _compile(command: list[str], target: Path) -> str | None:
    """Runs the compiler into a scratch file; returns its complaint, or None."""
    scratch = scratch_name(target)
    result = subprocess.run([*command, "-o", str(scratch)], capture_output=True, text=True)
    if result.returncode != 0:
        return " ".join(command) + "\n" + result.stdout + result.stderr
    os.replace(scratch, target)  # atomic: a concurrent run never loads half a file
    return None


def load_extension(source: Path, name: str):
    """Compiles the one-file C extension `source` (module `name`) and imports it."""
    suffix = sysconfig.get_config_var("EXT_SUFFIX") or ".so"
    target = cache_dir("native") / f"{name}{suffix}"
    if _stale(target, [source]):
        paths = sysconfig.get_paths()
        command = [_compiler("CC", "cc"), "-shared", "-fPIC", "-O2",
                   "-I", paths["include"], "-I", paths["platinclude"], str(source)]
        complaint = _compile(command, target)
        if complaint is not None:
            sys.exit(f"building {source.name} failed:\n{complaint}")
    module_spec = importlib.util.spec_from_file_location(name, target)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


def build_program(sources: list[Path], name: str, flags: list[str]) -> Path | None:
    """Compiles a command-line helper; returns its path, or None after printing why not."""
    target = cache_dir("native") / name
    if _stale(target, sources):
        cxx = any(source.suffix == ".cpp" for source in sources)
        compiler = _compiler("CXX", "g++") if cxx else _compiler("CC", "cc")
        complaint = _compile([compiler, *[str(s) for s in sources], *flags], target)
        if complaint is not None:
            print(f"({name} not built; its rows are left out)\n{complaint[:2000]}",
                  file=sys.stderr)
            return None
    return target

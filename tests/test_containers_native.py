"""Builds and runs the native property tests of the hash containers and the
graph store (tests/cpp/test_containers.cpp), with sanitizers where the
compiler has them.

The binary is cached by a hash of its sources and flags, so only the first
run after a change pays for the compile.
"""

import hashlib
import os
import shutil
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pytest

from conftest import REPO_ROOT

SRC = REPO_ROOT / "src"
TEST_SOURCE = REPO_ROOT / "tests" / "cpp" / "test_containers.cpp"
SOURCES = [
    TEST_SOURCE,
    SRC / "graph" / "graph.cpp",
    SRC / "graph" / "edge_batch.cpp",
    SRC / "binding" / "fault.cpp",
    SRC / "binding" / "stderr.cpp",
]
SANITIZE = ["-fsanitize=address,undefined", "-fno-sanitize-recover=undefined", "-fno-omit-frame-pointer"]
WRAP = ["-DQUIVERLANE_TEST_MALLOC_WRAP"], ["-Wl,--wrap=malloc"]
# Tried in order; the first that builds is used.
CONFIGS = [
    ("sanitized, failure injection", SANITIZE, True),
    ("sanitized", SANITIZE, False),
    ("plain, failure injection", [], True),
    ("plain", [], False),
]
COMMON = ["-std=c++20", "-O1", "-Wall", "-Wextra", f"-I{SRC}"]


def compiler():
    return os.environ.get("CXX") or shutil.which("g++")


def source_digest(cxx, flags):
    digest = hashlib.sha256()
    digest.update(" ".join([cxx] + flags).encode())
    for directory in (SRC / "graph", SRC / "binding"):
        for path in sorted(directory.glob("*.h")):
            digest.update(path.name.encode() + path.read_bytes())
    for path in SOURCES:
        digest.update(path.name.encode() + path.read_bytes())
    return digest.hexdigest()[:20]


def build(cxx, out_dir, sanitize, wrap):
    """Compiles the sources in parallel and links them; None if it fails."""
    compile_flags = COMMON + sanitize + (WRAP[0] if wrap else [])
    link_flags = sanitize + (WRAP[1] if wrap else [])
    binary = out_dir / f"test_containers-{source_digest(cxx, compile_flags + link_flags)}"
    if binary.exists():
        return binary, ""
    for stale in out_dir.glob("test_containers-*"):
        stale.unlink(missing_ok=True)

    def compile_one(path):
        obj = out_dir / f"{binary.name}-{path.stem}.o"
        done = subprocess.run(
            [cxx, *compile_flags, "-c", str(path), "-o", str(obj)], capture_output=True, text=True
        )
        return obj, done

    with ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(compile_one, SOURCES))
    errors = "".join(done.stderr for _, done in results if done.returncode != 0)
    if errors:
        return None, errors
    tmp = binary.with_suffix(".tmp")
    done = subprocess.run(
        [cxx, *[str(obj) for obj, _ in results], *link_flags, "-o", str(tmp)],
        capture_output=True,
        text=True,
    )
    for obj, _ in results:
        obj.unlink(missing_ok=True)
    if done.returncode != 0:
        return None, done.stderr
    tmp.replace(binary)
    return binary, ""


@pytest.fixture(scope="module")
def native_binary(request, tmp_path_factory):
    cxx = compiler()
    if cxx is None:
        pytest.skip("no C++ compiler")
    if not all(path.exists() for path in SOURCES):
        pytest.skip("native sources not present")
    try:
        out_dir = request.config.cache.mkdir("quiverlane-native")
    except AttributeError:  # the cache plugin is disabled
        out_dir = tmp_path_factory.mktemp("native")
    errors = []
    for name, sanitize, wrap in CONFIGS:
        binary, error = build(cxx, out_dir, sanitize, wrap)
        if binary is not None:
            return name, binary
        errors.append(f"--- {name} ---\n{error}")
    pytest.fail("the native tests do not build:\n" + "\n".join(errors))


def run_native(binary, seed, detect_leaks=True):
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = f"detect_leaks={int(detect_leaks)}:abort_on_error=0"
    env["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"
    return subprocess.run([str(binary), str(seed)], capture_output=True, text=True, timeout=300, env=env)


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_containers_native(native_binary, seed):
    name, binary = native_binary
    result = run_native(binary, seed)
    if "LeakSanitizer has encountered a fatal error" in result.stderr:
        # Leak checking cannot run here (e.g. under ptrace); check the rest.
        result = run_native(binary, seed, detect_leaks=False)
    assert result.returncode == 0, f"[{name}]\n{result.stdout}\n{result.stderr}"
    assert " 0 failures" in result.stdout
    if "failure injection" in name:
        assert "failure injection on" in result.stdout

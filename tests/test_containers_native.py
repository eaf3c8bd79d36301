"""Builds and runs the native property tests of the hash containers and the
graph store (tests/cpp, one program per test_*.cpp file), with sanitizers
and failure injection where the compiler has them.

CMake builds them (options QUIVERLANE_NATIVE_TESTS and QUIVERLANE_SANITIZE,
and QUIVERLANE_WERROR as the environment variable of that name says, OFF
when unset) in the pytest cache, so only the first run after a change pays for the
compile. Outside CI a weaker build is accepted when the best one does not
build; in CI (the CI environment variable set) that is a failure, since the
checks that matter most would silently be missing.

CI builds the programs once, before any test run, and names that CMake
build directory in QUIVERLANE_NATIVE_TESTS_DIR: every run then takes the
programs from there (the best configuration they were built in) and builds
nothing; a program missing there fails the tests.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import REPO_ROOT, build_tool_env

# They compile a CMake project and run every program three times.
pytestmark = pytest.mark.slow

# The test programs, one per source file.
PROGRAMS = sorted(path.stem for path in (REPO_ROOT / "tests" / "cpp").glob("test_*.cpp"))

# (name, sanitized, program suffix), tried in order; the first that builds
# is used.
CONFIGS = [
    ("sanitized, failure injection", True, "_failing_malloc"),
    ("sanitized", True, ""),
    ("plain, failure injection", False, "_failing_malloc"),
    ("plain", False, ""),
]
BEST = CONFIGS[0][0]

def in_ci():
    return bool(os.environ.get("CI"))


def unavailable(reason):
    """Skips the tests, or fails them in CI where everything must be there."""
    if in_ci():
        pytest.fail(f"CI needs the native tests, but {reason}", pytrace=False)
    pytest.skip(reason)


def run_tool(args):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, env=build_tool_env())


def configure(build_dir, sanitize):
    # The generator is fixed at the first configure; the interpreter is
    # passed every time, since the one first cached may be gone since.
    first = not (build_dir / "CMakeCache.txt").exists()
    generator = ["-G", "Ninja"] if first and shutil.which("ninja") else []
    return run_tool(
        ["cmake", "-S", REPO_ROOT, "-B", build_dir, *generator,
         f"-DPython_EXECUTABLE={sys.executable}",
         "-DQUIVERLANE_NATIVE_TESTS=ON",
         # Warnings fail the build where asked to (CI sets the variable).
         f"-DQUIVERLANE_WERROR={os.environ.get('QUIVERLANE_WERROR') or 'OFF'}",
         f"-DQUIVERLANE_SANITIZE={'ON' if sanitize else 'OFF'}"]
    )


def build(build_dir, sanitize, suffix):
    """{program: built binary} and "", or None and the errors."""
    targets = [program + suffix for program in PROGRAMS]
    done = configure(build_dir, sanitize)
    if done.returncode == 0:
        done = run_tool(["cmake", "--build", build_dir, "--target", *targets,
                         "--parallel", str(os.cpu_count() or 2)])
    if done.returncode != 0:
        return None, done.stdout + done.stderr
    return {program: build_dir / "tests" / "cpp" / (program + suffix) for program in PROGRAMS}, ""


def prebuilt(build_dir):
    """The configuration and {program: binary} of a build made beforehand,
    in the first configuration of CONFIGS whose programs are all there."""
    cache = build_dir / "CMakeCache.txt"
    if not cache.is_file():
        pytest.fail(f"QUIVERLANE_NATIVE_TESTS_DIR={build_dir} is not a CMake build directory", pytrace=False)
    sanitize = re.search(r"^QUIVERLANE_SANITIZE:BOOL=ON$", cache.read_text(), re.MULTILINE) is not None
    for name, sanitized, suffix in CONFIGS:
        binaries = {program: build_dir / "tests" / "cpp" / (program + suffix) for program in PROGRAMS}
        if sanitized == sanitize and all(binary.is_file() for binary in binaries.values()):
            if name != BEST and in_ci():
                pytest.fail(f"CI needs the native tests built '{BEST}', but {build_dir} has '{name}'",
                            pytrace=False)
            return name, binaries
    pytest.fail(f"{build_dir} lacks native test programs (build the native_tests target)", pytrace=False)


@pytest.fixture(scope="module")
def native_binaries(request, tmp_path_factory):
    if os.environ.get("QUIVERLANE_NATIVE_TESTS_DIR"):
        return prebuilt(Path(os.environ["QUIVERLANE_NATIVE_TESTS_DIR"]).resolve())
    if shutil.which("cmake") is None:
        unavailable("cmake is not on PATH")
    try:
        cache_dir = request.config.cache.mkdir("quiverlane-native")
    except AttributeError:  # the cache plugin is disabled
        cache_dir = tmp_path_factory.mktemp("native")
    errors = []
    for name, sanitize, suffix in CONFIGS:
        binaries, error = build(cache_dir / ("sanitized" if sanitize else "plain"), sanitize, suffix)
        if binaries is not None:
            if name != BEST and in_ci():
                pytest.fail(
                    f"CI needs the native tests built '{BEST}', but only '{name}' builds:\n"
                    + "\n".join(errors),
                    pytrace=False,
                )
            return name, binaries
        errors.append(f"--- {name} ---\n{error}")
    pytest.fail("the native tests do not build:\n" + "\n".join(errors), pytrace=False)


def run_native(binary, seed, detect_leaks=True):
    env = build_tool_env()
    env["ASAN_OPTIONS"] = f"detect_leaks={int(detect_leaks)}:abort_on_error=0"
    env["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"
    return subprocess.run([str(binary), str(seed)], capture_output=True, text=True, timeout=300, env=env)


def test_every_program_found():
    assert {"test_vertex_set", "test_vertex_map", "test_working_set"} <= set(PROGRAMS)


@pytest.mark.parametrize("program", PROGRAMS)
@pytest.mark.parametrize("seed", [1, 2, 3])
def test_containers_native(native_binaries, program, seed):
    name, binaries = native_binaries
    binary = binaries[program]
    result = run_native(binary, seed)
    if "LeakSanitizer has encountered a fatal error" in result.stderr:
        # Leak checking cannot run here (e.g. under ptrace); check the rest.
        result = run_native(binary, seed, detect_leaks=False)
    assert result.returncode == 0, f"[{name}]\n{result.stdout}\n{result.stderr}"
    assert re.search(r"^[1-9]\d* checks, 0 failures,", result.stdout, re.MULTILINE), result.stdout
    injecting = "failure injection" in name
    sanitized = name.startswith("sanitized")
    assert f"failure injection {'on' if injecting else 'off'}" in result.stdout
    assert f"address sanitizer {'on' if sanitized else 'off'}" in result.stdout
    assert "assertions on" in result.stdout

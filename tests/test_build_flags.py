"""The compiler flags the CMake project gives every translation unit.

Warnings are errors only when QUIVERLANE_WERROR is on (CI's builds): a user
installing from the sdist with a newer compiler must not fail on a warning
that compiler added. The project is only configured here, never built; the
flags come from CMake's compile_commands.json.
"""

import json
import shlex
import shutil
import subprocess
import sys

import pytest

from conftest import REPO_ROOT, SANITIZED, build_tool_env

pytestmark = [
    pytest.mark.slow,
    pytest.mark.skipif(shutil.which("cmake") is None, reason="cmake is not on PATH"),
    pytest.mark.skipif(SANITIZED, reason="configures the project only: nothing here runs the module"),
]

# clang for the fuzz targets, looked for as fuzz/build.sh does.
CLANG = next(
    (c for c in ("clang++-18", "clang++-17", "clang++-16", "clang++") if shutil.which(c)), None
)


def compile_commands(build_dir, options):
    """{source file relative to the repository: [arguments]} of a fresh configure."""
    done = subprocess.run(
        ["cmake", "-S", str(REPO_ROOT), "-B", str(build_dir),
         f"-DPython_EXECUTABLE={sys.executable}", "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON", *options],
        capture_output=True, text=True, env=build_tool_env(),
    )
    assert done.returncode == 0, done.stdout + done.stderr
    entries = json.loads((build_dir / "compile_commands.json").read_text())
    commands = {}
    for entry in entries:
        args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
        source = str(entry["file"]).replace(str(REPO_ROOT) + "/", "")
        commands.setdefault(source, []).append(args)
    return commands


WERROR_SETTINGS = [([], False), (["-DQUIVERLANE_WERROR=OFF"], False), (["-DQUIVERLANE_WERROR=ON"], True)]


@pytest.mark.parametrize("werror, expected", WERROR_SETTINGS, ids=["default", "off", "on"])
def test_module_and_native_tests_flags(tmp_path, werror, expected):
    commands = compile_commands(tmp_path, ["-DQUIVERLANE_NATIVE_TESTS=ON", *werror])
    # Both the module's sources and the native tests' are there.
    assert "src/module/module.cpp" in commands
    assert any(source.startswith("tests/cpp/") for source in commands)
    for source, variants in commands.items():
        for args in variants:
            assert "-Wall" in args and "-Wextra" in args, (source, args)
            assert ("-Werror" in args) == expected, (source, args)


@pytest.mark.skipif(CLANG is None, reason="the fuzz targets need clang")
@pytest.mark.parametrize("werror, expected", WERROR_SETTINGS, ids=["default", "off", "on"])
def test_fuzz_target_flags(tmp_path, werror, expected):
    commands = compile_commands(
        tmp_path, [f"-DCMAKE_CXX_COMPILER={CLANG}", "-DQUIVERLANE_FUZZ=ON", *werror]
    )
    fuzz_sources = [source for source in commands if source.startswith("fuzz/")]
    assert fuzz_sources
    for source, variants in commands.items():
        for args in variants:
            assert "-Wall" in args and "-Wextra" in args, (source, args)
            assert ("-Werror" in args) == expected, (source, args)

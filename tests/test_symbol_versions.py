"""The symbol versions the built module binds: wheels are tagged manylinux2014
and must load on glibc 2.17 with the libstdc++ of GCC 4.8, so the module
may bind nothing newer. Read from the module's own ELF tables, so a build
that would not make such a wheel fails here, without building one."""

import platform
import sys

import pytest

import quiverlane

from elf_symbols import MANYLINUX2014_LIMITS, NotElf64, SharedObject, too_new

# The first glibc symbol version of each architecture whose wheels we build:
# dladdr keeps that version on every glibc.
BASELINE_VERSION = {"x86_64": "GLIBC_2.2.5", "aarch64": "GLIBC_2.17"}


@pytest.fixture(scope="module")
def module():
    machine = platform.machine()
    if not sys.platform.startswith("linux") or platform.libc_ver()[0] != "glibc":
        pytest.skip("wheels are built for glibc Linux only")
    if machine not in BASELINE_VERSION:
        pytest.skip(f"no manylinux2014 wheels are built for {machine}")
    try:
        return SharedObject(quiverlane.__file__)
    except NotElf64 as error:
        pytest.skip(str(error))


def glibc_imports(module):
    """(symbol, version) of each import bound to a glibc version."""
    return [(name, version) for name, version in module.imports
            if version and version.partition("_")[0] == "GLIBC"]


def test_libc_bindings(module):
    imports = dict(module.imports)
    machine = platform.machine()
    # Backtraces name frames through the oldest dladdr, which every glibc has
    # (2.34 moved it into libc under a new version).
    assert imports.get("dladdr") == BASELINE_VERSION[machine]
    # The hash key is seeded by the system call, not by glibc's 2.25 wrapper.
    assert "getrandom" not in imports
    newer = sorted(f"{name}@{version}" for name, version in glibc_imports(module) if too_new(version))
    assert newer == [], f"the module needs a glibc newer than 2.17 for {newer}"


def test_cxx_runtime_bindings(module):
    """libstdc++ and libgcc_s are the system's, as old as GCC 4.8's. Which of
    their symbols a build binds depends on what the optimiser leaves: a
    build with assertions or sanitizers binds helpers that the release
    build (what wheels ship) folds away, so those builds are not checked."""
    names = {name for name, _ in module.imports}
    if "__assert_fail" in names:
        pytest.skip("assertions are compiled in: not a release build")
    if any(library.startswith(("libasan", "libubsan")) for library in module.needed):
        pytest.skip("a sanitizer build, not a release build")
    newer = sorted(f"{name}@{version}" for name, version in module.imports
                   if version and too_new(version))
    limits = ", ".join(f"{family} {'.'.join(map(str, limit))}"
                       for family, limit in MANYLINUX2014_LIMITS.items())
    assert newer == [], f"the module binds versions newer than manylinux2014 allows ({limits}): {newer}"

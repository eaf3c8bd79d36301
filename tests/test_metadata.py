"""The version and the project's metadata files agree with one another.

pyproject.toml carries the version; the companion's __version__ reads it
from the installed package's metadata, CITATION.cff repeats it, and
CHANGELOG.md has a section for it below the one for unreleased changes.
"""

import importlib.metadata
import re

from conftest import REPO_ROOT
import quiverlane_tools as tools


def project_version():
    text = (REPO_ROOT / "pyproject.toml").read_text(encoding="utf-8")
    found = re.search(r'^version = "([^"]+)"$', text, re.M)
    assert found, "pyproject.toml has no version line"
    return found.group(1)


def test_version_is_that_of_the_installed_distribution():
    try:
        installed = importlib.metadata.version("quiverlane")
    except importlib.metadata.PackageNotFoundError:
        # Imported from a source tree that was never installed.
        assert tools.__version__ == "0+unknown"
        return
    assert tools.__version__ == installed
    # What is installed was built from this checkout.
    assert installed == project_version()


def test_citation_names_the_project_version():
    text = (REPO_ROOT / "CITATION.cff").read_text(encoding="utf-8")
    assert re.search(r"^cff-version: 1\.2\.0$", text, re.M)
    versions = re.findall(r"^version: (\S+)$", text, re.M)
    assert versions == [project_version()]


def test_changelog_has_unreleased_changes_above_the_project_version():
    text = (REPO_ROOT / "CHANGELOG.md").read_text(encoding="utf-8")
    sections = re.findall(r"^## (\S+)", text, re.M)
    assert sections[0] == "Unreleased"
    assert project_version() in sections[1:], f"no section for {project_version()} in {sections}"

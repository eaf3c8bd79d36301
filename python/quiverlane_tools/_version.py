"""The version of the installed distribution."""

from importlib.metadata import PackageNotFoundError, version

try:
    __version__ = version("quiverlane")
except PackageNotFoundError:
    # Imported from a source tree that was never installed: there is no
    # metadata to read, and the source's own number would claim a release
    # that this tree may have moved past. "0+unknown" is a valid version
    # that sorts below every release.
    __version__ = "0+unknown"

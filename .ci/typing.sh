#!/usr/bin/env bash
# Type checks against the installed package: stubtest compares the stubs of
# quiverlane-stubs with the real extension module, and mypy --strict checks
# the examples and the companion module as a user's editor would, with the
# stubs of NetworkX and SciPy (the typing extra), and the types the
# converters must have (tests/typing).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

rm -rf .venv-typing
python3 -m venv .venv-typing
. .venv-typing/bin/activate
pip install -q '.[typing,networkx,scipy]' -Ccmake.define.QUIVERLANE_WERROR=ON

# From outside the checkout, so that quiverlane resolves to site-packages.
(cd "$(mktemp -d)" && python -m mypy.stubtest quiverlane)
mypy --strict --config-file "$repo/pyproject.toml" examples python/quiverlane_tools tests/typing

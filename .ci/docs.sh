#!/usr/bin/env bash
# Builds the documentation site as a reader would get it: every warning is
# an error, and the pages must load nothing from the network.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -rf .venv-docs site
python3 -m venv .venv-docs
.venv-docs/bin/pip install -q 'mkdocs>=1.5' pygments
.venv-docs/bin/mkdocs build --strict

external=$(grep -rhoE '<(script|link|img|iframe)[^>]*(src|href)="(https?:)?//[^"]*"' site || true)
if [ -n "$external" ]; then
  echo "the site loads resources from the network:" >&2
  echo "$external" >&2
  exit 1
fi
grep -q 'src="../img/benchmarks.png"' site/benchmarks/index.html
test -s site/img/benchmarks.png
echo "docs: built $(find site -name index.html | wc -l) pages into site/"

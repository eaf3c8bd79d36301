#!/usr/bin/env bash
# The Parquet hand-off read by a real engine: PySpark in local mode, from a
# fresh virtual environment, with Debian's Java when the machine has none.
# Runs only the tests marked spark (tests/test_spark.py and the documentation
# blocks that need pyspark), then repeats the figures they compared.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v java >/dev/null; then
  apt-get update -qq && apt-get install -y -qq openjdk-17-jre-headless
fi
java -version 2>&1 | head -n 1

rm -rf .venv-spark
python3 -m venv .venv-spark
. .venv-spark/bin/activate
pip install -q '.[test,parquet,spark]' -Ccmake.define.QUIVERLANE_WERROR=ON
python -c 'import pyspark, pyarrow; print(f"pyspark {pyspark.__version__}, pyarrow {pyarrow.__version__}")'

log=$(mktemp)
python -m pytest -q -p no:cacheprovider -s -m spark --run-spark tests/test_spark.py tests/test_docs.py 2>&1 | tee "$log"
echo "== Spark against quiverlane"
grep -E '^(Spark |read_parquet )' "$log"
rm -f "$log"

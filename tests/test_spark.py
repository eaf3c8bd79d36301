"""A real engine reads the Parquet hand-off: PySpark in local mode.

The co-authorship network ca-GrQc (12 loops) plus isolated vertices with ids
above 2**31 is written by write_parquet; Spark must count the same vertices
and edges as quiverlane and the same degree at every vertex (a loop counting
2, as Graph.degree does), split a file of many row groups across tasks, and
write tables back that read_parquet loads as the same graph. Each test
prints the figures it compared, which .ci/spark.sh shows.

Marked spark: the main suite skips these; `pytest --run-spark` runs them.
"""

import pytest

from conftest import data_file
from graph_checks import MAX_ID, snapshot
import quiverlane_tools as tools

pytestmark = pytest.mark.spark

DATA_SET = "ca-GrQc.txt"
ISOLATED = [2147483648, 3000000000, MAX_ID]


@pytest.fixture(scope="module")
def grqc():
    graph = tools.read_edge_list(data_file(DATA_SET))
    for v in ISOLATED:
        graph.add_vertex(v)
    return graph


def spark_degrees(edges, vertices):
    """Every vertex's degree counted by Spark: each edge row adds 1 at src and 1 at dst."""
    from pyspark.sql import functions as F

    ends = edges.select(F.col("src").alias("id")).unionAll(edges.select(F.col("dst").alias("id")))
    counted = ends.groupBy("id").count()
    degrees = vertices.join(counted, "id", "left").select("id", F.coalesce("count", F.lit(0)).alias("degree"))
    return {row["id"]: row["degree"] for row in degrees.collect()}


@pytest.mark.parametrize("id_type", ["uint32", "int64"])
def test_spark_counts_what_quiverlane_counts(spark, grqc, tmp_path, id_type):
    from pyspark.sql.types import LongType

    tools.write_parquet(grqc, tmp_path / "g", id_type=id_type)
    edges = spark.read.parquet(str(tmp_path / "g" / "edges.parquet"))
    vertices = spark.read.parquet(str(tmp_path / "g" / "vertices.parquet"))
    # Spark has no unsigned types: uint32 must arrive as long, not int.
    assert [field.dataType for field in (*edges.schema.fields, *vertices.schema.fields)] == [LongType()] * 3

    n, distinct, m = vertices.count(), vertices.distinct().count(), edges.count()
    loops = edges.filter("src = dst").count()
    largest = vertices.agg({"id": "max"}).first()[0]
    degrees = spark_degrees(edges, vertices)
    ours = {v: grqc.degree(v) for v in grqc.vertices()}
    print(
        f"\nSpark {spark.version} on {DATA_SET} + {len(ISOLATED)} isolated, {id_type}: "
        f"vertices {n} (quiverlane {grqc.num_vertices()}), distinct {distinct}, "
        f"edges {m} (quiverlane {grqc.num_edges()}), loops {loops}, largest id {largest}; "
        f"degrees equal at {sum(degrees.get(v) == d for v, d in ours.items())} of {len(ours)} vertices, "
        f"degree sum {sum(degrees.values())} (2m = {2 * grqc.num_edges()}), "
        f"isolated {sum(1 for d in degrees.values() if d == 0)}"
    )
    assert (n, distinct, m) == (grqc.num_vertices(), grqc.num_vertices(), grqc.num_edges())
    assert loops == 12 and largest == MAX_ID
    assert degrees == ours


def test_spark_splits_a_file_by_row_group(spark, grqc, tmp_path):
    from pyspark.sql import functions as F

    tools.write_parquet(grqc, tmp_path / "g", row_group_size=1024)
    name = str(tmp_path / "g" / "edges.parquet")
    previous = spark.conf.get("spark.sql.files.maxPartitionBytes")
    spark.conf.set("spark.sql.files.maxPartitionBytes", str(16 * 1024))
    try:
        edges = spark.read.parquet(name)
        per_task = edges.groupBy(F.spark_partition_id().alias("task")).count().collect()
    finally:
        spark.conf.set("spark.sql.files.maxPartitionBytes", previous)
    counts = sorted(row["count"] for row in per_task)
    print(f"\nSpark read {sum(counts)} edge rows of one file in {len(counts)} tasks: {counts}")
    assert sum(counts) == grqc.num_edges()
    assert len(counts) >= 3  # one file, several tasks: the row groups are the splits
    assert sum(count % 1024 != 0 for count in counts) <= 1  # whole row groups; only the last is short


def test_tables_that_spark_writes_back_load_as_the_same_graph(spark, grqc, tmp_path):
    tools.write_parquet(grqc, tmp_path / "g")
    back = tmp_path / "back"
    for name in ("edges.parquet", "vertices.parquet"):
        table = spark.read.parquet(str(tmp_path / "g" / name))
        table.repartition(3).write.parquet(str(back / name))  # a directory of part files
    parts = sorted(p.name for p in (back / "edges.parquet").iterdir() if p.name.startswith("part-"))
    assert len(parts) >= 2
    graph = tools.read_parquet(back)
    print(f"\nread_parquet on Spark's {len(parts)} part files: {graph} (written {grqc})")
    assert snapshot(graph) == snapshot(grqc)

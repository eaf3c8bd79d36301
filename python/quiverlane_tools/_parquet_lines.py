"""Streams the edges of a Parquet table as "u v" lines, for Graph.from_file.

Run as a script in a child process by read_parquet: it reads the `src` and
`dst` columns of the edge table (one Parquet file, or a directory of part
files as Spark writes them) batch by batch, checks that every value is a
vertex id, and writes each batch as strict edge-list text to standard
output, which is a pipe that the parent's Graph.from_file reads. Text is
made by Arrow's CSV writer, so no Python step runs per edge.

The check is also what read_parquet applies to the vertex table, so it
lives here, and this module imports pyarrow only inside its functions: the
parent imports it without paying for pyarrow until it reads.

Exit status 0: every edge was written. Status 3: the table was refused;
standard error holds the reason, which the parent raises as ValueError.
"""

from __future__ import annotations

import sys
from typing import Any, Optional

MAX_VERTEX = 0xFFFFFFFF
REFUSED = 3
BATCH_ROWS = 1 << 16


def id_problem(values: Any, where: str, first_row: int) -> Optional[str]:
    """Why a pyarrow integer array holds something other than vertex ids, or None.

    `where` names the file and column for the message and `first_row` is
    the table row of values[0], so that the message can name the row.
    """
    import pyarrow
    import pyarrow.compute as pc

    if values.null_count:
        row = first_row + _first_true(pc.is_null(values))
        return f"{where} is null at row {row}: every row must hold a vertex id"
    if len(values) == 0:
        return None
    extremes = pc.min_max(values)
    low, high = extremes["min"].as_py(), extremes["max"].as_py()
    if low >= 0 and high <= MAX_VERTEX:
        return None
    # Compared in a type that holds both the values and the bounds: a
    # uint64 column and an int64 bound would meet in int64 and overflow.
    wide = pyarrow.int64() if pyarrow.types.is_signed_integer(values.type) else pyarrow.uint64()
    widened = values.cast(wide)
    outside = pc.or_(pc.less(widened, pyarrow.scalar(0, wide)), pc.greater(widened, pyarrow.scalar(MAX_VERTEX, wide)))
    index = _first_true(outside)
    return (
        f"{where} holds {values[index].as_py()} at row {first_row + index}, "
        f"outside the vertex ids 0 to {MAX_VERTEX}"
    )


def frugal_scan() -> dict[str, Any]:
    """Scanner options that read one row group at a time.

    Arrow's defaults read ahead across row groups and files on threads and
    pre-buffer whole column chunks: for a 20,000,000-edge table that held
    about 200 MiB in the line writer, against under 40 MiB with these, at
    the same speed (the pipe's reader is the slower side).
    """
    import pyarrow.dataset

    return {
        "batch_readahead": 1,
        "fragment_readahead": 1,
        "use_threads": False,
        "fragment_scan_options": pyarrow.dataset.ParquetFragmentScanOptions(pre_buffer=False),
    }


def _first_true(mask: Any) -> int:
    import pyarrow.compute as pc

    return int(pc.indices_nonzero(mask)[0].as_py())


def write_lines(path: str, label: str, out: Any) -> Optional[str]:
    """Writes the edge table at `path` to `out` as "u v" lines; returns a refusal or None."""
    import pyarrow
    import pyarrow.csv
    import pyarrow.dataset

    try:
        table = pyarrow.dataset.dataset(path, format="parquet")
        batches = table.to_batches(columns=["src", "dst"], batch_size=BATCH_ROWS, **frugal_scan())
        options = pyarrow.csv.WriteOptions(include_header=False, delimiter=" ")
        writer = None
        row = 0
        for batch in batches:
            for column in ("src", "dst"):
                problem = id_problem(batch.column(column), f"{label} column {column!r}", row)
                if problem is not None:
                    return problem
            if writer is None:
                writer = pyarrow.csv.CSVWriter(out, batch.schema, write_options=options)
            writer.write_batch(batch)
            row += batch.num_rows
        if writer is not None:
            writer.close()
    except (pyarrow.ArrowInvalid, pyarrow.ArrowTypeError) as error:
        return f"{label} cannot be read: {error}"
    return None


def main(argv: list[str]) -> int:
    path, label = argv[1], argv[2]
    out = sys.stdout.buffer
    try:
        refusal = write_lines(path, label, out)
        out.flush()
    except BrokenPipeError:
        return 1  # the reader stopped early and reports why itself
    if refusal is not None:
        sys.stderr.write(refusal)
        return REFUSED
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

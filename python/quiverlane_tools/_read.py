"""read_edge_list: the edge-list files people download, loaded at reader speed."""

from __future__ import annotations

import gzip
import os
import stat
import subprocess
import sys
import zlib
from typing import IO, Tuple, Union

from quiverlane import Graph

from . import _clean_lines
from ._clean_lines import STRICT_LINES

PathArg = Union[str, "os.PathLike[str]"]

# Enough lines to see a file's header and first data lines.
PEEK_BYTES = 64 * 1024
CLEANER = _clean_lines.__file__
PIPE_BYTES = 1 << 20


class EdgeListFormatError(OSError):
    """An edge-list file, or one of its lines, that cannot become a graph.

    `path` is the file, `line` the 1-based number of the refused line in the
    original file (None when the file as a whole cannot be read) and
    `reason` says what is wrong with it.
    """

    def __init__(self, path: str, line: int | None, reason: str) -> None:
        where = path if line is None else f"{path}, line {line}"
        super().__init__(f"{where}: {reason}")
        self.path = path
        self.line = line
        self.reason = reason

    def __reduce__(self) -> tuple[type[EdgeListFormatError], tuple[str, int | None, str]]:
        return type(self), (self.path, self.line, self.reason)


def read_edge_list(
    path: PathArg, comments: str = "#%", columns: Tuple[int, int] = (0, 1)
) -> Graph:
    """Loads an edge-list file as downloaded from the usual collections.

    Accepts what `Graph.from_file` accepts and also: comment lines whose first
    non-blank character is one of `comments` (SNAP "#", KONECT and
    MatrixMarket "%"); blank lines; the size line that follows a
    "%%MatrixMarket" header; lines with more columns than two (weights,
    relationship codes, timestamps), of which the two at the 0-based
    positions `columns` are the edge's ends. Columns are separated by any
    white space (spaces, tabs), lines end in LF or CRLF, and a name ending
    in ".gz" is inflated. Ids are taken as they are: base 0 or base 1, no
    renumbering.

    A file whose first lines are already in the strict "u v" form is handed
    to `Graph.from_file` directly. Any other is cleaned in a child process
    and streamed to `Graph.from_file` through a pipe: neither a copy in
    memory nor a temporary file is made. Runs of ordinary lines are cleaned
    in bulk and their ids left to `Graph.from_file`; if it refuses one, the
    file is cleaned again with every line checked, so that the error can
    name the original line.

    Raises FileNotFoundError (or another OSError) if the file cannot be
    opened, and EdgeListFormatError, naming the line of the original file,
    for a line that holds no valid edge or a file that cannot be read.
    """
    name = os.fspath(path)
    if not isinstance(name, str):
        raise TypeError(f"path must be a str or os.PathLike[str], not {type(name).__name__}")
    checked_columns = _checked_columns(columns)
    comment_bytes = _checked_comments(comments)
    inflate = name.endswith(".gz")
    if not sys.executable:
        raise RuntimeError("read_edge_list starts its line cleaner with sys.executable, which is not set")
    with open(name, "rb") as file:
        # A pipe or device cannot be peeked at and then read again.
        regular = stat.S_ISREG(os.fstat(file.fileno()).st_mode)
        if regular:
            head = _peek(file, inflate)
            if head is None:
                # Not gzip data, or damaged at the start: Graph.from_file
                # says what is wrong with it. Should it read the file after
                # all, the cleaner below reports what Python's gzip refuses.
                graph = Graph.from_file(name)
                if checked_columns == (0, 1):
                    return graph
            elif checked_columns == (0, 1) and _is_strict(head):
                try:
                    return Graph.from_file(name)
                except OSError:
                    pass  # a later line needs cleaning after all
        return _load_cleaned(file, name, inflate, comment_bytes, checked_columns, regular)


def _checked_columns(columns: Tuple[int, int]) -> Tuple[int, int]:
    if len(columns) != 2:
        raise ValueError(f"columns must name two columns, got {columns!r}")
    first, second = (int(c) for c in columns)
    if first < 0 or second < 0:
        raise ValueError(f"columns are 0-based positions, got {columns!r}")
    return first, second


def _checked_comments(comments: str) -> bytes:
    if not comments.isascii() or any(c.isspace() or c.isdigit() or c == "+" for c in comments):
        raise ValueError(f"comment characters must be ASCII and not blank, digit or '+': {comments!r}")
    return comments.encode("ascii")


def _peek(file: IO[bytes], inflate: bool) -> bytes | None:
    """The first bytes of the file's text, or None if they cannot be inflated."""
    try:
        return gzip.GzipFile(fileobj=file, mode="rb").read(PEEK_BYTES) if inflate else file.read(PEEK_BYTES)
    except (OSError, EOFError, zlib.error):
        return None


def _is_strict(head: bytes) -> bool:
    """True if the complete lines of `head`, the start of a file, need no cleaning."""
    if len(head) < PEEK_BYTES:
        complete = head if head.endswith(b"\n") or not head else head + b"\n"
    else:
        complete = head[: head.rfind(b"\n") + 1]
    return not complete or STRICT_LINES.fullmatch(complete) is not None


def _load_cleaned(
    file: IO[bytes], name: str, inflate: bool, comments: bytes, columns: Tuple[int, int], regular: bool
) -> Graph:
    # A pipe can be read only once, so it is checked line by line at once.
    run = _run_cleaner(file, inflate, "fast" if regular else "careful", comments, columns, regular)
    if run.file_error is not None and regular:
        # from_file refused a line that fast mode copied unseen: take every
        # line apart this time, to clean it or to name it.
        run = _run_cleaner(file, inflate, "careful", comments, columns, regular)
    if run.refusal is not None:
        raise EdgeListFormatError(name, run.refusal.line, run.refusal.reason)
    if run.file_error is not None:
        if hasattr(run.file_error, "add_note"):
            run.file_error.add_note(f"while loading the cleaned lines of {name!r}")
        raise run.file_error
    assert run.graph is not None
    return run.graph


class _Refusal:
    """The line cleaner's own refusal: an original line number and a reason."""

    def __init__(self, report: str) -> None:
        line, _, self.reason = report.rstrip("\n").partition("\t")
        self.line = None if line == "-" else int(line)


class _Run:
    """What one pass through the line cleaner gave."""

    def __init__(self, graph: Graph | None, file_error: OSError | None, refusal: _Refusal | None) -> None:
        self.graph = graph
        self.file_error = file_error  # from_file refused the cleaned stream
        self.refusal = refusal  # the cleaner refused an original line


def _run_cleaner(
    file: IO[bytes], inflate: bool, mode: str, comments: bytes, columns: Tuple[int, int], regular: bool
) -> _Run:
    """Streams the file through the line cleaner into Graph.from_file."""
    fd = file.fileno()
    if regular:
        # The child shares this descriptor's offset, which a peek or an
        # earlier pass moved; Python's own seek may only move within its
        # buffer and leave the descriptor where it was.
        os.lseek(fd, 0, os.SEEK_SET)
    command = [
        sys.executable, "-I", "-S", CLEANER, str(fd), "gzip" if inflate else "plain", mode,
        comments.hex(), str(columns[0]), str(columns[1]),
    ]
    child = subprocess.Popen(
        command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, pass_fds=(fd,)
    )
    assert child.stdout is not None and child.stderr is not None
    _widen_pipe(child.stdout.fileno())
    graph: Graph | None = None
    file_error: OSError | None = None
    try:
        # from_file holds the interpreter lock for the whole read, so the
        # writer must be another process; "/dev/fd/N" does not end in ".gz",
        # so the pipe is read as plain text.
        graph = Graph.from_file(f"/dev/fd/{child.stdout.fileno()}")
    except OSError as error:
        file_error = error
    finally:
        child.stdout.close()  # a writer still running gets EPIPE and stops
        report = child.stderr.read().decode("utf-8", "replace")
        child.stderr.close()
        status = child.wait()
    if status == _clean_lines.REFUSED:
        return _Run(None, file_error, _Refusal(report))
    if file_error is None and (status != 0 or graph is None):
        raise RuntimeError(f"the line cleaner failed (exit status {status}): {report.strip()}")
    return _Run(graph, file_error, None)


def _widen_pipe(fd: int) -> None:
    """Gives the pipe a 1 MiB buffer where Linux allows it.

    With the default 64 KiB the two processes take turns far more often;
    loading a 1,000,000-line file took about a third longer.
    """
    try:
        import fcntl

        fcntl.fcntl(fd, getattr(fcntl, "F_SETPIPE_SZ", 1031), PIPE_BYTES)
    except (ImportError, OSError):
        pass  # another system, or a lower limit: the default buffer works too

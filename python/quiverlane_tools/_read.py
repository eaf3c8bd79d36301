"""read_edge_list: the edge-list files people download, loaded at reader speed."""

from __future__ import annotations

import gzip
import importlib.util
import os
import stat
import sys
import zlib
from typing import IO, Any, Dict, Optional, Tuple, Union

from quiverlane import Graph

from . import _cleaner
from ._clean_lines import STRICT_LINES
from ._hints import Options, hint

PathArg = Union[str, "os.PathLike[str]"]

# Enough lines to see a file's header and first data lines.
PEEK_BYTES = 64 * 1024


class EdgeListFormatError(OSError):
    """An edge-list file, or one of its lines, that cannot become a graph.

    `path` is the file, `line` the 1-based number of the refused line in the
    original file (None when the file as a whole cannot be read), `reason`
    says what is wrong with it and `hint` which option would read it (or,
    where none would, what the line needs; empty when there is nothing to
    say).
    """

    def __init__(self, path: str, line: int | None, reason: str, hint: str = "") -> None:
        where = path if line is None else f"{path}, line {line}"
        super().__init__(f"{where}: {reason}" + (f"; {hint}" if hint else ""))
        self.path = path
        self.line = line
        self.reason = reason
        self.hint = hint

    def __reduce__(self) -> tuple[type[EdgeListFormatError], tuple[str, int | None, str, str]]:
        return type(self), (self.path, self.line, self.reason, self.hint)


def read_edge_list(
    path: PathArg,
    comments: str = "#%",
    columns: Tuple[int, int] = (0, 1),
    *,
    delimiter: Optional[str] = None,
    skip_header: int = 0,
    progress: bool = False,
) -> Graph:
    """Loads an edge-list file as downloaded from the usual collections.

    Accepts what `Graph.from_file` accepts and also: comment lines whose first
    non-blank character is one of `comments` (SNAP "#", KONECT and
    MatrixMarket "%"); blank lines; the size line that follows a
    "%%MatrixMarket" header; lines with more columns than two (weights,
    relationship codes, timestamps), of which the two at the 0-based
    positions `columns` are the edge's ends. Columns are separated by any
    white space (spaces, tabs), or by the one character `delimiter` (such as
    "," for CSV files: every delimiter ends a field, and blanks around a
    field are dropped). `skip_header` lines at the start of the file are
    skipped whatever they hold, for a header without a comment mark. Lines
    end in LF or CRLF, and a name ending in ".gz" is inflated. Ids are taken
    as they are: base 0 or base 1, no renumbering.

    With `progress`, a bar on standard error counts the bytes of the file
    read so far (of the compressed file for a ".gz" name); it needs tqdm
    (`pip install 'quiverlane[progress]'`).

    A file whose first lines are already in the strict "u v" form is handed
    to `Graph.from_file` directly. Any other is cleaned in a child process
    and streamed to `Graph.from_file` through a pipe: neither a copy in
    memory nor a temporary file is made. Runs of ordinary lines are cleaned
    in bulk and their ids left to `Graph.from_file`; if it refuses one, the
    file is cleaned again with every line checked, so that the error can
    name the original line.

    Raises FileNotFoundError (or another OSError) if the file cannot be
    opened; EdgeListFormatError, naming the line of the original file and
    the option that would read it, for a line that holds no valid edge or a
    file that cannot be read; and what `Graph.from_file` raises for a ".gz"
    name on data that is not gzip.
    """
    name = os.fspath(path)
    if not isinstance(name, str):
        raise TypeError(f"path must be a str or os.PathLike[str], not {type(name).__name__}")
    options = Options(_checked_comments(comments), _checked_columns(columns), _checked_delimiter(delimiter, comments),
                      _checked_skip(skip_header))
    tqdm_folder = _tqdm_folder() if progress else None
    inflate = name.endswith(".gz")
    if not sys.executable:
        raise RuntimeError("read_edge_list starts its line cleaner with sys.executable, which is not set")
    plain_options = options.columns == (0, 1) and options.delimiter is None and options.skip_header == 0
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
                if plain_options:
                    return graph
            elif plain_options and not progress and _is_strict(head):
                try:
                    return Graph.from_file(name)
                except OSError:
                    pass  # a later line needs cleaning after all
        cleaning = {
            "gzip": inflate,
            "comments": options.comments,
            "columns": options.columns,
            "delimiter": options.delimiter,
            "skip_header": options.skip_header,
        }
        if tqdm_folder is not None:
            total = os.fstat(file.fileno()).st_size if regular else None
            cleaning["progress"] = {"path": tqdm_folder, "total": total, "desc": os.path.basename(name)}
        return _load_cleaned(file, name, regular, cleaning, options)


def _checked_columns(columns: Tuple[int, int]) -> Tuple[int, int]:
    if len(columns) != 2:
        raise ValueError(f"columns must name two columns, got {columns!r}")
    first, second = (int(c) for c in columns)
    if first < 0 or second < 0:
        raise ValueError(f"columns are 0-based positions, got {columns!r}")
    return first, second


def _checked_comments(comments: str) -> str:
    if not comments.isascii() or any(c.isspace() or c.isdigit() or c == "+" for c in comments):
        raise ValueError(f"comment characters must be ASCII and not blank, digit or '+': {comments!r}")
    return comments


def _checked_delimiter(delimiter: Optional[str], comments: str) -> Optional[str]:
    if delimiter is None:
        return None
    if not isinstance(delimiter, str) or len(delimiter) != 1:
        raise TypeError(f"delimiter must be one character or None, got {delimiter!r}")
    if not delimiter.isascii() or delimiter.isdigit() or delimiter in "+\r\n" or delimiter in comments:
        raise ValueError(
            f"delimiter must be an ASCII character other than a digit, '+', a line end or a comment character: {delimiter!r}"
        )
    return delimiter


def _checked_skip(skip_header: int) -> int:
    if isinstance(skip_header, bool) or not isinstance(skip_header, int):
        raise TypeError(f"skip_header must be an int, got {skip_header!r}")
    if skip_header < 0:
        raise ValueError(f"skip_header counts lines and cannot be negative, got {skip_header}")
    return skip_header


def _tqdm_folder() -> str:
    """The folder tqdm is imported from, for the cleaner, which runs without site-packages."""
    found = importlib.util.find_spec("tqdm")
    if found is None or not found.submodule_search_locations:
        raise ModuleNotFoundError(
            "read_edge_list(..., progress=True) draws its bar with tqdm: pip install 'quiverlane[progress]'",
            name="tqdm",
        )
    return os.path.dirname(list(found.submodule_search_locations)[0])


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


def _load_cleaned(file: IO[bytes], name: str, regular: bool, cleaning: Dict[str, Any], options: Options) -> Graph:
    # A pipe can be read only once, so it is checked line by line at once.
    run = _pass(file, regular, dict(cleaning, mode="fast" if regular else "careful"))
    if run.file_error is not None and regular:
        # from_file refused a line that fast mode copied unseen: take every
        # line apart this time, to clean it or to name it.
        careful = dict(cleaning, mode="careful")
        if "progress" in careful:
            careful["progress"] = dict(careful["progress"], desc=careful["progress"]["desc"] + " (each line checked)")
        run = _pass(file, regular, careful)
    if run.refusal is not None:
        refusal = run.refusal
        advice = hint(refusal.line, refusal.reason, refusal.text, refusal.edges_before, options)
        raise EdgeListFormatError(name, refusal.line, refusal.reason, advice)
    if run.file_error is not None:
        if hasattr(run.file_error, "add_note"):
            run.file_error.add_note(f"while loading the cleaned lines of {name!r}")
        raise run.file_error
    assert run.graph is not None
    return run.graph


def _pass(file: IO[bytes], regular: bool, cleaning: Dict[str, Any]) -> _cleaner.Run:
    if "progress" not in cleaning:
        return _cleaner.run(file, regular, cleaning, None)
    bar_fd = os.dup(_stderr_descriptor())
    try:
        return _cleaner.run(file, regular, cleaning, bar_fd)
    finally:
        os.close(bar_fd)


def _stderr_descriptor() -> int:
    try:
        return sys.stderr.fileno()
    except (AttributeError, OSError, ValueError):
        return 2  # a stand-in without a descriptor: the process's own

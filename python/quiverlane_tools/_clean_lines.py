"""Turns a downloaded edge-list file into the strict "u v" form, as a stream.

Run as a script in a child process by read_edge_list: it reads the file from
an inherited descriptor (inflating it when asked), drops comment lines, blank
lines and a MatrixMarket size line, keeps the two chosen columns of every
other line and writes the result to standard output, which is a pipe that the
parent's Graph.from_file reads.

Two modes. "fast" works on runs of ordinary lines in bulk, without a Python
step per line: it copies runs already in strict form and cuts runs whose
lines share a column count down to the chosen two columns. That is most of a
large download; the ids are left for Graph.from_file to check. If it refuses
one, the parent runs the file again in "careful" mode, which takes every line
apart and checks it against the reader's rules, so that a refusal names the
line of the original file. Comment, blank and odd lines go one at a time in
both modes.

A delimiter other than white space is read as the csv module reads one:
each line splits at every delimiter into fields, blanks around a field are
dropped, and the chosen fields are the edge's ends. Fast mode replaces the
delimiter by a space in runs of lines whose every field is one token, which
gives the same lines; any other line is taken apart field by field.

Only the standard library is used, and nothing is imported from this package,
so the script runs under `python -I -S`. Arguments: the descriptor to read
and a JSON object of options (see main).

Exit status 0: every line was written. Status 3: a line or the file was
refused; the last line of standard error is a JSON object with the 1-based
"line" (null when no line applies), the "reason", the refused line's first
bytes as "text" and "edges_before", whether any edge came before it.
"""

from __future__ import annotations

import gzip
import json
import os
import re
import sys
import zlib
from typing import IO, Any, Protocol, cast

BLOCK = 1 << 20
# How much of a refused line goes back to the parent, which suggests options.
SHOWN_BYTES = 200
MAX_VERTEX = 0xFFFFFFFF
UTF8_BOM = b"\xef\xbb\xbf"
REFUSED = 3

# Lines that are already in the strict form: two unsigned ids of at most nine
# digits (so below 2**32 whatever they hold), ASCII blanks, optional CR.
STRICT_LINES = re.compile(rb"(?:[ \t]*\+?[0-9]{1,9}[ \t]+\+?[0-9]{1,9}[ \t\r]*\n)+")
# What ends a run of lines that fast mode copies unseen: a byte that is
# neither a digit nor a blank, or a blank line.
NOT_DIGIT_OR_BLANK = re.compile(rb"[^0-9 \t\r\n]")
BLANK_LINES = (b"\n\n", b"\n\r\n")
NOT_ASCII = re.compile(rb"[\x80-\xff]")
VERTEX_TOKEN = re.compile(rb"\+?[0-9]+")
# The characters with the Unicode White_Space property, which separate tokens.
UNICODE_BLANKS = re.compile(
    "[\u0009-\u000d\u0020\u0085\u00a0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+"
)


class Source(Protocol):
    def read(self, size: int, /) -> bytes: ...


class Sink(Protocol):
    def write(self, data: bytes, /) -> int: ...


class Refusal(Exception):
    """A line (or the file) that cannot become an edge."""

    def __init__(self, line: int | None, reason: str, text: bytes = b"", edges_before: bool = False) -> None:
        super().__init__(reason)
        self.line = line
        self.reason = reason
        self.text = text[:SHOWN_BYTES]
        self.edges_before = edges_before

    def report(self) -> str:
        text = self.text.decode("utf-8", "replace")
        return json.dumps({"line": self.line, "reason": self.reason, "text": text, "edges_before": self.edges_before})


class Cleaner:
    """Per-file state: which columns to keep and where the header ends."""

    def __init__(
        self,
        comments: bytes,
        columns: tuple[int, int],
        careful: bool,
        delimiter: bytes | None = None,
        skip_header: int = 0,
    ) -> None:
        self.comment_starts = {comments[i : i + 1] for i in range(len(comments))}
        self.run_breaks = [b"\n" + c for c in self.comment_starts] + list(BLANK_LINES)
        self.columns = columns
        self.needed = max(columns) + 1
        self.fast = not careful
        self.delimiter = delimiter
        # Runs are cut in bulk only where the delimiter can become a space.
        self.bulk_delimiter = delimiter is not None and not delimiter.isspace()
        self.skip_header = skip_header
        self.line = 0  # 1-based number of the last line consumed
        self.size_line_pending = False  # set by a MatrixMarket header
        self.edges_before = False

    def clean(self, text: bytes, out: list[bytes]) -> None:
        """Appends the cleaned form of the complete lines in `text`."""
        pos, end = self.skip_header_lines(text), len(text)
        bulk = self.fast and (self.delimiter is None or self.bulk_delimiter)
        while pos < end:
            if bulk and not self.size_line_pending:
                stop = self.take_run(text, pos, end, out)
                if stop > pos:
                    self.line += text.count(b"\n", pos, stop)
                    self.edges_before = True
                    pos = stop
                    continue
            stop = text.find(b"\n", pos)
            stop = end if stop < 0 else stop + 1
            self.line += 1
            cleaned = self.clean_line(text[pos:stop])
            if cleaned is not None:
                out.append(cleaned)
                self.edges_before = True
            pos = stop

    def skip_header_lines(self, text: bytes) -> int:
        """Consumes the header lines still to skip at the start of `text`; returns where the rest starts."""
        pos = 0
        while self.line < self.skip_header and pos < len(text):
            stop = text.find(b"\n", pos)
            pos = len(text) if stop < 0 else stop + 1
            self.line += 1
        return pos

    def take_run(self, text: bytes, pos: int, end: int, out: list[bytes]) -> int:
        """Cleans a run of ordinary lines from `pos` in bulk; returns its end.

        Lines in strict form are copied; lines that all hold as many columns
        as the first are cut down to the chosen two. The ids are left for the
        reader to check. Returns `pos` if the line at `pos` is not ordinary.
        """
        if self.columns == (0, 1) and self.delimiter is None:
            stop = copyable_run_end(text, pos, end)
            if stop > pos:
                out.append(text[pos:stop])
                return stop
        first_line_end = text.find(b"\n", pos, end)
        if text[pos : end if first_line_end < 0 else first_line_end].lstrip()[:1] in self.comment_starts:
            return pos
        limit = self.run_limit(text, pos, end)
        lines = text[pos:limit].split(b"\n")
        if lines[-1] == b"":
            lines.pop()
        split_lines = lines if self.delimiter is None else [line.replace(self.delimiter, b" ") for line in lines]
        counts = list(map(len, map(bytes.split, split_lines)))
        if self.delimiter is not None:
            # A line whose fields are not one token each (an empty field, a
            # blank inside one) ends the run and is taken apart on its own.
            fields = [line.count(self.delimiter) + 1 for line in lines]
            counts = [n if n == f else -1 for n, f in zip(counts, fields)]
        width = counts[0] if counts else 0
        if width < self.needed:
            return pos
        if counts.count(width) != len(counts):
            lines = lines[: next(i for i, n in enumerate(counts) if n != width)]
        stop = min(pos + sum(map(len, lines)) + len(lines), end)
        run = text[pos:stop] if self.delimiter is None else text[pos:stop].replace(self.delimiter, b" ")
        tokens = run.split()
        first, second = (tokens[c::width] for c in self.columns)
        out.append(b"\n".join(map(b" ".join, zip(first, second))) + b"\n")
        return stop

    def run_limit(self, text: bytes, pos: int, end: int) -> int:
        """Where the ordinary lines from `pos` end: a comment, a blank line or non-ASCII text."""
        limit = end
        for mark in self.run_breaks:
            at = text.find(mark, pos, limit)
            if at >= 0:
                limit = at + 1
        odd = None if text[pos:limit].isascii() else NOT_ASCII.search(text, pos, limit)
        if odd is not None:
            limit = odd.start()
        line_start = text.rfind(b"\n", pos, limit) if limit < end else limit - 1
        return pos if line_start < 0 else line_start + 1

    def clean_line(self, raw: bytes) -> bytes | None:
        """The "u v\\n" form of one line, or None for a line that holds no edge."""
        if self.line == 1:
            raw = raw.removeprefix(UTF8_BOM)  # written by some Windows tools
            if b"%" in self.comment_starts:
                self.check_matrix_market_header(raw)
        tokens = self.tokens(raw)
        if not tokens or tokens[0][:1] in self.comment_starts:
            return None
        if self.size_line_pending:
            self.size_line_pending = False
            return None
        if len(tokens) < self.needed:
            raise self.refusal(raw, f"expected at least {self.needed} columns, found {len(tokens)}")
        for column in self.columns:
            token = tokens[column]
            if not token:
                raise self.refusal(raw, f"column {column} is empty")
            if not VERTEX_TOKEN.fullmatch(token) or int(token) > MAX_VERTEX:
                raise self.refusal(raw, f"cannot parse vertex id {token.decode('utf-8', 'replace')}")
        u, v = (tokens[i] for i in self.columns)
        return u + b" " + v + b"\n"

    def refusal(self, raw: bytes, reason: str) -> Refusal:
        return Refusal(self.line, reason, raw.rstrip(b"\r\n"), self.edges_before)

    def tokens(self, raw: bytes) -> list[bytes]:
        """The line's tokens: its white-space separated words, or its fields."""
        if raw.isascii():
            return raw.split() if self.delimiter is None else self.fields(raw)
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError:
            stripped = raw.lstrip()
            if stripped[:1] and stripped[:1] in self.comment_starts:
                return [stripped[:1]]  # a comment in another encoding is still a comment
            raise self.refusal(raw, "is not valid UTF-8") from None
        if self.delimiter is None:
            return [token.encode("utf-8") for token in UNICODE_BLANKS.split(text) if token]
        delimiter = self.delimiter.decode("ascii")
        if not UNICODE_BLANKS.sub("", text):
            return []
        return [strip_blanks(field).encode("utf-8") for field in text.split(delimiter)]

    def fields(self, raw: bytes) -> list[bytes]:
        assert self.delimiter is not None
        if not raw.strip():
            return []  # a blank line holds no fields, not one empty one
        return [field.strip() for field in raw.split(self.delimiter)]

    def check_matrix_market_header(self, raw: bytes) -> None:
        words = raw.lower().split()
        if not words or words[0] != b"%%matrixmarket":
            return
        if b"array" in words:
            raise Refusal(1, "a MatrixMarket array holds a dense matrix, not an edge list")
        self.size_line_pending = True


def copyable_run_end(text: bytes, pos: int, end: int) -> int:
    """Where the run of lines from `pos` that fast mode copies unseen ends.

    The run holds digits and blanks only, no blank line, and its first line
    holds two tokens (a file with a third column is cut by take_run instead).
    Scanning is done by the regular-expression engine and bytes methods, in C.
    """
    first_line_end = text.find(b"\n", pos, end)
    if len(text[pos : end if first_line_end < 0 else first_line_end].split()) != 2:
        return pos
    limit = end
    odd = NOT_DIGIT_OR_BLANK.search(text, pos, end)
    if odd is not None:
        limit = odd.start()
    for blank in BLANK_LINES:
        at = text.find(blank, pos, limit)
        if at >= 0:
            limit = at + 1
    if limit == end:
        return end
    line_start = text.rfind(b"\n", pos, limit)
    return pos if line_start < 0 else line_start + 1


def strip_blanks(text: str) -> str:
    """`text` without the white space (in the reader's sense) at either end."""
    start = UNICODE_BLANKS.match(text)
    text = text[start.end() :] if start else text
    end = re.search(UNICODE_BLANKS.pattern + "$", text)
    return text[: end.start()] if end else text


class Counted:
    """A source that moves a progress bar by the bytes read through it."""

    def __init__(self, source: Source, bar: Any) -> None:
        self.source = source
        self.bar = bar

    def read(self, size: int, /) -> bytes:
        data = self.source.read(size)
        self.bar.update(len(data))
        return data


def stream(source: Source, sink: Sink, cleaner: Cleaner) -> None:
    tail = b""
    while True:
        block = source.read(BLOCK)
        text = tail + block
        cut = text.rfind(b"\n") + 1 if block else len(text)
        tail = text[cut:]
        out: list[bytes] = []
        try:
            cleaner.clean(text[:cut], out)
        finally:
            # On a refusal too: the reader must see every line before the
            # refused one, since it may refuse one of those first.
            sink.write(b"".join(out))
        if not block:
            break


def progress_bar(options: dict[str, Any]) -> Any:
    """A tqdm bar on the descriptor the parent passed, or None when none was asked for."""
    progress = options.get("progress")
    if progress is None:
        return None
    # Run with -S, so tqdm's folder comes from the parent.
    sys.path.insert(0, progress["path"])
    from tqdm import tqdm

    # The bar moves with every block read, so tqdm's monitor thread, which
    # only matters for a loop that stalls, would do nothing but outlive the
    # process's last step.
    tqdm.monitor_interval = 0
    out = open(progress["fd"], "w", encoding="utf-8", errors="replace")
    return tqdm(
        total=progress["total"], desc=progress["desc"], unit="B", unit_scale=True, unit_divisor=1024, file=out
    )


def main(argv: list[str]) -> int:
    fd, encoded = argv
    options = json.loads(encoded)
    delimiter = options["delimiter"]
    first, second = options["columns"]
    cleaner = Cleaner(
        options["comments"].encode("ascii"),
        (first, second),
        careful=options["mode"] == "careful",
        delimiter=None if delimiter is None else delimiter.encode("ascii"),
        skip_header=options["skip_header"],
    )
    sink = sys.stdout.buffer
    bar = progress_bar(options)
    try:
        with os.fdopen(int(fd), "rb", buffering=BLOCK) as raw:
            source: Source = raw if bar is None else Counted(raw, bar)
            if options["gzip"]:
                with gzip.GzipFile(fileobj=cast(IO[bytes], source), mode="rb") as inflated:
                    stream(inflated, sink, cleaner)
            else:
                stream(source, sink, cleaner)
        sink.flush()
    except Refusal as refusal:
        sys.stderr.write(refusal.report() + "\n")
        return REFUSED
    except (OSError, EOFError, zlib.error) as error:
        if isinstance(error, BrokenPipeError):
            # The reader stopped early and reports why; keep the exit quiet.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
            return 1
        reason = f"cannot be read after line {cleaner.line}: {error}"
        sys.stderr.write(Refusal(None, reason).report() + "\n")
        return REFUSED
    finally:
        if bar is not None:
            bar.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

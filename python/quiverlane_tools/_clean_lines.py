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

Only the standard library is used, and nothing is imported from this package,
so the script runs under `python -I -S`.

Exit status 0: every line was written. Status 3: a line or the file was
refused; standard error holds "LINE<TAB>REASON" ("-" when no line applies).
"""

from __future__ import annotations

import gzip
import os
import re
import sys
import zlib
from typing import Protocol

BLOCK = 1 << 20
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

    def __init__(self, line: int | None, reason: str) -> None:
        super().__init__(reason)
        self.line = line
        self.reason = reason


class Cleaner:
    """Per-file state: which columns to keep and where the header ends."""

    def __init__(self, comments: bytes, columns: tuple[int, int], careful: bool) -> None:
        self.comment_starts = {comments[i : i + 1] for i in range(len(comments))}
        self.run_breaks = [b"\n" + c for c in self.comment_starts] + list(BLANK_LINES)
        self.columns = columns
        self.needed = max(columns) + 1
        self.fast = not careful
        self.line = 0  # 1-based number of the last line consumed
        self.size_line_pending = False

    def clean(self, text: bytes, out: list[bytes]) -> None:
        """Appends the cleaned form of the complete lines in `text`."""
        pos, end = 0, len(text)
        while pos < end:
            if self.fast and not self.size_line_pending:
                stop = self.take_run(text, pos, end, out)
                if stop > pos:
                    self.line += text.count(b"\n", pos, stop)
                    pos = stop
                    continue
            stop = text.find(b"\n", pos)
            stop = end if stop < 0 else stop + 1
            self.line += 1
            cleaned = self.clean_line(text[pos:stop])
            if cleaned is not None:
                out.append(cleaned)
            pos = stop

    def take_run(self, text: bytes, pos: int, end: int, out: list[bytes]) -> int:
        """Cleans a run of ordinary lines from `pos` in bulk; returns its end.

        Lines in strict form are copied; lines that all hold as many columns
        as the first are cut down to the chosen two. The ids are left for the
        reader to check. Returns `pos` if the line at `pos` is not ordinary.
        """
        if self.columns == (0, 1):
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
        counts = list(map(len, map(bytes.split, lines)))
        width = counts[0] if counts else 0
        if width < self.needed:
            return pos
        if counts.count(width) != len(counts):
            lines = lines[: next(i for i, n in enumerate(counts) if n != width)]
        stop = min(pos + sum(map(len, lines)) + len(lines), end)
        tokens = text[pos:stop].split()
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
            raise Refusal(
                self.line, f"expected at least {self.needed} columns, found {len(tokens)}"
            )
        u, v = (tokens[i] for i in self.columns)
        check_vertex(u, self.line)
        check_vertex(v, self.line)
        return u + b" " + v + b"\n"

    def tokens(self, raw: bytes) -> list[bytes]:
        if raw.isascii():
            return raw.split()
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError:
            stripped = raw.lstrip()
            if stripped[:1] and stripped[:1] in self.comment_starts:
                return [stripped[:1]]  # a comment in another encoding is still a comment
            raise Refusal(self.line, "is not valid UTF-8") from None
        return [token.encode("utf-8") for token in UNICODE_BLANKS.split(text) if token]

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


def check_vertex(token: bytes, line: int) -> None:
    if not VERTEX_TOKEN.fullmatch(token) or int(token) > MAX_VERTEX:
        shown = token.decode("utf-8", "replace")
        raise Refusal(line, f"cannot parse vertex id {shown}")


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


def main(argv: list[str]) -> int:
    fd, inflate, mode, comments, first, second = argv
    cleaner = Cleaner(bytes.fromhex(comments), (int(first), int(second)), careful=mode == "careful")
    sink = sys.stdout.buffer
    try:
        with os.fdopen(int(fd), "rb", buffering=BLOCK) as raw:
            if inflate == "gzip":
                with gzip.GzipFile(fileobj=raw, mode="rb") as inflated:
                    stream(inflated, sink, cleaner)
            else:
                stream(raw, sink, cleaner)
        sink.flush()
    except Refusal as refusal:
        line = "-" if refusal.line is None else str(refusal.line)
        sys.stderr.write(f"{line}\t{refusal.reason}\n")
        return REFUSED
    except (OSError, EOFError, zlib.error) as error:
        if isinstance(error, BrokenPipeError):
            # The reader stopped early and reports why; keep the exit quiet.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
            return 1
        reason = f"cannot be read after line {cleaner.line}: {error}"
        sys.stderr.write(f"-\t{reason}\n")
        return REFUSED
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

"""Turns a downloaded edge-list file into the strict "u v" form, as a stream.

Run as a script in a child process by read_edge_list: it reads the file from
an inherited descriptor (inflating it when asked), drops comment lines, blank
lines and a MatrixMarket size line, keeps the two chosen columns of every
other line and writes the result to standard output, which is a pipe that the
parent's Graph.from_file reads. It checks every line it writes against the
reader's rules, so a refusal names the line of the original file.

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
# Runs of such lines are copied through unchanged without a Python loop.
STRICT_LINES = re.compile(rb"(?:[ \t]*\+?[0-9]{1,9}[ \t]+\+?[0-9]{1,9}[ \t\r]*\n)+")
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

    def __init__(self, comments: bytes, columns: tuple[int, int]) -> None:
        self.comment_starts = {comments[i : i + 1] for i in range(len(comments))}
        self.columns = columns
        self.needed = max(columns) + 1
        self.strict_copy = columns == (0, 1)
        self.line = 0  # 1-based number of the last line consumed
        self.size_line_pending = False

    def clean(self, text: bytes, out: list[bytes]) -> None:
        """Appends the cleaned form of the complete lines in `text`."""
        pos, end = 0, len(text)
        while pos < end:
            if self.strict_copy and not self.size_line_pending:
                run = STRICT_LINES.match(text, pos)
                if run:
                    out.append(text[pos : run.end()])
                    self.line += text.count(b"\n", pos, run.end())
                    pos = run.end()
                    continue
            stop = text.find(b"\n", pos)
            stop = end if stop < 0 else stop + 1
            self.line += 1
            cleaned = self.clean_line(text[pos:stop])
            if cleaned is not None:
                out.append(cleaned)
            pos = stop

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


def check_vertex(token: bytes, line: int) -> None:
    if not VERTEX_TOKEN.fullmatch(token) or int(token) > MAX_VERTEX:
        shown = token.decode("utf-8", "replace")
        raise Refusal(line, f"cannot parse vertex id {shown}")


def stream(source: Source, sink: Sink, cleaner: Cleaner) -> None:
    tail = b""
    while True:
        block = source.read(BLOCK)
        if not block:
            break
        text = tail + block
        cut = text.rfind(b"\n") + 1
        tail = text[cut:]
        out: list[bytes] = []
        cleaner.clean(text[:cut], out)
        sink.write(b"".join(out))
    if tail:
        out = []
        cleaner.clean(tail, out)
        sink.write(b"".join(out))


def main(argv: list[str]) -> int:
    fd, inflate, comments, first, second = argv
    cleaner = Cleaner(bytes.fromhex(comments), (int(first), int(second)))
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

"""What to pass to read_edge_list so that a refused line reads.

A refusal says what is wrong with a line; the hint says which option would
read it, worked out from the line itself and the options in force. Where no
option can, the hint says what the line would need.
"""

from __future__ import annotations

import re
from typing import List, NamedTuple, Optional, Tuple

# Characters that separate columns in the files people export.
LIKELY_DELIMITERS = ",;|"
LETTER = re.compile(r"[A-Za-z]")


class Options(NamedTuple):
    """The read_edge_list options that a hint may change."""

    comments: str
    columns: Tuple[int, int]
    delimiter: Optional[str]
    skip_header: int


def hint(line: Optional[int], reason: str, text: str, edges_before: bool, options: Options) -> str:
    """The advice that goes with a refusal of `text`, line `line` of the file."""
    if line is None:
        return ""
    passes = _options_that_read(line, reason, text, edges_before, options)
    if passes:
        return "to read it, pass " + " and ".join(passes)
    return _what_the_line_needs(reason)


def _options_that_read(
    line: int, reason: str, text: str, edges_before: bool, options: Options
) -> List[str]:
    passes = []
    stripped = text.strip()
    if options.delimiter is None or options.delimiter not in stripped:
        found = [d for d in LIKELY_DELIMITERS if d in stripped and d != options.delimiter]
        if found:
            passes.append(f"delimiter={found[0]!r}")
        elif options.delimiter is not None and len(stripped.split()) >= 2:
            passes.append("delimiter=None (columns separated by white space)")
    first = stripped[:1]
    found_columns = int(reason.rsplit(" ", 1)[1]) if reason.startswith("expected at least") else None
    if first and not first.isalnum() and first not in "+-\"'" + LIKELY_DELIMITERS + options.comments:
        passes.append(f"comments={options.comments + first!r} if lines starting with {first!r} are comments")
    elif not edges_before and (LETTER.search(stripped) or (found_columns == 1 and not passes)):
        passes.append(f"skip_header={line} if {_lines(line)} a header")
    if not passes and found_columns is not None and found_columns >= 2:
        passes.append(f"columns=(i, j) with both below {found_columns}")
    return passes


def _what_the_line_needs(reason: str) -> str:
    if reason.startswith("cannot parse vertex id"):
        return "no option reads it: vertex ids are whole numbers from 0 to 4294967295"
    if reason.startswith("column"):
        return "no option reads it: an edge needs both of its ends"
    if reason == "is not valid UTF-8":
        return "no option reads it: only comment lines may be in another encoding than UTF-8"
    if reason.startswith("a MatrixMarket array"):
        return "no option reads it: store the matrix in coordinate form"
    if reason.startswith("expected at least"):
        return "no option reads a line with fewer than two columns"
    return ""


def _lines(count: int) -> str:
    return "line 1 is" if count == 1 else f"lines 1 to {count} are"

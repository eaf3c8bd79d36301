"""One pass of a file through the line cleaner, a child process, into Graph.from_file."""

from __future__ import annotations

import json
import os
import sys
from typing import IO, Any, Dict, List, Optional

from quiverlane import Graph

from . import _clean_lines
from ._piped import load_from_child

CLEANER = _clean_lines.__file__


class Refusal:
    """The line cleaner's own refusal of an original line, or of the file."""

    def __init__(self, report: str) -> None:
        fields = json.loads(report.strip().splitlines()[-1])
        self.line: Optional[int] = fields["line"]
        self.reason: str = fields["reason"]
        self.text: str = fields["text"]
        self.edges_before: bool = fields["edges_before"]


class Run:
    """What one pass through the line cleaner gave."""

    def __init__(self, graph: Optional[Graph], file_error: Optional[OSError], refusal: Optional[Refusal]) -> None:
        self.graph = graph
        self.file_error = file_error  # from_file refused the cleaned stream
        self.refusal = refusal  # the cleaner refused an original line


def run(file: IO[bytes], regular: bool, options: Dict[str, Any], bar_fd: Optional[int]) -> Run:
    """Streams the file through the line cleaner into Graph.from_file.

    `options` go to the cleaner as they are (see _clean_lines.main); with
    `bar_fd`, the cleaner draws its progress bar there.
    """
    fd = file.fileno()
    if regular:
        # The child shares this descriptor's offset, which a peek or an
        # earlier pass moved; Python's own seek may only move within its
        # buffer and leave the descriptor where it was.
        os.lseek(fd, 0, os.SEEK_SET)
    pass_fds: List[int] = [fd]
    if bar_fd is not None:
        options = dict(options, progress=dict(options["progress"], fd=bar_fd))
        pass_fds.append(bar_fd)
    command = [sys.executable, "-I", "-S", CLEANER, str(fd), json.dumps(options)]
    piped = load_from_child(command, pass_fds)
    if piped.status == _clean_lines.REFUSED:
        return Run(None, piped.file_error, Refusal(piped.report))
    if piped.file_error is None and (piped.status != 0 or piped.graph is None):
        raise RuntimeError(f"the line cleaner failed (exit status {piped.status}): {piped.report.strip()}")
    return Run(piped.graph, piped.file_error, None)

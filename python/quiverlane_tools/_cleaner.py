"""One pass of a file through the line cleaner, a child process, into Graph.from_file."""

from __future__ import annotations

import json
import os
import subprocess
import sys
from typing import IO, Any, Dict, List, Optional

from quiverlane import Graph

from . import _clean_lines

CLEANER = _clean_lines.__file__
PIPE_BYTES = 1 << 20


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
    child = subprocess.Popen(
        command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, pass_fds=pass_fds
    )
    assert child.stdout is not None and child.stderr is not None
    _widen_pipe(child.stdout.fileno())
    graph: Optional[Graph] = None
    file_error: Optional[OSError] = None
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
        return Run(None, file_error, Refusal(report))
    if file_error is None and (status != 0 or graph is None):
        raise RuntimeError(f"the line cleaner failed (exit status {status}): {report.strip()}")
    return Run(graph, file_error, None)


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

"""Round-robin timing of several ways of doing the same thing.

Each round runs every contender once, in turn, so drift on a noisy machine
touches all of them alike; the best time per contender counts.  A contender
is not run again once its runs add up to more than `budget` seconds: a slow
one's figure is far from the others' anyway, and the whole run has to stay
short.  So a 20 s contender runs once, a 5 s one twice.

Before each timed run the cyclic collector is run to completion, so no
contender pays for another's garbage.  The graphs under test are built first
and then frozen (`settle`), so those passes and the collector's own passes
during a run do not walk them over and over; this spares only the peers that
keep their graph in Python objects (NetworkX), never us, so it errs in the
peers' favour.  During the run the collector stays as
a caller has it (on), unless the race says otherwise.

Each run is timed twice over: `best` is the call alone (the result is held
until the clock has stopped, so freeing it is not in it), `best_freed` is the
call plus dropping its result, timed in the same run on either side of the
result's summary.  Peer ratios use the first, as they always have; floor
ratios the second, for ours and the floor alike, since a result built in a
better order is also cheaper to free.
"""
from __future__ import annotations

import contextlib
import gc
import sys
import time
from dataclasses import dataclass
from typing import Any, Callable

DEFAULT_BUDGET = 8.0


@dataclass
class Contender:
    key: str
    run: Callable[[], Any]
    # Maps the result to something comparable across contenders (sizes,
    # counts); results whose summaries differ are reported as a mismatch.
    summary: Callable[[Any], Any] | None = None
    collector_on: bool = True


@dataclass
class Timing:
    best: float
    runs: int
    summary: Any = None
    spent: float = 0.0
    best_freed: float = 0.0


def settle() -> None:
    """Moves every object alive now out of the collector's sight (see above)."""
    gc.collect()
    gc.freeze()


def unsettle() -> None:
    """Hands frozen objects back to the collector, before dropping a test graph."""
    gc.unfreeze()
    gc.collect()


@contextlib.contextmanager
def collector(on: bool):
    """A clean start for one timed run: the collector run to completion, then left on or off."""
    gc.collect()
    if not on:
        gc.disable()
    try:
        yield
    finally:
        gc.enable()


def time_once(run: Callable[[], Any], collector_on: bool = True):
    """Seconds taken by run(), and its result."""
    with collector(collector_on):
        start = time.perf_counter()
        result = run()
        elapsed = time.perf_counter() - start
    return elapsed, result


def time_freed(run: Callable[[], Any], collector_on: bool = True,
               summarize: Callable[[Any], Any] | None = None):
    """Seconds of run(), seconds of run() plus freeing its result, and its summary.

    The summary is taken between the two clocks, so it is in neither.
    """
    with collector(collector_on):
        start = time.perf_counter()
        result = run()
        built = time.perf_counter()
        summary = summarize(result) if summarize else None
        freeing = time.perf_counter()
        del result
        freed = time.perf_counter()
    return built - start, (built - start) + (freed - freeing), summary


def race(contenders: list[Contender], repeats: int,
         budget: float = DEFAULT_BUDGET) -> dict[str, Timing]:
    timings: dict[str, Timing] = {}
    for _ in range(repeats):
        for contender in contenders:
            known = timings.get(contender.key)
            if known is not None and known.spent > budget:
                continue
            first = known is None
            elapsed, freed, summary = time_freed(contender.run, contender.collector_on,
                                                 contender.summary if first else None)
            if first:
                timings[contender.key] = Timing(elapsed, 1, summary, elapsed, freed)
            else:
                known.best = min(known.best, elapsed)
                known.best_freed = min(known.best_freed, freed)
                known.runs += 1
                known.spent += elapsed
    _check_agreement(contenders, timings)
    return timings


def _check_agreement(contenders, timings) -> None:
    with_summary = [c for c in contenders if c.summary is not None]
    if not with_summary:
        return
    expected = timings[with_summary[0].key].summary
    for contender in with_summary[1:]:
        got = timings[contender.key].summary
        if got != expected:
            print(f"  MISMATCH: {contender.key} gave {got!r}, "
                  f"{with_summary[0].key} gave {expected!r}", file=sys.stderr)

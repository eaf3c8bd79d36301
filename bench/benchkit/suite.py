"""One benchmark row: ours, the peers and the floors, raced and turned into ratios."""
from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Callable

from benchkit.record import Recorder
from benchkit.timing import DEFAULT_BUDGET, Contender, race

OURS, PEER, FLOOR, REFERENCE = "ours", "peer", "floor", "reference"


@dataclass
class Entry:
    key: str
    label: str
    role: str
    run: Callable[[], Any]
    summary: Callable[[Any], Any] | None = None
    note: str = ""
    collector_on: bool = True
    headline: bool = True


def measure(recorder: Recorder, row: str, entries: list[Entry], repeats: int,
            budget: float = DEFAULT_BUDGET, per: int = 1) -> None:
    """Races the entries and records their times and ratios under `row`.

    The first OURS entry is the denominator of every peer's ratio and the
    numerator of every floor's; REFERENCE entries are recorded without a ratio.
    Peer ratios compare the calls alone; floor ratios compare the calls plus
    freeing their results (the `:freed` figures of ours and the floors).
    With `per`, each run does that many calls and the figures are per call.
    """
    print(f"  {row}", flush=True)
    contenders = [Contender(e.key, e.run, e.summary, e.collector_on) for e in entries]
    timings = race(contenders, repeats, budget)
    for entry in entries:
        timing = timings[entry.key]
        recorder.figure(entry.key, entry.label, timing.best / per, runs=timing.runs,
                        note=entry.note)
        if entry.role in (OURS, FLOOR):
            recorder.figure(f"{entry.key}:freed", f"{entry.label}, result freed",
                            timing.best_freed / per, runs=timing.runs, note=entry.note)
    ours = next(e for e in entries if e.role == OURS)
    for entry in entries:
        if entry.role == PEER:
            recorder.ratio(row, f"{entry.label} / ours", "peer/ours", entry.key, ours.key,
                           entry.headline, entry.note)
        elif entry.role == FLOOR:
            recorder.ratio(row, f"ours / {entry.label}", "ours/floor", f"{ours.key}:freed",
                           f"{entry.key}:freed", entry.headline, entry.note)

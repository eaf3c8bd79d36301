"""What a suite measured: raw figures and the ratios built from them.

Each suite fills one Recorder, prints its own table and saves the record as
JSON for run_all.py, which gathers every suite's record into the headline
table, the Markdown report and the chart.

Ratio kinds, each printed with its own label:
  peer/ours      a peer library's time over ours: above 1, we are faster.
  ours/floor     our time over the cheapest possible way to produce the same
                 Python result or do the same I/O: 1 is the best reachable.
  ours/no-op     a per-call loop over the same loop calling a no-op C method.
  peer/ours mem  a peer's peak memory growth per edge over ours.
  latency/target the worst time from Ctrl-C to the exception out of a long
                 call over its 0.5 s target: at most 1 meets it.
"""
from __future__ import annotations

import json
from dataclasses import asdict, dataclass, field
from pathlib import Path

KINDS = {
    "peer/ours": "peer time / ours",
    "ours/floor": "ours / floor",
    "ours/no-op": "ours / no-op call",
    "peer/ours mem": "peer B/edge / ours",
    "extra/inflate": "(gzip - plain) / inflate",
    "latency/target": "worst latency / target",
}


@dataclass
class Figure:
    key: str
    label: str
    value: float
    unit: str = "s"
    runs: int = 1
    note: str = ""


@dataclass
class Ratio:
    row: str
    label: str
    kind: str
    numerator: str
    denominator: str
    value: float
    headline: bool = True
    note: str = ""


@dataclass
class Recorder:
    suite: str
    title: str
    figures: dict[str, Figure] = field(default_factory=dict)
    ratios: list[Ratio] = field(default_factory=list)
    notes: list[str] = field(default_factory=list)
    context: dict = field(default_factory=dict)

    def figure(self, key: str, label: str, value: float, unit: str = "s",
               runs: int = 1, note: str = "") -> None:
        self.figures[key] = Figure(key, label, value, unit, runs, note)

    def timings(self, labels: dict[str, str], timings: dict) -> None:
        """Records a race's best times; `labels` maps contender keys to labels."""
        for key, timing in timings.items():
            self.figure(key, labels.get(key, key), timing.best, runs=timing.runs)

    def ratio(self, row: str, label: str, kind: str, numerator: str, denominator: str,
              headline: bool = True, note: str = "") -> None:
        """Records figures[numerator] / figures[denominator], when both exist."""
        if kind not in KINDS:
            raise ValueError(f"unknown ratio kind {kind}")
        top, bottom = self.figures.get(numerator), self.figures.get(denominator)
        if top is None or bottom is None or bottom.value <= 0:
            return
        self.ratios.append(Ratio(row, label, kind, numerator, denominator,
                                 top.value / bottom.value, headline, note))

    def note(self, text: str) -> None:
        self.notes.append(text)

    def save(self, path: str | Path | None) -> None:
        if not path:
            return
        record = {"suite": self.suite, "title": self.title, "context": self.context,
                  "notes": self.notes,
                  "figures": {k: asdict(f) for k, f in self.figures.items()},
                  "ratios": [asdict(r) for r in self.ratios]}
        Path(path).write_text(json.dumps(record, indent=1))


def _row_key(row: str):
    """'1b edges()' -> (1, 'b'): rows sort by their number, then letter."""
    head = row.split(" ", 1)[0]
    digits = "".join(c for c in head if c.isdigit())
    return (int(digits) if digits and head[0].isdigit() else 1000, head)


def in_row_order(ratios: list) -> list:
    """The ratios sorted by row number; within a row, in the order recorded."""
    return sorted(ratios, key=lambda r: _row_key(r.row))


def load(path: str | Path) -> Recorder:
    record = json.loads(Path(path).read_text())
    recorder = Recorder(record["suite"], record["title"], context=record.get("context", {}),
                        notes=record.get("notes", []))
    recorder.figures = {k: Figure(**f) for k, f in record["figures"].items()}
    recorder.ratios = [Ratio(**r) for r in record["ratios"]]
    return recorder

"""The Markdown report and the raw-figures JSON of one run of run_all.py."""
from __future__ import annotations

import json
from dataclasses import asdict
from pathlib import Path

from benchkit.record import KINDS, in_row_order
from benchkit.table import format_ratio, format_value

METHOD = """\
Each suite runs in its own interpreter.  Within a row, every contender runs
in turn, round after round (so drift on this shared machine touches all of
them alike), and its best time counts; contenders slower than a few seconds
run once or twice.  The cyclic collector runs to completion before each timed
run and stays on during it, as a caller has it (the per-call loops of row 8
run with it off, as `timeit` does); results are freed after the clock stops.
The test graphs are built before any timing, every library gets the same
graph (peers that number vertices 0..n-1 get the ids renumbered in order of
first appearance) and the same queries, and the result sizes are checked to
agree.  Ratios come from one run; absolute times move by up to 30% between
runs on this machine, so quote the ratios.  bench/README.md explains every
row."""


def _machine_table(machine: dict) -> list[str]:
    lines = ["| | |", "|---|---|"]
    for key in ("date", "cpu", "cores", "memory", "kernel", "python", "quiverlane"):
        lines.append(f"| {key} | {machine[key]} |")
    versions = ", ".join(f"{name} {version}" for name, version in machine["libraries"].items())
    lines.append(f"| libraries | {versions} |")
    return lines


def _ratio_table(ratios, with_row: bool = True) -> list[str]:
    head = ("| row " if with_row else "") + "| comparison | ratio | ratio is | note |"
    rule = ("|---" if with_row else "") + "|---|---:|---|---|"
    lines = [head, rule]
    last = None
    for ratio in ratios:
        row = ratio.row if ratio.row != last else ""
        last = ratio.row
        lines.append((f"| {row} " if with_row else "")
                     + f"| {ratio.label} | {format_ratio(ratio.value)} | {KINDS[ratio.kind]}"
                     f" | {ratio.note} |")
    return lines


def _suite_section(record) -> list[str]:
    lines = [f"### {record.title} (`bench_{record.suite}.py`)", ""]
    for key, value in record.context.items():
        lines.append(f"- {key}: {value}")
    lines += ["", "| measured | value | runs | note |", "|---|---:|---:|---|"]
    for figure in record.figures.values():
        lines.append(f"| {figure.label} | {format_value(figure.value, figure.unit)} | "
                     f"{figure.runs} | {figure.note} |")
    if record.ratios:
        lines += [""] + _ratio_table(record.ratios)
    for note in record.notes:
        lines.append(f"\n- {note}")
    return lines + [""]


def markdown(title: str, command: str, machine: dict, records, failures, seconds,
             chart: str | None) -> str:
    headline = in_row_order([r for record in records for r in record.ratios if r.headline])
    lines = [f"# {title}", "", f"One run of `{command}`, {seconds / 60:.1f} minutes in all.", "",
             "## Machine", ""] + _machine_table(machine)
    lines += ["", "## Method", "", METHOD, ""]
    if failures:
        lines += ["**Suites that failed:** " + ", ".join(failures), ""]
    if chart:
        lines += [f"![headline ratios]({chart})", ""]
    lines += ["## Headline ratios", "",
              "`peer time / ours` above 1 means quiverlane is faster; `ours / floor` and "
              "`ours / no-op call` are 1 at best.", ""] + _ratio_table(headline)
    lines += ["", "## Every figure, by suite", ""]
    for record in records:
        lines += _suite_section(record)
    return "\n".join(lines) + "\n"


def raw_json(machine: dict, command: str, records, failures, seconds) -> str:
    return json.dumps({
        "machine": machine, "command": command, "seconds": seconds, "failed": failures,
        "suites": [{"suite": r.suite, "title": r.title, "context": r.context, "notes": r.notes,
                    "figures": {k: asdict(f) for k, f in r.figures.items()},
                    "ratios": [asdict(x) for x in r.ratios]} for r in records],
    }, indent=1)


def write(directory: Path, stem: str, markdown_text: str, json_text: str) -> Path:
    directory.mkdir(parents=True, exist_ok=True)
    (directory / f"{stem}.json").write_text(json_text)
    path = directory / f"{stem}.md"
    path.write_text(markdown_text)
    return path

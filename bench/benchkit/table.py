"""Plain-text tables for the terminal."""
from __future__ import annotations

from benchkit.record import KINDS, Recorder


def format_value(value: float, unit: str) -> str:
    if unit != "s":
        return f"{value:.1f} {unit}"
    if value >= 1:
        return f"{value:.2f} s"
    if value >= 1e-3:
        return f"{value * 1e3:.1f} ms"
    return f"{value * 1e6:.1f} us"


def format_ratio(value: float) -> str:
    return f"{value:.2f}x" if value < 100 else f"{value:.0f}x"


def print_figures(recorder: Recorder) -> None:
    if not recorder.figures:
        return
    width = max(len(f.label) for f in recorder.figures.values())
    print(f"\n{'measured':<{width}}  {'value':>12}  runs")
    for figure in recorder.figures.values():
        note = f"  {figure.note}" if figure.note else ""
        print(f"{figure.label:<{width}}  {format_value(figure.value, figure.unit):>12}"
              f"  {figure.runs:>4}{note}")


def print_ratios(ratios, show_row: bool = True) -> None:
    if not ratios:
        return
    row_width = max(len(r.row) for r in ratios) if show_row else 0
    label_width = max(len(r.label) for r in ratios)
    kind_width = max(len(KINDS[r.kind]) for r in ratios)
    header = (f"{'row':<{row_width}}  " if show_row else "") + \
        f"{'comparison':<{label_width}}  {'ratio':>7}  {'ratio is':<{kind_width}}"
    print("\n" + header)
    print("-" * len(header))
    last_row = None
    for ratio in ratios:
        row = ratio.row if ratio.row != last_row else ""
        last_row = ratio.row
        note = f"  {ratio.note}" if ratio.note else ""
        print((f"{row:<{row_width}}  " if show_row else "")
              + f"{ratio.label:<{label_width}}  {format_ratio(ratio.value):>7}  "
              + f"{KINDS[ratio.kind]:<{kind_width}}{note}")


def print_suite(recorder: Recorder) -> None:
    print_figures(recorder)
    print_ratios(recorder.ratios)
    for note in recorder.notes:
        print(f"note: {note}")

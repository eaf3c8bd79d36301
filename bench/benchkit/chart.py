"""The headline ratios as one PNG: peers against us, and us against our floors."""
from __future__ import annotations

from pathlib import Path

from benchkit.record import in_row_order

COLOURS = {"igraph": "#1f77b4", "rustworkx": "#d62728", "NetworKit": "#2ca02c",
           "NetworkX": "#9467bd", "SciPy": "#ff7f0e", "Python": "#8c564b"}
MARKERS = "os^Dv<>"


def library_of(label: str) -> str:
    words = label.removeprefix("gunzip + ").split()
    return words[0] if words else "?"


def _short(label: str) -> str:
    """'ours / floor: 1 set of 1,000 ints, collector paused' -> '1 set of 1,000 ints'."""
    label = label.removeprefix("ours / ").removeprefix("floor: ")
    return label.split(", collector")[0][:60]


def _plain_ticks(axes) -> None:
    from matplotlib.ticker import FuncFormatter
    axes.xaxis.set_major_formatter(FuncFormatter(lambda x, _: f"{x:g}"))
    axes.xaxis.set_minor_formatter(FuncFormatter(lambda x, _: ""))


def _rows(ratios, kinds):
    rows = []
    for ratio in ratios:
        if ratio.kind in kinds and ratio.row not in rows:
            rows.append(ratio.row)
    return rows


def _peer_panel(axes, ratios) -> None:
    chosen = [r for r in ratios if r.kind in ("peer/ours", "peer/ours mem")]
    rows = _rows(chosen, ("peer/ours", "peer/ours mem"))
    seen_in_row: dict = {}
    for ratio in chosen:
        library = library_of(ratio.label)
        y = len(rows) - 1 - rows.index(ratio.row)
        count = seen_in_row.setdefault((ratio.row, library), [0])
        marker = MARKERS[count[0] % len(MARKERS)]
        count[0] += 1
        axes.scatter(ratio.value, y, color=COLOURS.get(library, "#7f7f7f"), marker=marker,
                     s=36, zorder=3, label=library)
    axes.axvline(1, color="black", linewidth=1)
    axes.set_xscale("log")
    axes.set_yticks(range(len(rows)), list(reversed(rows)), fontsize=8)
    axes.set_xlabel("peer / quiverlane (time, or peak B/edge for row 9); right of 1: we win")
    axes.set_title("quiverlane against the peers\n(a second marker of one colour: "
                   "another form of that peer's call)", fontsize=9)
    axes.grid(axis="x", which="both", alpha=0.3)
    _plain_ticks(axes)
    handles, labels = axes.get_legend_handles_labels()
    unique: dict = {}
    for handle, label in zip(handles, labels):
        unique.setdefault(label, handle)  # the first (round) marker stands for the library
    axes.legend(unique.values(), unique.keys(), fontsize=8, loc="upper center",
                bbox_to_anchor=(0.5, -0.1), ncol=len(unique))


def _floor_panel(axes, ratios) -> None:
    chosen = [r for r in ratios if r.kind in ("ours/floor", "ours/no-op")]
    labels = [f"{r.row}: {_short(r.label)}" if r.kind == "ours/floor" else r.row
              for r in chosen]
    values = [r.value for r in chosen]
    positions = range(len(chosen) - 1, -1, -1)
    colours = ["#17becf" if r.kind == "ours/floor" else "#bcbd22" for r in chosen]
    axes.barh(list(positions), values, color=colours, zorder=3)
    axes.axvline(1, color="black", linewidth=1)
    axes.set_xscale("log")
    axes.set_yticks(list(positions), labels, fontsize=7)
    axes.set_xlabel("quiverlane / floor; 1: nothing left to gain")
    axes.set_title("quiverlane against its floors\n(blue: Python result or I/O floor; "
                   "olive: a no-op C call)", fontsize=9)
    axes.grid(axis="x", which="both", alpha=0.3)
    _plain_ticks(axes)


def draw(ratios, path: Path, title: str) -> Path | None:
    """Writes the chart; returns None (with a message) when matplotlib is missing."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as pyplot
    except ImportError:
        print("(no chart: matplotlib is not installed; pip install matplotlib)")
        return None
    headline = in_row_order([r for r in ratios if r.headline])
    peer_rows = len(_rows(headline, ("peer/ours", "peer/ours mem")))
    floor_rows = sum(r.kind in ("ours/floor", "ours/no-op") for r in headline)
    height = max(5.0, 0.28 * max(peer_rows, floor_rows) + 1.5)
    figure, (left, right) = pyplot.subplots(1, 2, figsize=(16, height),
                                            gridspec_kw={"width_ratios": [1, 1]})
    _peer_panel(left, headline)
    _floor_panel(right, headline)
    figure.suptitle(title, fontsize=11)
    figure.tight_layout(rect=(0, 0.04, 1, 1))
    path.parent.mkdir(parents=True, exist_ok=True)
    figure.savefig(path, dpi=110)
    pyplot.close(figure)
    return path

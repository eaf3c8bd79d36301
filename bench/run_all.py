#!/usr/bin/env python3
"""Run the benchmark suites and report every ratio from one run.

    python bench/run_all.py [SUITE ...] [--repeats R] [--no-peers]
                            [--report [DIR]] [--name NAME] [--chart PATH]
    python bench/run_all.py --scale [--scale-edges N] [--report [DIR]] ...

Without names it runs every suite below (about 15 minutes with every peer
installed on a 2-core machine); with names (e.g. `load copy`) only those:
`copy components queries calls roads` gives every row with a result floor,
the per-call loops against the peers and the road-like graphs.
Each suite runs in its own interpreter, so one's memory does not weigh on the
next, and saves its figures as JSON; at the end the headline ratios of all
suites are printed as one table.

--report writes DIR/<date>-<name>.md (machine, method, headline ratios and
every figure) and the raw figures as DIR/<date>-<name>.json (DIR defaults to
bench/results), and a chart of the headline ratios to --chart (default
docs/img/benchmarks.png; `--chart none` for no chart).

--scale runs only bench_scale.py: a 100,000,000-edge file (generated once,
cached; --scale-edges for a smaller one) loaded, copied and split into
components by quiverlane, rustworkx and igraph, each in its own process.
It needs tens of minutes and most of 24 GiB.

Exits non-zero if any suite fails.
"""
from __future__ import annotations

import argparse
import datetime
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from benchkit import chart, machine, record, report
from benchkit.paths import BENCH, CHART, REPO, RESULTS
from benchkit.table import print_ratios

SUITES = {
    "copy": "1: copy(), edges() and vertices()",
    "load": "2, 9, 9b: from_file against the peers' readers, floors, peak memory",
    "components": "3: components() on power-law, grid and isolates",
    "queries": "4-7: r_neighbours, subgraph, neighbourhoods, neighbours loop",
    "calls": "8: add_edge, adjacent, degree loops against a no-op C method and the peers",
    "sets": "vertex-set methods on a real road network against NetworkX",
    "interrupts": "11: Ctrl-C latency of long calls against the 0.5 s target",
    "interop": "12, 13: from_networkx against a plain loop, pickling against copy()",
    "roads": "14, 15: components() and balls on a road network and a damaged 4M grid",
}


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog="suites:\n" + "\n".join(
                                         f"  {name:<11} {what}" for name, what in SUITES.items()))
    parser.add_argument("suites", nargs="*", metavar="SUITE")
    parser.add_argument("--repeats", type=int, help="timed runs per contender (suite default)")
    parser.add_argument("--no-peers", action="store_true", help="leave out the peer libraries")
    parser.add_argument("--report", nargs="?", const=str(RESULTS), metavar="DIR",
                        help=f"write the Markdown report and JSON into DIR "
                             f"(default {os.path.relpath(RESULTS, REPO)})")
    parser.add_argument("--name", default="run", help="report file name after the date")
    parser.add_argument("--chart", help=f"chart path (default {os.path.relpath(CHART, REPO)}"
                                        " with --report; 'none': no chart)")
    parser.add_argument("--scale", action="store_true", help="run the 100M-edge benchmark only")
    parser.add_argument("--scale-edges", type=int, help="edges of the --scale graph")
    args = parser.parse_args()
    unknown = [name for name in args.suites if name not in SUITES]
    if unknown:
        parser.error(f"no suite named {' '.join(unknown)}; choose from {' '.join(SUITES)}")
    return args


def suite_command(name: str, args, json_path: str) -> list[str]:
    command = [sys.executable, str(BENCH / f"bench_{name}.py"), "--json", json_path]
    if name == "scale":
        if args.scale_edges:
            command += ["--edges", str(args.scale_edges)]
        return command
    if args.repeats:
        command += ["--repeats", str(args.repeats)]
    if args.no_peers:
        command.append("--no-peers")
    return command


def run_suites(names, args, scratch: Path):
    records, failures = [], []
    for name in names:
        json_path = scratch / f"{name}.json"
        print(f"=== bench_{name}.py", flush=True)
        start = time.perf_counter()
        code = subprocess.call(suite_command(name, args, str(json_path)))
        took = time.perf_counter() - start
        print(f"=== bench_{name}.py: {'ok' if code == 0 else f'FAILED ({code})'}, "
              f"{took:.0f} s\n", flush=True)
        if code != 0 or not json_path.exists():
            failures.append(name)
            continue
        records.append(record.load(json_path))
    return records, failures


def print_headline(records) -> None:
    headline = record.in_row_order([r for rec in records for r in rec.ratios if r.headline])
    print("=" * 30 + " headline ratios " + "=" * 30)
    print("peer time / ours: above 1, quiverlane is faster.  ours / floor and "
          "ours / no-op call: 1 at best.")
    print_ratios(headline)


def write_outputs(args, records, failures, seconds, command: str) -> None:
    stamp = datetime.date.today().isoformat()
    chart_path = None
    if args.chart != "none" and (args.report or args.chart):
        chart_path = Path(args.chart) if args.chart else CHART
        ratios = [r for rec in records for r in rec.ratios]
        if chart.draw(ratios, chart_path, f"quiverlane benchmarks, {stamp} ({args.name})"):
            print(f"chart: {chart_path}")
    if not args.report:
        return
    described = machine.describe()
    directory = Path(args.report)
    relative_chart = (os.path.relpath(chart_path.resolve(), directory.resolve())
                      if chart_path else None)
    text = report.markdown(f"quiverlane benchmarks: {args.name}, {stamp}", command, described,
                           records, failures, seconds, relative_chart)
    path = report.write(directory, f"{stamp}-{args.name}", text,
                        report.raw_json(described, command, records, failures, seconds))
    print(f"report: {path} (+ .json)")


def main() -> int:
    args = parse_arguments()
    names = ["scale"] if args.scale else (args.suites or list(SUITES))
    command = "python bench/run_all.py " + " ".join(sys.argv[1:])
    started = time.perf_counter()
    with tempfile.TemporaryDirectory(prefix="quiverlane-bench-") as scratch:
        records, failures = run_suites(names, args, Path(scratch))
    seconds = time.perf_counter() - started
    print_headline(records)
    print(f"\n(whole run {seconds / 60:.1f} minutes)")
    write_outputs(args, records, failures, seconds, command.strip())
    if failures:
        print("failed: " + ", ".join(failures), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Loading edge-list files: Graph.from_file against the peers' readers and I/O floors.

    python bench/bench_load.py [--repeats 3] [--no-peers] [--no-memory] [--no-real]
                               [--json PATH]

Input: the power-law graph's 2,000,000 edges as "u v" lines with u32 ids
(about 43 MB; written once into bench/_cache/graphs/), plain and gzip level 6.
Readers that cannot take u32 ids read a copy with the ids renumbered 0..n-1
(benchkit/readers.py says which); for .gz input, readers without gzip support
are timed on gunzip (zlib, to a scratch file) plus their plain load.

Row 2 ratios: peer time / ours, ours / floor, where the floors come from
bench/floors/raw_io.c (read(2) of the file; zlib inflate of the .gz) and, when
it builds against the current sources, bench/load_floor.cpp (the reader's own
line parsing with no graph built); and (gzip load - plain load) / raw inflate:
how much of the extra cost of a .gz file is inflating it.

Row 9: peak resident memory growth while loading, per edge: each reader runs
once in a fresh process (VmHWM after the load minus resident memory before
it, over 2,000,000).  Row 9b: the same on the same graph with the
generator's own indices 0..n-1 as ids (hubs first), every reader given that
one file.  Unless --no-real,
it also times from_file on the data sets in ../shared/data against the same
floors.
"""
from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys

from benchkit import cli, graphs, memory, native, readers
from benchkit.paths import BENCH, DATA, REPO
from benchkit.record import Recorder
from benchkit.suite import OURS, PEER, REFERENCE, Entry, measure
from benchkit.table import print_suite
from benchkit.timing import time_once

STEM = "powerlaw-2000000"
REAL_FILES = ["facebook_combined.txt", "facebook_combined.txt.gz", "ca-GrQc.edges",
              "as-caida20070917.edges", "out.opsahl-powergrid.edges",
              "road-usroads-48.edges", "soc-Slashdot0902.edges.gz"]
# The reader's own sources that load_floor.cpp needs; if they move, the
# parse floor is left out and everything else still runs.
PARSE_FLOOR_SOURCES = ["src/parse/*.cpp", "src/graph/*.cpp", "src/support/*.cpp"]


def raw_floor_program():
    return native.build_program([BENCH / "floors" / "raw_io.c"], "raw_io",
                                ["-O2", "-lz"])


def parse_floor_program():
    sources = [BENCH / "load_floor.cpp"]
    sources += [p for pattern in PARSE_FLOOR_SOURCES for p in sorted(REPO.glob(pattern))]
    return native.build_program(sources, "load_floor",
                                ["-O3", "-DNDEBUG", "-std=c++20", f"-I{REPO / 'src'}", "-lz"])


def run_floor(program, path, gzip: bool, repeats: int) -> dict:
    if program is None:
        return {}
    kind = "gzip" if gzip else "plain"
    out = subprocess.run([str(program), kind, str(path), str(repeats)], capture_output=True,
                         text=True, check=True)
    return json.loads(out.stdout)


def record_floors(recorder, row, tag, ours_key, path, gzip, repeats) -> None:
    raw = run_floor(raw_floor_program(), path, gzip, repeats)
    parse = run_floor(parse_floor_program(), path, gzip, repeats)
    floors = {"raw read": (raw.get("read"), "read(2) of the file"),
              "raw inflate": (raw.get("inflate"), "zlib inflate of the file"),
              "parse only": (parse.get("parse"), "the reader's parsing, no graph")}
    for name, (seconds, label) in floors.items():
        if seconds is None or seconds < 0:
            continue
        key = f"{tag}:{name.replace(' ', '-')}"
        recorder.figure(key, f"floor: {label}", seconds, runs=repeats)
        recorder.ratio(row, f"ours / floor: {label}", "ours/floor", ours_key, key,
                       headline=name != "raw read")


def load_entries(quiverlane, files, gzip: bool, tag: str) -> list[Entry]:
    """Readers raced on one input; for gzip only those that open .gz files themselves."""
    entries = []
    for reader in readers.all_readers(quiverlane):
        if not reader.available() or (gzip and not reader.reads_gzip):
            continue
        path = str(files[("gzip" if reader.file == "plain" else "dense_gzip") if gzip
                         else reader.file])
        role = OURS if reader.library is None else PEER
        entries.append(Entry(f"{tag}:{reader.key}", reader.label, role,
                             lambda load=reader.load, p=path: load(p), readers.edge_count,
                             note=reader.note))
    return entries


def gunzip_entries(files, tag: str) -> list[Entry]:
    return [Entry(f"{tag}:gunzip-{kind}", f"gunzip {files[kind].name} (zlib, to a file)",
                  REFERENCE, lambda p=str(files[kind]): os.unlink(readers.gunzip(p)))
            for kind in ("gzip", "dense_gzip")]


def record_gunzip_sums(recorder, quiverlane, row: str, tag: str) -> None:
    """A reader without gzip support loads a .gz file in gunzip time + its plain load time."""
    for reader in readers.all_readers(quiverlane):
        plain = recorder.figures.get(f"load-plain:{reader.key}")
        if reader.reads_gzip or plain is None:
            continue
        kind = "gzip" if reader.file == "plain" else "dense_gzip"
        gunzip = recorder.figures[f"{tag}:gunzip-{kind}"]
        key = f"{tag}:{reader.key}"
        recorder.figure(key, f"gunzip + {reader.label}", gunzip.value + plain.value,
                        runs=min(gunzip.runs, plain.runs), note="sum of the two times")
        recorder.ratio(row, f"gunzip + {reader.label} / ours", "peer/ours", key, f"{tag}:ours",
                       note=reader.note)


def bench_generated(recorder, quiverlane, repeats) -> dict:
    edge_set = graphs.power_law()
    files = graphs.edge_list_files(edge_set, STEM)
    recorder.context["file"] = (f"{edge_set.name}: {files['plain'].stat().st_size / 1e6:.1f} MB"
                                f" plain, {files['gzip'].stat().st_size / 1e6:.1f} MB gzip")
    time_once(lambda: quiverlane.Graph.from_file(str(files["plain"])))  # warm the page cache
    for gzip in (False, True):
        tag = "load-gzip" if gzip else "load-plain"
        row = f"2 load, {'gzip' if gzip else 'plain'} (power-law 2M)"
        entries = load_entries(quiverlane, files, gzip, tag)
        if gzip:
            entries += gunzip_entries(files, tag)
        measure(recorder, row, entries, repeats)
        if gzip:
            record_gunzip_sums(recorder, quiverlane, row, tag)
        record_floors(recorder, row, tag, f"{tag}:ours", files["gzip" if gzip else "plain"],
                      gzip, repeats)
    plain, packed = recorder.figures["load-plain:ours"], recorder.figures["load-gzip:ours"]
    recorder.figure("load-gzip:extra", "gzip load - plain load", packed.value - plain.value)
    recorder.ratio("2 load, gzip (power-law 2M)", "(gzip load - plain load) / raw inflate",
                   "extra/inflate", "load-gzip:extra", "load-gzip:raw-inflate")
    return files


def bench_memory(recorder, quiverlane, files, edges: int, dense: bool = False) -> None:
    """Row 9 on the file with u32 ids (each reader's own input), or 9b on the file
    with the generator's indices as ids (files["indices"])."""
    row = ("9b load peak memory (power-law 2M, ids 0..n-1)" if dense
           else "9 load peak memory (power-law 2M)")
    print(f"  {row}", flush=True)
    runs = [(reader, False) for reader in readers.all_readers(quiverlane) if reader.available()]
    if not dense:
        runs.insert(1, (runs[0][0], True))
    prefix = "mem-dense" if dense else "mem"
    for reader, gzip in runs:
        kind = ("gzip" if reader.file == "plain" else "dense_gzip") if gzip else reader.file
        path = files["indices"] if dense else files[kind]
        result = memory.run_child([__file__, "--memory-child", reader.key,
                                   "--file", str(path)] + (["--gzip"] if gzip else []))
        if result is None:
            continue
        key = f"{prefix}:{reader.key}{'-gzip' if gzip else ''}"
        label = f"{reader.label}{' (.gz)' if gzip else ''}"
        if dense:
            label += ", ids 0..n-1"
        note = "peak may be hidden" if result["peak_hidden"] else reader.note
        recorder.figure(key, label, (result["after_peak"] - result["base_now"]) / edges,
                        unit="B/edge", note=note)
        recorder.figure(key + ":kept", f"{label}, kept after load",
                        (result["after_now"] - result["base_now"]) / edges, unit="B/edge")
        if reader.library is not None:
            recorder.ratio(row, f"{label} / ours", "peer/ours mem", key, f"{prefix}:ours",
                           note=note)


def memory_child(key: str, path: str, gzip: bool) -> None:
    quiverlane = cli.import_quiverlane()
    reader = readers.reader_by_key(quiverlane, key)
    load = readers.loader(reader, gzip)
    if reader.library is not None:
        readers.peers.module(reader.library)  # the import is not part of the growth
    base_now, base_peak = memory.rss_now(), memory.rss_peak()
    graph = load(path)
    after = memory.growth(base_now, base_peak, memory.rss_now(), memory.rss_peak())
    after["edges"] = readers.edge_count(graph)
    print(json.dumps(after))


def bench_real(recorder, quiverlane, repeats) -> None:
    row = "2 load, real data sets"
    present = [name for name in REAL_FILES if (DATA / name).exists()]
    measure(recorder, row, [Entry(f"real:{name}:ours", f"from_file {name}", OURS,
                                  lambda p=str(DATA / name): quiverlane.Graph.from_file(p))
                            for name in present], repeats)
    for name in present:
        stage = "inflate" if name.endswith(".gz") else "read"
        raw = run_floor(raw_floor_program(), DATA / name, stage == "inflate", repeats)
        if stage not in raw:
            continue
        recorder.figure(f"real:{name}:floor", f"floor: raw {stage} {name}", raw[stage],
                        runs=repeats)
        recorder.ratio(row, f"ours / raw {stage}, {name}", "ours/floor", f"real:{name}:ours",
                       f"real:{name}:floor", headline=False)


def main() -> None:
    parser = cli.parser(__doc__.splitlines()[0])
    parser.add_argument("--no-memory", action="store_true", help="skip row 9")
    parser.add_argument("--no-real", action="store_true",
                        help="skip from_file on the data sets in ../shared/data")
    parser.add_argument("--memory-child", help=argparse.SUPPRESS)
    parser.add_argument("--file", help=argparse.SUPPRESS)
    parser.add_argument("--gzip", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.memory_child:
        memory_child(args.memory_child, args.file, args.gzip)
        return
    quiverlane = cli.start(args)
    recorder = Recorder("load", "Loading edge-list files")
    recorder.note("rustworkx read_edge_list without labels and igraph Read_Edgelist make one "
                  "vertex per number up to the largest id, so they cannot read u32 ids: they "
                  "read a copy of the same edges with the ids renumbered 0..n-1.")
    recorder.note("For .gz input, readers without gzip support are charged gunzip time (zlib, "
                  "to a scratch file) plus their plain load time; ours and NetworkX open .gz "
                  "files themselves.")
    files = bench_generated(recorder, quiverlane, args.repeats)
    if not args.no_memory:
        edges = graphs.power_law().edges
        bench_memory(recorder, quiverlane, files, edges)
        files["indices"] = graphs.edge_list_files(graphs.power_law_indices(), f"{STEM}-indices",
                                                  kinds=("plain",))["plain"]
        bench_memory(recorder, quiverlane, files, edges, dense=True)
    if not args.no_real:
        bench_real(recorder, quiverlane, args.repeats)
    print_suite(recorder)
    recorder.save(args.json)


if __name__ == "__main__":
    sys.exit(main())

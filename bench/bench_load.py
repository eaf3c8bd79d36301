"""Loading edge-list files: Graph.from_file against its own floors and peer libraries.

    python bench/bench_load.py [--edges N] [--repeats R] [--no-peers]

Inputs: a generated file of N edges (default 2,000,000; seeded, written to a
temporary directory, plain and gzip level 6) and every data set in
../shared/data that the reader accepts.

Columns, all best-of-R wall times of one whole load of the same bytes:

  read      reading the file's bytes through the reader's own file code.
  inflate   (gzip) those bytes through the reader's own gzip decoder.
  parse     the reader's full line splitting and token parsing with no graph:
            the same C++ code with a sink that only folds the ids together.
            These three floors come from bench/load_floor.cpp, compiled here
            with the module's optimisation flags; nothing extra is exposed
            to Python for them.
  py-inflate  (gzip) Python's own floor: read the file and zlib-decompress it
            whole, a yardstick for the reader's streaming inflate.
  from_file Graph.from_file, the real thing: parse plus building the graph.
  parse%    parse / from_file: the share of the load that is not add_edge.
  networkx  networkx.read_edgelist(nodetype=int), which opens .gz itself.
  igraph    igraph.Graph.Read_Edgelist(directed=False); igraph has no gzip
            input, so for .gz it is timed with gunzip to a temporary file
            first. It makes vertices 0..max id, fine for these ids.
  xNX, xIG  peer time / from_file time: how many times faster from_file is.
"""

import argparse
import gzip
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import zlib
from pathlib import Path

import quiverlane

REPO = Path(__file__).resolve().parents[1]
DATA_DIR = (REPO / ".." / "shared" / "data").resolve()
# The data sets the reader accepts: the cleaned copies and the clean originals.
DATA_FILES = [
    "facebook_combined.txt",
    "facebook_combined.txt.gz",
    "ca-GrQc.edges",
    "as-caida20070917.edges",
    "out.opsahl-powergrid.edges",
    "road-usroads-48.edges",
    "soc-Slashdot0902.edges.gz",
]
PEER_TAGS = {"networkx": "NX", "igraph": "IG"}
FLOOR_SOURCES = ["src/parse/*.cpp", "src/graph/graph.cpp", "src/binding/fault.cpp",
                 "src/binding/stderr.cpp"]


def best_of(repeats, body):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        body()
        best = min(best, time.perf_counter() - start)
    return best


def generate(directory, edges, seed=20240601):
    """A sparse random graph: ids below 2^20, some hubs, some repeats and loops."""
    rng = random.Random(seed)
    vertices = 1 << 20
    hubs = [rng.randrange(vertices) for _ in range(64)]
    lines = []
    for _ in range(edges):
        u = rng.choice(hubs) if rng.random() < 0.05 else rng.randrange(vertices)
        v = u if rng.random() < 0.001 else rng.randrange(vertices)
        lines.append(f"{u} {v}\n")
    data = "".join(lines).encode()
    plain = directory / "generated.txt"
    plain.write_bytes(data)
    packed = directory / "generated.txt.gz"
    packed.write_bytes(gzip.compress(data, compresslevel=6, mtime=0))
    return [plain, packed]


def build_floor(directory):
    """Compiles bench/load_floor.cpp; returns its path, or None with a reason printed."""
    compiler = os.environ.get("CXX", "g++")
    sources = [str(p) for pattern in FLOOR_SOURCES for p in sorted(REPO.glob(pattern))]
    target = directory / "load_floor"
    command = [compiler, "-O3", "-DNDEBUG", "-std=c++20", f"-I{REPO / 'src'}",
               str(REPO / "bench" / "load_floor.cpp"), *sources, "-lz", "-o", str(target)]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        print(f"(floors skipped: {compiler} failed)\n{result.stderr[:2000]}", file=sys.stderr)
        return None
    return target


def floors(binary, path, repeats):
    if binary is None:
        return {}
    kind = "gzip" if path.name.endswith(".gz") else "plain"
    out = subprocess.run([str(binary), kind, str(path), str(repeats)], capture_output=True,
                         text=True, check=True)
    return json.loads(out.stdout)


def python_inflate(path):
    zlib.decompress(path.read_bytes(), wbits=31)  # the first member; ours reads them all


def load_networkx(path):
    import networkx

    return networkx.read_edgelist(str(path), nodetype=int)


def load_igraph(path, scratch):
    import igraph

    if path.name.endswith(".gz"):
        plain = scratch / "igraph-input.txt"
        with gzip.open(path, "rb") as source, open(plain, "wb") as target:
            shutil.copyfileobj(source, target, 1 << 20)
        path = plain
    return igraph.Graph.Read_Edgelist(str(path), directed=False)


def peer_available(name):
    try:
        __import__(name)
        return True
    except ImportError:
        return False


def fmt_ms(seconds):
    return f"{'-':>9}" if seconds is None or seconds < 0 else f"{seconds * 1e3:9.1f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--edges", type=int, default=2_000_000)
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--no-peers", action="store_true")
    args = parser.parse_args()

    scratch = Path(tempfile.mkdtemp(prefix="bench-load-"))
    try:
        print(f"quiverlane from {quiverlane.__file__}")
        print(f"generating {args.edges:,} edges in {scratch} ...", flush=True)
        inputs = generate(scratch, args.edges)
        if DATA_DIR.is_dir():
            inputs += [DATA_DIR / name for name in DATA_FILES if (DATA_DIR / name).exists()]
        binary = build_floor(scratch)
        peers = [] if args.no_peers else [p for p in ("networkx", "igraph") if peer_available(p)]

        header = (f"{'file':28} {'MB':>6} {'lines':>9} {'read':>9} {'inflate':>9} {'py-infl':>9} "
                  f"{'parse':>9} {'from_file':>9} {'parse%':>6} {'ns/line':>7}")
        for peer in peers:
            header += f" {peer[:8]:>9} {'x' + PEER_TAGS[peer]:>6}"
        print("\nmilliseconds, best of", args.repeats)
        print(header)
        print("-" * len(header))
        for path in inputs:
            stages = floors(binary, path, args.repeats)
            graph = quiverlane.Graph.from_file(str(path))  # warm the page cache
            ours = best_of(args.repeats, lambda: quiverlane.Graph.from_file(str(path)))
            gz = path.name.endswith(".gz")
            py_inflate = best_of(args.repeats, lambda: python_inflate(path)) if gz else None
            lines = stages.get("lines")
            row = (f"{path.name:28} {path.stat().st_size / 1e6:6.1f} "
                   f"{lines if lines is not None else graph.num_edges():>9} "
                   f"{fmt_ms(stages.get('read'))} {fmt_ms(stages.get('inflate'))} "
                   f"{fmt_ms(py_inflate)} {fmt_ms(stages.get('parse'))} {fmt_ms(ours)} ")
            row += f"{100 * stages['parse'] / ours:5.0f}%" if "parse" in stages else f"{'-':>6}"
            row += f" {ours / lines * 1e9:7.0f}" if lines else f" {'-':>7}"
            for peer in peers:
                # Peers are slow: one run each on the large inputs.
                runs = 1 if path.stat().st_size > 5e6 else args.repeats
                if peer == "networkx":
                    took = best_of(runs, lambda: load_networkx(path))
                else:
                    took = best_of(runs, lambda: load_igraph(path, scratch))
                row += f" {fmt_ms(took)} {took / ours:6.1f}"
            print(row, flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()

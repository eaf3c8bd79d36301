"""Every library's way of loading an edge-list file, behind one signature.

A reader takes the path of a plain "u v" text file and returns its graph.
Some peers make one vertex per number from 0 to the largest id, which u32
ids make impossible; they read the `dense` copy of the same edges (ids
renumbered 0..n-1, see graphs.edge_list_files) and the tables say so.  For
a gzip input, a reader without gzip support is timed on gunzip to a scratch
file plus its plain load; ours and NetworkX open .gz files themselves.
"""
from __future__ import annotations

import os
import zlib
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

from benchkit import peers
from benchkit.paths import cache_dir

CHUNK = 1 << 20


@dataclass
class Reader:
    key: str
    label: str
    library: str | None        # peer module name; None for ours
    file: str                  # "plain": the u32-id file; "dense": the renumbered copy
    load: Callable[[str], object]
    reads_gzip: bool = False
    note: str = ""

    def available(self) -> bool:
        return self.library is None or peers.module(self.library) is not None


def gunzip(path: str) -> str:
    """Inflates a gzip file to a scratch file with zlib, 1 MiB at a time."""
    target = cache_dir("scratch") / (Path(path).name[:-len(".gz")])
    inflater = zlib.decompressobj(wbits=31)
    with open(path, "rb") as source, open(target, "wb") as sink:
        while chunk := source.read(CHUNK):
            sink.write(inflater.decompress(chunk))
        sink.write(inflater.flush())
    return str(target)


def gunzip_then(load: Callable[[str], object]) -> Callable[[str], object]:
    def gunzip_and_load(path: str):
        plain = gunzip(path)
        try:
            return load(plain)
        finally:
            os.unlink(plain)
    return gunzip_and_load


def _ours(quiverlane):
    return lambda path: quiverlane.Graph.from_file(path)


def _rustworkx_labels(path):
    return peers.module("rustworkx").PyGraph.read_edge_list(path, labels=True)


def _rustworkx_indices(path):
    return peers.module("rustworkx").PyGraph.read_edge_list(path)


def _igraph_edgelist(path):
    return peers.module("igraph").Graph.Read_Edgelist(path, directed=False)


def _igraph_ncol(path):
    return peers.module("igraph").Graph.Read_Ncol(path, names=True, directed=False)


def _networkit(path):
    networkit = peers.module("networkit")
    reader = networkit.graphio.EdgeListReader(" ", 0, continuous=False, directed=False)
    return reader.read(path)


def _networkx(path):
    return peers.module("networkx").read_edgelist(path, nodetype=int)


def all_readers(quiverlane) -> list[Reader]:
    return [
        Reader("ours", "quiverlane Graph.from_file", None, "plain", _ours(quiverlane),
               reads_gzip=True),
        Reader("rustworkx-labels", "rustworkx read_edge_list(labels=True)", "rustworkx",
               "plain", _rustworkx_labels, note="ids as string labels"),
        Reader("rustworkx-dense", "rustworkx read_edge_list", "rustworkx", "dense",
               _rustworkx_indices, note="dense copy: ids are node indices"),
        Reader("igraph-edgelist", "igraph Read_Edgelist", "igraph", "dense",
               _igraph_edgelist, note="dense copy: ids are vertex indices"),
        Reader("igraph-ncol", "igraph Read_Ncol(names=True)", "igraph", "plain",
               _igraph_ncol, note="ids as names"),
        Reader("networkit", "NetworKit EdgeListReader", "networkit", "plain", _networkit,
               note="continuous=False maps ids"),
        Reader("networkx", "NetworkX read_edgelist", "networkx", "plain", _networkx,
               reads_gzip=True),
    ]


def reader_by_key(quiverlane, key: str) -> Reader:
    return next(r for r in all_readers(quiverlane) if r.key == key)


def loader(reader: Reader, gzip: bool) -> Callable[[str], object]:
    return reader.load if not gzip or reader.reads_gzip else gunzip_then(reader.load)


def edge_count(graph) -> int:
    """The edge count of any library's graph."""
    for name in ("num_edges", "ecount", "numberOfEdges", "number_of_edges"):
        method = getattr(graph, name, None)
        if method is not None:
            return method()
    raise TypeError(f"no edge count for {type(graph)}")

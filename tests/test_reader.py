"""Graph.from_file on real files: the edge-list format, refusals, faults and gzip.

Every input is written to disk by the test and loaded through the built
module. gzip inputs come from Python's gzip and zlib modules, some of them
corrupted by hand afterwards.
"""

import errno
import gzip
import os
import pathlib
import random
import struct
import zlib

import pytest

from quiverlane import Graph

from graph_checks import ID_END, MAX_ID, edge_set, fault_of

UNICODE_SPACES = [
    "\u0085", "\u00a0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005",
    "\u2006", "\u2007", "\u2008", "\u2009", "\u200a", "\u2028", "\u2029", "\u202f", "\u205f",
    "\u3000",
]

INVALID_UTF8 = "stream did not contain valid UTF-8"
BAD_HEADER = "invalid gzip header"
BAD_CHECKSUM = "corrupt gzip stream does not have a matching checksum"
BAD_DEFLATE = "corrupt deflate stream"
TRUNCATED = "unexpected end of file"


# --- helpers ------------------------------------------------------------------

@pytest.fixture
def write(tmp_path):
    """write(data, name="edges.txt") puts bytes on disk and returns the path as str."""

    def _write(data, name="edges.txt"):
        path = tmp_path / name
        path.write_bytes(data)
        return str(path)

    return _write


def refusal(path):
    """The OSError for a refused file, checked to carry exactly ("IO-Error",); returns its note."""
    with pytest.raises(OSError) as info:
        Graph.from_file(path)
    error = info.value
    assert type(error) is OSError
    assert error.args == ("IO-Error",)
    assert error.errno is None and error.filename is None
    assert len(error.__notes__) == 1
    return error.__notes__[0]


def fault(path):
    """The message of the PanicException that loading `path` raises."""
    return fault_of(lambda: Graph.from_file(path), None).args[0]


def reference_edges(data):
    """The edge set an edge-list file stands for, worked out with str methods."""
    text = data.decode("utf-8")
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    edges = set()
    for line in lines:
        # Only for generated text: str.split() also splits at U+001C..U+001F.
        a, b = line.split()
        a, b = int(a.lstrip("+")), int(b.lstrip("+"))
        edges.add((min(a, b), max(a, b)))
    return edges


def raw_deflate(data, level=6):
    compressor = zlib.compressobj(level, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()


def member(data, flags=0, extra=b"", name=b"", comment=b"", header_crc=None, method=8,
           crc=None, size=None):
    """One hand-built gzip member. header_crc: None (no FHCRC), "good" or a wrong value."""
    if extra:
        flags |= 0x04
    if name:
        flags |= 0x08
    if comment:
        flags |= 0x10
    if header_crc is not None:
        flags |= 0x02
    header = bytes([0x1F, 0x8B, method, flags]) + struct.pack("<I", 1234567890) + b"\x00\x03"
    if extra:
        header += struct.pack("<H", len(extra)) + extra
    if name:
        header += name + b"\x00"
    if comment:
        header += comment + b"\x00"
    if header_crc == "good":
        header += struct.pack("<H", zlib.crc32(header) & 0xFFFF)
    elif header_crc is not None:
        header += struct.pack("<H", header_crc)
    trailer = struct.pack(
        "<II",
        zlib.crc32(data) if crc is None else crc,
        len(data) & 0xFFFFFFFF if size is None else size,
    )
    return header + raw_deflate(data) + trailer


def random_edge_text(rng, lines, spaces=(" ",), crlf=False):
    out = []
    for _ in range(lines):
        a = rng.randrange(0, ID_END)
        b = a if rng.random() < 0.01 else rng.randrange(0, ID_END)
        sep = rng.choice(spaces)
        out.append(f"{rng.choice(['', ' ', '+'])}{a}{sep}{b}{'  ' if rng.random() < 0.1 else ''}")
    end = "\r\n" if crlf else "\n"
    return (end.join(out) + end).encode("utf-8")


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


# --- the format: accepted files -----------------------------------------------

@pytest.mark.parametrize(
    "data, edges",
    [
        (b"", set()),
        (b"1 2", {(1, 2)}),
        (b"1 2\n", {(1, 2)}),
        (b"1 2\r\n", {(1, 2)}),
        (b"1 2\r", {(1, 2)}),  # a CR ending the last line is white space
        (b"1 2\r\r\n", {(1, 2)}),
        (b"1\t2", {(1, 2)}),
        (b"   1  \t 2 \x0b\x0c ", {(1, 2)}),
        (b"+5 7", {(5, 7)}),
        (b"007 8", {(7, 8)}),
        (b"4294967295 0", {(0, 4294967295)}),
        (b"+0000000000000000000004294967295 +0", {(0, 4294967295)}),
        (b"5 5", {(5, 5)}),
        (b"0000000001 0000000002\n", {(1, 2)}),  # ten digits, leading zeros
        (b"00000000001 2\n", {(1, 2)}),  # eleven: longer than any id needs
        (b"1 2\r\n3 4\r\n", {(1, 2), (3, 4)}),
        (b"1 2\r", {(1, 2)}),
        (b"1 2\n2 1\n1 2", {(1, 2)}),
        (b"1 2\n3 4\r\n5\t6", {(1, 2), (3, 4), (5, 6)}),
    ],
)
def test_accepted_lines(write, data, edges):
    g = Graph.from_file(write(data))
    assert edge_set(g) == edges
    assert g.num_edges() == len(edges)
    assert g.num_vertices() == len({v for e in edges for v in e})


@pytest.mark.parametrize("space", UNICODE_SPACES, ids=lambda s: f"U+{ord(s):04X}")
def test_unicode_white_space_separates(write, space):
    data = f"{space}1{space}{space}2{space}\n3 4".encode("utf-8")
    assert edge_set(Graph.from_file(write(data))) == {(1, 2), (3, 4)}


def test_lines_longer_than_any_buffer(write):
    data = (b"0" * 300_000 + b"1" + b" " * 200_000 + b"\t" + "\u3000".encode() * 70_000 + b"2\n"
            + b"3 4\n")
    assert edge_set(Graph.from_file(write(data))) == {(1, 2), (3, 4)}


@pytest.mark.parametrize("crlf", [False, True])
def test_many_lines_across_buffers(write, crlf):
    rng = random.Random(4)
    data = random_edge_text(rng, 60_000, spaces=[" ", "\t", "\u00a0", "\u2003 ", " \u3000"],
                            crlf=crlf)
    g = Graph.from_file(write(data))
    expected = reference_edges(data)
    assert g.num_edges() == len(expected)
    assert edge_set(g) == expected


@pytest.mark.parametrize(
    "seed, count", [(5, 120_000), (6, 120_000), pytest.param(7, 1_200_000, marks=pytest.mark.slow)])
def test_large_file_gives_the_graph_of_its_edges_one_by_one(write, seed, count):
    # Enough vertices for the reader to add edges in sorted sweeps, with the
    # tables growing between them, and at the largest size enough edges for
    # its batches to grow too; repeats, reversals, loops and the largest id
    # all along the file.
    rng = random.Random(seed)
    lines, pairs = [], []
    for i in range(count):
        kind = rng.random()
        if kind < 0.1 and pairs:
            v, u = rng.choice(pairs)
        elif kind < 0.12:
            u = v = rng.randrange(ID_END)
        elif kind < 0.13:
            u, v = MAX_ID, rng.randrange(ID_END)
        else:
            u, v = rng.randrange(ID_END), rng.randrange(ID_END) if rng.random() < 0.5 else rng.randrange(5000)
        pairs.append((u, v))
        lines.append(f"{u} {v}\n")
    loaded = Graph.from_file(write("".join(lines).encode()))
    built = Graph()
    for u, v in pairs:
        built.add_edge(u, v)
    assert loaded.num_vertices() == built.num_vertices()
    assert loaded.num_edges() == built.num_edges()
    assert loaded.vertices() == built.vertices()
    assert set(loaded.edges()) == set(built.edges())
    assert all(loaded.degree(v) == built.degree(v) for v in built.vertices())


@pytest.mark.parametrize("end", [b"\n", b"\r\n", b""])
def test_every_number_length_in_plain_lines(write, end):
    # Ids of every length from 1 to 10 digits (and longer ones with leading
    # zeros), on both sides, the line ends after each, straddling buffers.
    rng = random.Random(21)
    lines, expected = [], set()
    for i in range(30_000):
        a_digits, b_digits = 1 + i % 10, 1 + (i // 10) % 10
        a = rng.randrange(10 ** (a_digits - 1) if a_digits > 1 else 0, min(10**a_digits, ID_END))
        b = rng.randrange(10 ** (b_digits - 1) if b_digits > 1 else 0, min(10**b_digits, ID_END))
        pad = "0" * (i % 4 if i % 7 == 0 else 0)
        lines.append(f"{pad}{a} {b}".encode())
        expected.add((min(a, b), max(a, b)))
    data = (b"\n" if end == b"" else end).join(lines) + end
    assert edge_set(Graph.from_file(write(data))) == expected


# --- the format: refused lines ------------------------------------------------

@pytest.mark.parametrize(
    "data, line",
    [
        (b"\n", 0),
        (b"   \t\r\n1 2", 0),
        (b"1 2\n\n", 1),  # a second LF at the end is an empty line
        (b"1 2\n\n3 4\n", 1),
        (b"1 2 3\n", 0),  # three numbers: a token count, not a bad id
        (b"1 2\r5 6\n", 0),  # a CR inside a line is white space: four tokens
        (b"1 x y\n", 0),
        (b"1\n", 0),
        (b"1 2\n3 4\n5\n", 2),
        (b"# a comment\n1 2\n", 0),
        (b"1\x1f2\n", 0),  # U+001F is no separator: one token
        ("1\u200b2\n".encode(), 0),  # nor is the zero-width space
        ("1\u00a02\u00a03".encode(), 0),
    ],
)
def test_lines_without_two_tokens(write, data, line):
    path = write(data)
    note = refusal(path)
    assert note == f"while reading {path!r}: line {line + 1} does not contain two tokens"


@pytest.mark.parametrize(
    "data, token, line",
    [
        (b"4294967296 0", "4294967296", 0),
        (b"9999999999 0", "9999999999", 0),
        (b"1 4294967296\n", "4294967296", 0),
        (b"0 12345678901\n", "12345678901", 0),
        (b"99999999999999999999999 0", "99999999999999999999999", 0),
        (b"-1 2", "-1", 0),
        (b"+ 2", "+", 0),
        (b"++1 2", "++1", 0),
        (b"1+ 2", "1+", 0),
        (b"1e3 2", "1e3", 0),
        (b"0x10 2", "0x10", 0),
        (b"1,000 2", "1,000", 0),
        (b"a b", "a", 0),  # the first bad token only
        (b"1 b", "b", 0),
        (b"1 2\n3 4\n5 -6\n", "-6", 2),
        ("\ufeff1 2".encode(), "\ufeff1", 0),  # a byte order mark is no white space
        ("\uff11 2".encode(), "\uff11", 0),  # digits of other scripts
        ("\u0661 2".encode(), "\u0661", 0),
    ],
)
def test_bad_vertex_ids(write, data, token, line):
    path = write(data)
    note = refusal(path)
    assert note == f"while reading {path!r}: line {line + 1}: cannot parse vertex id {token}"


# --- open failures --------------------------------------------------------------

def test_missing_file_is_os_error_and_silent(tmp_path, capfd):
    path = str(tmp_path / "missing.txt")
    note = refusal(path)
    assert note == f"while opening {path!r}: {os.strerror(errno.ENOENT)} (errno 2)"
    for suffix in [".gz", ""]:
        refusal(str(tmp_path / "nothing") + suffix)
    captured = capfd.readouterr()
    assert captured.err == "" and captured.out == ""


@pytest.mark.parametrize("name", ["a\x00b.txt", "a\x00b.gz", "\x00"])
def test_name_with_nul_byte(tmp_path, name):
    (tmp_path / "a").write_bytes(b"1 2\n")  # a prefix that exists must not be opened
    note = refusal(str(tmp_path / name))
    assert note.endswith(": data provided contains a nul byte")


def test_empty_name():
    assert refusal("") == f"while opening '': {os.strerror(errno.ENOENT)} (errno 2)"


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads files regardless of mode")
def test_permission_denied(write):
    path = write(b"1 2\n")
    os.chmod(path, 0)
    note = refusal(path)
    assert os.strerror(errno.EACCES) in note


# --- faults after opening ----------------------------------------------------------

def test_directory_is_a_fault(tmp_path, capfd):
    for name in [str(tmp_path), str(tmp_path / "d.gz")]:
        os.makedirs(name, exist_ok=True)
        message = fault(name)
        assert message == (
            f"operation failed unexpectedly: read error (errno {errno.EISDIR}): "
            f"{os.strerror(errno.EISDIR)}"
        )
    err = capfd.readouterr().err
    assert err.count("thread '<unnamed>' panicked at 'operation failed unexpectedly") == 2


def test_device_read_error_is_a_fault():
    # Opens fine; reading at offset 0 of the process's memory fails with EIO.
    message = fault("/proc/self/mem")
    assert message.endswith(f"read error (errno {errno.EIO}): {os.strerror(errno.EIO)}")


@pytest.mark.parametrize(
    "data",
    [
        b"\xff 2\n",
        b"1 2\n3 4\xfe\n",
        b"1 2\xe2\x80",  # sequence cut short by the end of the file
        b"\xc0\xaf 1",  # overlong
        b"\xed\xa0\x80 1",  # a UTF-16 surrogate
        b"\xf4\x90\x80\x80 1",  # above U+10FFFF
        b"\x80 1",  # a lone continuation byte
        b"\xff\n",  # refused as text before its tokens are counted
        b"1 2 3 \xff",
    ],
)
def test_invalid_utf8_is_a_fault(write, data, capfd):
    message = fault(write(data))
    assert message == (
        f"operation failed unexpectedly: read error (invalid data): {INVALID_UTF8}"
    )
    assert f"panicked at '{message}'" in capfd.readouterr().err


def test_refused_line_before_invalid_text_wins(write):
    path = write(b"1 2\n3\n\xff 4\n")
    assert refusal(path) == f"while reading {path!r}: line 2 does not contain two tokens"


def test_every_way_out_closes_the_file(write, tmp_path):
    good = b"1 2\n" * 50_000
    refused = [write(good + b"1 2 3\n", "a.txt"), write(gzip.compress(good + b"x 1\n"), "b.gz")]
    faulted = [write(good + b"\xff\n", "c.txt"), write(gzip.compress(good)[:-3], "d.gz"),
               str(tmp_path)]
    before = open_descriptors()
    for _ in range(20):
        for path in refused:
            refusal(path)
        for path in faulted:
            fault(path)
        Graph.from_file(write(good, "e.txt"))
    assert open_descriptors() == before


# --- choosing the reader by name ------------------------------------------------

def test_plain_text_named_gz_is_a_fault(write):
    assert BAD_HEADER in fault(write(b"1 2\n", "edges.gz"))


def test_gzip_not_named_gz_is_read_as_text(write):
    assert INVALID_UTF8 in fault(write(gzip.compress(b"1 2\n"), "edges.txt"))


@pytest.mark.parametrize("name", ["edges.GZ", "edges.Gz", "edges.gz.txt", "edges.tgz", "a", "gz", "z"])
def test_plain_names(tmp_path, monkeypatch, name):
    monkeypatch.chdir(tmp_path)
    (tmp_path / name).write_bytes(b"1 2\n")
    assert edge_set(Graph.from_file(name)) == {(1, 2)}


@pytest.mark.parametrize("name", [".gz", "a.gz", "edges.txt.gz"])
def test_gzip_names(tmp_path, monkeypatch, name):
    monkeypatch.chdir(tmp_path)
    (tmp_path / name).write_bytes(gzip.compress(b"1 2\n"))
    assert edge_set(Graph.from_file(name)) == {(1, 2)}


def test_non_ascii_file_name(write):
    path = write(b"1 2\n", "gr\u00e1fico-\u56fe.txt")
    assert edge_set(Graph.from_file(path)) == {(1, 2)}


def test_called_on_an_instance_and_by_keyword(write):
    path = write(b"1 2\n2 3\n")
    g = Graph()
    g.add_edge(8, 9)
    assert edge_set(g.from_file(path)) == edge_set(Graph.from_file(filename=path)) == {(1, 2), (2, 3)}
    assert edge_set(g) == {(8, 9)}


class Name(str):
    pass


def test_str_subclass_is_a_name(write):
    assert edge_set(Graph.from_file(Name(write(b"1 2")))) == {(1, 2)}


@pytest.mark.parametrize("name", [b"edges.txt", None, 3, pathlib.Path("edges.txt")])
def test_name_must_be_str(write, monkeypatch, tmp_path, name):
    monkeypatch.chdir(tmp_path)
    write(b"1 2")
    with pytest.raises(TypeError) as info:
        Graph.from_file(name)
    assert info.value.args == ()


def test_name_with_lone_surrogate():
    with pytest.raises(UnicodeEncodeError):
        Graph.from_file("edges\ud800.txt")


# --- the name in a refusal's note ---------------------------------------------------

@pytest.mark.parametrize(
    "name",
    [
        "it's.txt",
        'say "hi".txt',
        "both ' and \".gz",
        "back\\slash.txt",
        "gr\u00e1fico-\u56fe.txt",
        "face-\U0001f600.gz",
        "line\nbreak.txt",
        "tab\tand\rreturn.txt",
        "bell\x07-del\x7f.txt",
        "no-break\u00a0space\u2028.txt",
        "\u0301combining.gz",
    ],
)
def test_note_quotes_the_name_as_repr_does(tmp_path, name):
    path = str(tmp_path / name)
    assert refusal(path) == f"while opening {path!r}: {os.strerror(errno.ENOENT)} (errno 2)"
    data = b"1 2\n3 x\n"
    pathlib.Path(path).write_bytes(gzip.compress(data) if name.endswith(".gz") else data)
    assert refusal(path) == f"while reading {path!r}: line 2: cannot parse vertex id x"


class OwnRepr(str):
    def __repr__(self):
        return "<edges \ud800\udfff \u00e9>"


class FailingRepr(str):
    def __repr__(self):
        raise RuntimeError("no repr")


def test_note_quotes_a_str_subclass_by_its_own_repr(tmp_path):
    path = tmp_path / "edges.txt"
    assert refusal(OwnRepr(path)) == (
        f"while opening <edges \ud800\udfff \u00e9>: {os.strerror(errno.ENOENT)} (errno 2)"
    )
    path.write_bytes(b"1 2 3\n")
    assert refusal(OwnRepr(path)) == (
        "while reading <edges \ud800\udfff \u00e9>: line 1 does not contain two tokens"
    )


def test_name_without_a_repr_gives_the_error_without_a_note(tmp_path):
    with pytest.raises(OSError) as info:
        Graph.from_file(FailingRepr(tmp_path / "missing.txt"))
    assert type(info.value) is OSError and info.value.args == ("IO-Error",)
    assert not hasattr(info.value, "__notes__")


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "PyGraph.from_file() missing required positional argument: filename"),
        (("a", "b"), {}, "PyGraph.from_file() takes at most 1 positional argument (2 given)"),
        (("a",), {"filename": "b"}, "PyGraph.from_file() got multiple values for argument: filename"),
        ((), {"filename": "a", "name": "b"}, "PyGraph.from_file() got an unexpected keyword argument: name"),
    ],
)
def test_argument_matching(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        Graph.from_file(*args, **kwargs)
    assert info.value.args == (message,)


# --- gzip: accepted -----------------------------------------------------------------

@pytest.mark.parametrize("level", [0, 1, 6, 9])
def test_gzip_module_output(write, level):
    data = random_edge_text(random.Random(level), 5_000)
    g = Graph.from_file(write(gzip.compress(data, compresslevel=level), "g.gz"))
    assert edge_set(g) == reference_edges(data)


def test_gzip_file_with_stored_name(write, tmp_path):
    path = tmp_path / "named.txt.gz"
    with gzip.GzipFile(filename="named.txt", mode="wb", fileobj=open(path, "wb"), mtime=1) as out:
        out.write(b"1 2\n3 4\n")
    assert edge_set(Graph.from_file(str(path))) == {(1, 2), (3, 4)}


def test_zlib_gzip_wrapper(write):
    compressor = zlib.compressobj(9, zlib.DEFLATED, 31)
    packed = compressor.compress(b"7 8\n8 9") + compressor.flush()
    assert edge_set(Graph.from_file(write(packed, "z.gz"))) == {(7, 8), (8, 9)}


@pytest.mark.parametrize(
    "fields",
    [
        dict(extra=b"AB\x04\x00data"),
        dict(name=b"edges.txt"),
        dict(comment=b"made by hand"),
        dict(header_crc="good"),
        dict(extra=b"x" * 65_535, name=b"n" * 100_000,
             comment=b"c" * 3, header_crc="good"),
        dict(flags=0xE0),  # reserved bits are ignored
        dict(flags=0xE1, name=b"n", header_crc="good"),  # FTEXT too
    ],
    ids=["extra", "name", "comment", "hcrc", "all-large", "reserved", "reserved+text+hcrc"],
)
def test_gzip_header_fields(write, fields):
    data = b"1 2\n2 3\n"
    assert edge_set(Graph.from_file(write(member(data, **fields), "h.gz"))) == {(1, 2), (2, 3)}


def test_empty_member(write):
    assert Graph.from_file(write(gzip.compress(b""), "e.gz")).num_vertices() == 0


def test_two_members_are_both_read(write):
    packed = gzip.compress(b"1 2\n3") + gzip.compress(b" 4\n5 6")  # a line spans the members
    assert edge_set(Graph.from_file(write(packed, "two.gz"))) == {(1, 2), (3, 4), (5, 6)}


def test_many_members_across_buffers(write):
    rng = random.Random(7)
    data = random_edge_text(rng, 40_000, spaces=[" ", "\u3000"])
    cuts = sorted(rng.sample(range(1, len(data)), 300))
    pieces = [data[a:b] for a, b in zip([0] + cuts, cuts + [len(data)])]
    packed = b"".join(member(p, name=b"p", header_crc="good") if i % 2 else gzip.compress(p)
                      for i, p in enumerate(pieces))
    assert edge_set(Graph.from_file(write(packed, "many.gz"))) == reference_edges(data)


@pytest.mark.parametrize(
    "junk",
    [b"garbage after the member", b"\x00" * 1000, b"\x1f", b"\x1f\x00more", b"\x8b\x1f"],
    ids=["text", "zeros", "lone-magic-byte", "half-magic", "swapped-magic"],
)
def test_trailing_garbage_is_ignored(write, junk):
    packed = gzip.compress(b"1 2\n") + junk
    assert edge_set(Graph.from_file(write(packed, "junk.gz"))) == {(1, 2)}


def test_gzip_content_rules_apply(write):
    path = write(gzip.compress(b"1 2\n\n"), "blank.gz")
    note = refusal(path)
    assert note == f"while reading {path!r}: line 2 does not contain two tokens"
    assert INVALID_UTF8 in fault(write(gzip.compress(b"1 2\n\xff 3\n"), "bad.gz"))


# --- gzip: faults ------------------------------------------------------------------

def gzip_fault(write, packed):
    return fault(write(packed, "broken.gz"))


def expect_gzip_fault(write, packed, text):
    kind = {BAD_HEADER: "invalid input", TRUNCATED: "unexpected end of file"}.get(text, "invalid data")
    assert gzip_fault(write, packed) == f"operation failed unexpectedly: read error ({kind}): {text}"


def flip(data, index, mask=0x01):
    out = bytearray(data)
    out[index] ^= mask
    return bytes(out)


GOOD = gzip.compress(b"1 2\n2 3\n3 4\n", mtime=0)


@pytest.mark.parametrize(
    "packed, text",
    [
        (b"", TRUNCATED),
        (b"1 2\n", BAD_HEADER),
        (flip(GOOD, 0), BAD_HEADER),
        (flip(GOOD, 1), BAD_HEADER),
        (GOOD[:2] + b"\x07" + GOOD[3:], BAD_HEADER),  # method other than deflate
        (flip(GOOD, len(GOOD) - 8), BAD_CHECKSUM),  # CRC-32
        (flip(GOOD, len(GOOD) - 5, 0x80), BAD_CHECKSUM),
        (flip(GOOD, len(GOOD) - 4), BAD_CHECKSUM),  # ISIZE
        (member(b"1 2\n", size=4 + 1), BAD_CHECKSUM),
        (member(b"1 2\n", header_crc=0), BAD_CHECKSUM),
        (member(b"1 2\n", name=b"x", header_crc=(zlib.crc32(b"x") & 0xFFFF) ^ 1), BAD_CHECKSUM),
        (GOOD[:10] + b"\x07" + GOOD[11:], BAD_DEFLATE),  # reserved block type
        (GOOD[:10] + b"\x00\x05\x00\x00\x00" + GOOD[15:], BAD_DEFLATE),  # stored length check
        (GOOD + GOOD[:-1], TRUNCATED),
        (GOOD + b"\x1f\x8b", TRUNCATED),
        (GOOD + flip(GOOD, len(GOOD) - 1), BAD_CHECKSUM),
        (GOOD + b"\x1f\x8b\x07" + GOOD[3:], BAD_HEADER),
    ],
    ids=["empty", "plain-text", "magic0", "magic1", "method", "crc", "crc-high", "isize",
         "isize-member", "hcrc", "hcrc-name", "block-type", "stored-length", "second-truncated",
         "second-magic-only", "second-crc", "second-method"],
)
def test_gzip_faults(write, packed, text):
    expect_gzip_fault(write, packed, text)


def test_truncated_at_every_offset(write):
    packed = member(b"1 2\n3 4\n" * 3, extra=b"ex", name=b"name", comment=b"c", header_crc="good")
    for end in range(len(packed)):
        expect_gzip_fault(write, packed[:end], TRUNCATED)
    assert edge_set(Graph.from_file(write(packed, "whole.gz"))) == {(1, 2), (3, 4)}


def test_large_file_truncated_at_many_offsets(write):
    data = random_edge_text(random.Random(11), 40_000)
    packed = gzip.compress(data, compresslevel=1)
    rng = random.Random(12)
    for end in sorted(rng.sample(range(len(packed)), 25)) + [len(packed) - 1, len(packed) - 4]:
        expect_gzip_fault(write, packed[:end], TRUNCATED)


def test_damaged_deflate_data_never_loads(write):
    # Damage may surface as bad deflate data, a checksum mismatch, a short
    # stream, or text that decodes to a refused line; never as a graph.
    data = random_edge_text(random.Random(13), 2_000)
    packed = gzip.compress(data, mtime=0)
    rng = random.Random(14)
    outcomes = set()
    for _ in range(60):
        index = rng.randrange(10, len(packed) - 8)
        path = write(flip(packed, index, 1 << rng.randrange(8)), "damaged.gz")
        with pytest.raises(BaseException) as info:
            Graph.from_file(path)
        error = info.value
        if type(error) is OSError:
            outcomes.add("refused")
        else:
            assert type(error).__name__ == "PanicException"
            message = error.args[0]
            assert any(text in message for text in (BAD_CHECKSUM, BAD_DEFLATE, TRUNCATED, INVALID_UTF8))
            outcomes.add(message)
    assert any(BAD_DEFLATE in o for o in outcomes)


# --- gzip: a refused line read before the damage wins ------------------------------

# Ten bytes a line, so that slices at multiples of ten end on a line feed.
GOOD_LINES = b"".join(b"%04d %04d\n" % (i, i + 1) for i in range(2_000))


def damaged_member(text, damage, at=10_000):
    """A gzip member of `text` whose stream is damaged as `damage` says, with
    every byte before offset `at` of the text decodable first."""
    header = bytes([0x1F, 0x8B, 8, 0]) + b"\x00" * 4 + b"\x00\x03"
    trailer = struct.pack("<II", zlib.crc32(text), len(text))
    if damage == "crc":
        return header + raw_deflate(text) + struct.pack("<II", zlib.crc32(text) ^ 1, len(text))
    if damage == "no-trailer":
        return header + raw_deflate(text)
    if damage == "short-trailer":
        return header + raw_deflate(text) + trailer[:5]
    assert damage == "block"
    compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
    # A full flush ends the first part byte-aligned; the next block header
    # then gets the reserved block type 11.
    head = compressor.compress(text[:at]) + compressor.flush(zlib.Z_FULL_FLUSH)
    tail = compressor.compress(text[at:]) + compressor.flush()
    return header + head + bytes([tail[0] | 0x06]) + tail[1:] + trailer


DAMAGES = [("crc", BAD_CHECKSUM), ("no-trailer", TRUNCATED), ("short-trailer", TRUNCATED),
           ("block", BAD_DEFLATE)]


@pytest.mark.parametrize("damage, text", DAMAGES)
@pytest.mark.parametrize(
    "first, line",
    [(b"x y\n", 0), (b"1 2 3\n", 0), (b"1\n", 0), (b"1 2\n" * 500 + b"-1 2\n", 500)],
    ids=["letters", "three-tokens", "one-token", "late-bad-id"],
)
def test_refused_line_before_damaged_stream_wins(write, damage, text, first, line):
    data = first + GOOD_LINES
    note = refusal(write(damaged_member(data, damage), "damaged.gz"))
    assert f"line {line + 1}" in note


@pytest.mark.parametrize("damage, text", DAMAGES)
def test_good_lines_before_damaged_stream_fault(write, damage, text):
    data = GOOD_LINES + b"1 2\n"
    expect_gzip_fault(write, damaged_member(data, damage), text)


def test_refused_line_after_damaged_block_is_never_seen(write):
    # Nothing after the damage decodes, so the stream failure is what surfaces.
    data = GOOD_LINES[:12_000] + b"x y\n" + GOOD_LINES[:8_000]
    expect_gzip_fault(write, damaged_member(data, "block", at=10_000), BAD_DEFLATE)


def test_refused_line_just_before_damaged_block_wins(write):
    data = GOOD_LINES[:9_000] + b"1 +-2\n" + GOOD_LINES[:11_000]
    path = write(damaged_member(data, "block", at=9_006), "damaged.gz")
    assert refusal(path) == f"while reading {path!r}: line 901: cannot parse vertex id +-2"


def test_unterminated_last_line_before_damage_is_not_parsed(write):
    # The line cut by the damage never completes: the failure is reported, not the line.
    data = GOOD_LINES[:10_000] + b"x y"
    expect_gzip_fault(write, damaged_member(data, "crc"), BAD_CHECKSUM)

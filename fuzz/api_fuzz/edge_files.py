"""Edge-list files for from_file: written from random graphs with every
formatting freedom the format allows, or broken on purpose; and a plain
Python reading of any file, saying what from_file must make of it."""

import gzip
import os
import re
import zlib

from graph_checks import ID_END

from api_fuzz.model import GraphModel

WHITE_SPACE = frozenset(
    "\t\n\x0b\x0c\r \x85\xa0\u1680\u2028\u2029\u202f\u205f\u3000"
    + "".join(map(chr, range(0x2000, 0x200B)))
)
SEPARATORS = [" ", "\t", "  ", "\xa0", "\u3000", " \t\x0b", "\u2009"]
VERTEX_TOKEN = re.compile(r"\+?[0-9]+")
NOT_UTF8 = "stream did not contain valid UTF-8"


class Refused:
    """from_file must raise OSError("IO-Error")."""


class ReadFault:
    """from_file must raise PanicException; its message contains `text`."""

    def __init__(self, text=""):
        self.text = text


# --- reading, as from_file must ---------------------------------------------------


def expected_read(name):
    """A GraphModel, Refused or ReadFault for the file `name`."""
    if "\0" in name:
        return Refused()
    try:
        with open(name, "rb") as f:
            data = f.read()
    except IsADirectoryError:
        return ReadFault()  # opening works, the first read fails
    except OSError:
        return Refused()
    if name.endswith(".gz"):
        data, read_error = gunzip_first_member(data)
        return read_lines(data, read_error)
    return read_lines(data, None)


def gunzip_first_member(data):
    """The bytes inflated before any error, and the error's text or None.

    Byte by byte, so that everything decodable before a fault is seen; what
    follows the first member is ignored."""
    inflater = zlib.decompressobj(wbits=31)
    text = bytearray()
    for i in range(len(data)):
        try:
            text += inflater.decompress(data[i : i + 1])
        except zlib.error as error:
            return bytes(text), str(error)
        if inflater.eof:
            return bytes(text), None
    return bytes(text), "unexpected end of file"


def read_lines(data, read_error):
    lines = data.split(b"\n")
    complete, rest = lines[:-1], lines[-1]
    model = GraphModel()
    for raw in complete:
        problem = read_line(raw[:-1] if raw.endswith(b"\r") else raw, model)
        if problem is not None:
            return problem
    if read_error is not None:
        return ReadFault()
    if rest:
        problem = read_line(rest, model)
        if problem is not None:
            return problem
    return model


def read_line(raw, model):
    try:
        line = raw.decode("utf-8")
    except UnicodeDecodeError:
        return ReadFault(NOT_UTF8)
    tokens = "".join(" " if ch in WHITE_SPACE else ch for ch in line).split(" ")
    tokens = [t for t in tokens if t]
    if len(tokens) != 2:
        return Refused()
    ends = []
    for token in tokens:
        if not VERTEX_TOKEN.fullmatch(token) or int(token.lstrip("+")) >= ID_END:
            return Refused()
        ends.append(int(token.lstrip("+")))
    model.add_edge(*ends)
    return None


# --- writing ------------------------------------------------------------------------


def format_edge(rng, u, v):
    if rng.random() < 0.5:
        u, v = v, u
    tokens = [format_vertex(rng, u), format_vertex(rng, v)]
    left = rng.choice(["", "", " ", "\t", "\u3000"])
    right = rng.choice(["", "", " ", "\t", "\r"])
    return left + tokens[0] + rng.choice(SEPARATORS) + tokens[1] + right


def format_vertex(rng, u):
    sign = "+" if rng.random() < 0.1 else ""
    zeros = "0" * rng.choice([0, 0, 0, 1, 3])
    return sign + zeros + str(u)


def edge_text(rng, edges):
    """Text holding `edges`, some of them twice, in any order and layout."""
    lines = [format_edge(rng, u, v) for u, v in edges]
    lines += [format_edge(rng, u, v) for u, v in edges if rng.random() < 0.2]
    rng.shuffle(lines)
    ending = "\r\n" if rng.random() < 0.3 else "\n"
    text = ending.join(lines)
    if lines and rng.random() < 0.7:
        text += ending
    return text


BROKEN_LINES = ["", " ", "1", "1 2 3", "-1 2", "1 4294967296", "++1 2", "1e3 2", "0x10 1", "1\x1f2",
                "\ufeff1 2", "\u200b1 2", "a b", "١ 2"]


def broken_text(rng, edges):
    """Valid lines with one line from_file must refuse among them."""
    lines = edge_text(rng, edges).split("\n")
    lines.insert(rng.randrange(len(lines) + 1), rng.choice(BROKEN_LINES))
    return "\n".join(lines)


def write_case(rng, directory, slot, edges):
    """Writes one file for from_file and returns its name. The kinds that
    must fault carry only valid lines, so where the fault is found in the
    data cannot turn it into a refusal."""
    kind = rng.choice(["plain", "plain", "gzip", "gzip", "broken", "not utf-8", "truncated gzip",
                       "gzip and junk", "plain named .gz", "gzip named plain"])
    text = edge_text(rng, edges).encode()
    name = os.path.join(directory, f"edges-{slot}")
    if kind == "broken":
        text = broken_text(rng, edges).encode()
    elif kind == "not utf-8":
        cut = rng.randrange(len(text) + 1)
        text = text[:cut] + rng.choice([b"\xff", b"\xc3", b"\xed\xa0\x80", b"\xc0\xaf"]) + text[cut:]
    if kind in ("gzip", "truncated gzip", "gzip and junk", "gzip named plain"):
        data = gzip.compress(text, compresslevel=rng.choice([1, 6, 9]))
        if kind == "truncated gzip":
            data = data[: rng.randrange(len(data))]
        elif kind == "gzip and junk":
            # Nothing that could start a second member: from_file reads on
            # into further members, which this model leaves open.
            data += rng.choice([b"\x00junk", b"7 8\n", b"\x1f", b"\x1f\x00"])
    else:
        data = text
    if kind in ("gzip", "truncated gzip", "gzip and junk", "plain named .gz"):
        name += ".gz"
    with open(name, "wb") as f:
        f.write(data)
    return name

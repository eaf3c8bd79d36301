"""read_edge_list's options for files that are not white-space separated or
that start with a header, the advice that comes with a refusal, and the
progress bar of long loads.

Every file is real and goes through the real line cleaner and
Graph.from_file; expected graphs are worked out here from the rows written.
"""

import gzip
import os
import sys

import pytest

from graph_checks import edge_set
import quiverlane_tools as tools


def write(tmp_path, name, data):
    path = tmp_path / name
    path.write_bytes(gzip.compress(data) if name.endswith(".gz") else data)
    return path


def refusal(path, **options):
    with pytest.raises(tools.EdgeListFormatError) as caught:
        tools.read_edge_list(path, **options)
    return caught.value


# --- delimiter ---------------------------------------------------------------


@pytest.mark.parametrize(
    "data, options, edges",
    [
        (b"1,2\n2,3\r\n", {"delimiter": ","}, {(1, 2), (2, 3)}),
        (b" 1 , 2 ,x\n3,\t4,y\n", {"delimiter": ","}, {(1, 2), (3, 4)}),
        (b"a;1;2\nb;3;4\n", {"delimiter": ";", "columns": (1, 2)}, {(1, 2), (3, 4)}),
        (b"# c\n1|2\n\n  \n% d\n3|3\n", {"delimiter": "|"}, {(1, 2), (3, 3)}),
        (b"1\t2\n3\t4\t\n", {"delimiter": "\t"}, {(1, 2), (3, 4)}),
        (b"1,,2\n", {"delimiter": ",", "columns": (0, 2)}, {(1, 2)}),
        ("1,\u00a02\n".encode(), {"delimiter": ","}, {(1, 2)}),
        (b"source,target,weight\n1,2,0.5\n", {"delimiter": ",", "skip_header": 1}, {(1, 2)}),
    ],
    ids=["csv", "blanks-around-fields", "columns", "comments-and-blank-lines", "tab", "empty-unused-field",
         "unicode-blank", "header"],
)
@pytest.mark.parametrize("name", ["g.csv", "g.csv.gz"])
def test_delimiter_separates_fields(tmp_path, data, options, edges, name):
    assert edge_set(tools.read_edge_list(write(tmp_path, name, data), **options)) == edges


def test_large_csv_is_read_in_bulk_and_odd_lines_one_by_one(tmp_path):
    # Bulk runs turn the delimiter into a space; a line whose fields are not
    # one token each must still be read as fields.
    rows = [f"{i},{i + 1},{i % 7}\n" for i in range(60000)]
    rows[100] = "100 , 101,x\n"  # blanks around fields
    rows[30000] = "30000,30001,,\n"  # an empty unused field
    rows[45000] = "% comment, with, commas\n"
    graph = tools.read_edge_list(write(tmp_path, "big.csv.gz", "".join(rows).encode()), delimiter=",")
    expected = {(i, i + 1) for i in range(60000) if i != 45000}
    assert edge_set(graph) == expected


@pytest.mark.parametrize(
    "data, line, reason",
    [
        (b"1,2\n3,,\n", 2, "column 1 is empty"),
        (b"1,2\n3 4,5\n", 2, "cannot parse vertex id 3 4"),
        (b"1,2\n3\n", 2, "expected at least 2 columns, found 1"),
    ],
    ids=["empty-field", "blank-inside-a-field", "one-field"],
)
def test_delimited_line_refusals_name_the_line(tmp_path, data, line, reason):
    lines = b"".join(b"%d,%d\n" % (i, i + 1) for i in range(20000))
    error = refusal(write(tmp_path, "g.csv", lines + data), delimiter=",")
    assert (error.line, error.reason) == (20000 + line, reason)


@pytest.mark.parametrize(
    "delimiter, error",
    [(",,", TypeError), ("", TypeError), (b",", TypeError), ("1", ValueError), ("+", ValueError),
     ("\n", ValueError), ("#", ValueError), ("é", ValueError)],
)
def test_bad_delimiters_are_refused(tmp_path, delimiter, error):
    with pytest.raises(error, match="delimiter"):
        tools.read_edge_list(write(tmp_path, "g.csv", b"1,2\n"), delimiter=delimiter)


# --- skip_header -------------------------------------------------------------


@pytest.mark.parametrize("name", ["g.txt", "g.txt.gz"])
def test_skipped_header_lines_may_hold_anything_and_still_count(tmp_path, name):
    data = b"\xef\xbb\xbfFrom To\n\xff\xfe not text\n1 2\n3 x\n"
    error = refusal(write(tmp_path, name, data), skip_header=2)
    assert (error.line, error.reason) == (4, "cannot parse vertex id x")


@pytest.mark.parametrize(
    "data, skip, edges",
    [
        (b"n m\n1 2\n2 3\n", 1, {(1, 2), (2, 3)}),
        (b"1 2\n2 3\n", 5, set()),
        (b"%%MatrixMarket matrix array real general\n1 2\n", 1, {(1, 2)}),
        (b"x\n" * 70000 + b"1 2\n", 70000, {(1, 2)}),
    ],
    ids=["names", "past-the-end", "matrix-market-header-skipped", "longer-than-a-block"],
)
def test_skip_header_drops_exactly_that_many_lines(tmp_path, data, skip, edges):
    assert edge_set(tools.read_edge_list(write(tmp_path, "g.txt", data), skip_header=skip)) == edges


@pytest.mark.parametrize(
    "skip, error", [(-1, ValueError), (1.0, TypeError), (True, TypeError), ("1", TypeError)]
)
def test_bad_skip_header_is_refused(tmp_path, skip, error):
    with pytest.raises(error, match="skip_header"):
        tools.read_edge_list(write(tmp_path, "g.txt", b"1 2\n"), skip_header=skip)


# --- the advice in a refusal -------------------------------------------------


@pytest.mark.parametrize(
    "data, options, line, hint, following",
    [
        (b"1,2\n", {}, 1, "to read it, pass delimiter=','", {"delimiter": ","}),
        (b"source,target\n1,2\n", {}, 1, "to read it, pass delimiter=',' and skip_header=1 if line 1 is a header",
         {"delimiter": ",", "skip_header": 1}),
        (b"source,target\n1,2\n", {"delimiter": ","}, 1, "to read it, pass skip_header=1 if line 1 is a header",
         {"delimiter": ",", "skip_header": 1}),
        (b"# c\nfrom to\n1 2\n", {}, 2, "to read it, pass skip_header=2 if lines 1 to 2 are a header",
         {"skip_header": 2}),
        (b"4941\n1 2\n", {}, 1, "to read it, pass skip_header=1 if line 1 is a header", {"skip_header": 1}),
        (b"1;2\n", {"delimiter": ","}, 1, "to read it, pass delimiter=';'", {"delimiter": ";"}),
        (b"1 2\n", {"delimiter": ","}, 1, "to read it, pass delimiter=None (columns separated by white space)",
         {"delimiter": None}),
        (b"// made by hand\n1 2\n", {}, 1,
         "to read it, pass comments='#%/' if lines starting with '/' are comments", {"comments": "#%/"}),
        (b"1 2 3\n", {"columns": (1, 3)}, 1, "to read it, pass columns=(i, j) with both below 3",
         {"columns": (1, 2)}),
        (b"1 2\n3\n", {}, 2, "no option reads a line with fewer than two columns", None),
        (b"1,2\n3,,\n", {"delimiter": ","}, 2, "no option reads it: an edge needs both of its ends", None),
    ],
    ids=["csv", "csv-header", "csv-header-with-delimiter", "header-after-comment", "count-line", "other-delimiter",
         "white-space-after-all", "other-comment-mark", "too-few-columns", "one-column-after-edges",
         "empty-field"],
)
def test_refusal_says_which_option_would_read_the_line(tmp_path, data, options, line, hint, following):
    path = write(tmp_path, "g.txt", data)
    error = refusal(path, **options)
    assert (error.line, error.hint) == (line, hint)
    assert str(error).endswith(f"; {hint}")
    if following is not None:
        assert tools.read_edge_list(path, **following).num_edges() == 1


# --- progress ----------------------------------------------------------------


@pytest.mark.parametrize("name", ["g.txt", "g.txt.gz"])
def test_progress_bar_counts_the_bytes_of_the_file(tmp_path, capfd, name):
    if not os.environ.get("CI"):
        pytest.importorskip("tqdm")  # CI installs it, so missing there fails
    # Strict lines, which without a bar go to Graph.from_file directly.
    path = write(tmp_path, name, b"".join(b"%d %d\n" % (i, i + 1) for i in range(50000)))
    graph = tools.read_edge_list(path, progress=True)
    assert graph.num_edges() == 50000
    from tqdm import tqdm

    bar = capfd.readouterr().err
    size = tqdm.format_sizeof(path.stat().st_size, divisor=1024)
    assert f"{name}: 100%" in bar and f" {size}/{size} " in bar


def test_progress_without_tqdm_says_what_to_install(tmp_path, monkeypatch):
    monkeypatch.setitem(sys.modules, "tqdm", None)
    with pytest.raises(ModuleNotFoundError, match=r"quiverlane\[progress\]"):
        tools.read_edge_list(write(tmp_path, "g.txt", b"1 2\n"), progress=True)

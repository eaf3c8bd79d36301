"""Random argument values, ordinary and hostile, and random ways of passing
them (positions, keywords, and the mistakes callers make)."""

import pathlib

from graph_checks import ID_END, MAX_ID

from api_fuzz.conversion import Hostile, IndexCallingBack, IndexRaising, IndexReturning
from api_fuzz.methods import InnerCall

EXTREMES = [0, 1, 2**31 - 1, 2**31, MAX_ID - 1, MAX_ID]
OUT_OF_RANGE = [-1, -(2**31), ID_END, ID_END + 5, 2**63 - 1, 2**63, -(2**63), -(2**63) - 1, 2**100]
NOT_INTEGERS = [1.0, 2.5, "1", b"1", None, 1j, [1], (1,)]
JUNK_KEYWORDS = ["w", "x", "U", "uu", "self", "vertex", "é", "c", "u", "vertices", "filename", "r"]


class WeirdInt(int):
    """An int whose __index__ disagrees with its value: the value counts."""

    def __index__(self):
        return 99

    def __repr__(self):
        return f"WeirdInt({int(self)})"


class SetSubclass(set):
    pass


class LyingSet(set):
    """Claims other members than it holds: the module reads the table."""

    def __iter__(self):
        return iter([123456])

    def __len__(self):
        return 1

    def __contains__(self, item):
        return True


class StrSubclass(str):
    pass


class KeywordName:
    """A non-str keyword name with a str of its own."""

    def __str__(self):
        return "odd name"


class FuzzError(Exception):
    pass


class FuzzBaseError(BaseException):
    pass


def value_error():
    return ValueError("from __index__")


def fuzz_error():
    return FuzzError("from __index__")


def fuzz_base_error():
    return FuzzBaseError("from __index__")


class Generator:
    """Makes arguments for calls on the graphs of one session."""

    def __init__(self, rng, session):
        self.rng = rng
        self.session = session
        self.hostiles = []  # every hostile object made for the current call

    def chance(self, p):
        return self.rng.random() < p

    # --- vertices ---------------------------------------------------------------

    def vertex_id(self, model, present=0.6):
        if model.adj and self.chance(present):
            return self.rng.choice(sorted(model.adj))
        if self.chance(0.9):
            return self.rng.randrange(14)
        return self.rng.choice(EXTREMES)

    def absent_id(self, model):
        for _ in range(5):
            u = self.vertex_id(model, present=0)
            if u not in model.adj:
                return u
        while True:  # the usual ids are all taken
            u = self.rng.randrange(ID_END)
            if u not in model.adj:
                return u

    def vertex(self, model):
        if not self.chance(0.15):
            return self.vertex_id(model)
        return self.odd_vertex(model)

    def odd_vertex(self, model):
        rng = self.rng
        kind = rng.randrange(8)
        if kind == 0:
            return rng.choice([True, False, WeirdInt(self.vertex_id(model))])
        if kind == 1:
            return rng.choice(OUT_OF_RANGE)
        if kind == 2:
            return rng.choice(NOT_INTEGERS)
        if kind == 3:
            returned = rng.choice([self.vertex_id(model), True, WeirdInt(3), rng.choice(OUT_OF_RANGE),
                                   "7", 7.0, None])
            return self.hostile(IndexReturning(returned))
        if kind == 4:
            make = rng.choice([value_error, fuzz_error, fuzz_base_error, self.panic_error])
            return self.hostile(IndexRaising(make))
        return self.calling_back(model)

    def panic_error(self):
        return self.session.classes.panic("made in Python")

    def calling_back(self, model):
        rng = self.rng
        same = self.chance(0.6)
        target = self.session.current_graph if same else rng.choice(self.session.graphs)
        target_model = self.session.model_of(target)
        k = self.vertex_id(target_model)
        inner = rng.choice([
            InnerCall("num_vertices"),
            InnerCall("degree", (k,)),
            InnerCall("contains", (k,)),
            InnerCall("add_vertex", (k,)),
            InnerCall("add_edge", (k, self.vertex_id(target_model))),
            InnerCall("neighbours", (self.absent_id(target_model),)),
            InnerCall("neighbours", (k,)),
            InnerCall("repr"),
            InnerCall("from_file", (self.session.sample_file,)),
        ])
        catch = inner.name == "from_file" or self.chance(0.5)
        fallback = self.vertex_id(model) if self.chance(0.9) else rng.choice(OUT_OF_RANGE + [True])
        return self.hostile(IndexCallingBack(target, inner, catch, fallback))

    def hostile(self, obj):
        self.hostiles.append(obj)
        return obj

    # --- vertex sets ------------------------------------------------------------

    def vertex_set(self, model):
        rng = self.rng
        members = [self.vertex_id(model, present=0.85) for _ in range(rng.choice([0, 1, 1, 2, 3, 4, 6]))]
        if self.chance(0.15):
            members.append(self.odd_member(model))
        kind = rng.randrange(20)
        if kind < 14:
            return set(members)
        if kind == 14:
            return SetSubclass(members)
        if kind == 15:
            return LyingSet(members)
        unhashed = [m for m in members if not isinstance(m, Hostile)]
        return rng.choice([frozenset(unhashed), list(unhashed), tuple(unhashed), dict.fromkeys(unhashed),
                           (m for m in unhashed), None, 3, "12", range(3)])

    def odd_member(self, model):
        while True:
            member = self.odd_vertex(model)
            try:
                hash(member)
                return member
            except TypeError:
                continue

    # --- file names -------------------------------------------------------------

    def filename(self):
        rng = self.rng
        session = self.session
        kind = rng.randrange(20)
        if kind < 12:
            return session.write_edge_file()
        if kind == 12:
            return StrSubclass(session.write_edge_file())
        if kind == 13:
            return session.write_edge_file().encode()
        if kind == 14:
            return pathlib.Path(session.write_edge_file())
        names = [session.directory, session.missing_file, session.directory + "/x\0y", "\udc80.txt",
                 None, 7, ""]
        return rng.choice(names)

    def argument(self, kind, model):
        if kind == "vertex":
            return self.vertex(model)
        if kind == "set":
            return self.vertex_set(model)
        return self.filename()

    # --- passing the arguments --------------------------------------------------

    def call_form(self, method, values):
        """(positional, keywords) for a call, usually right, sometimes not."""
        rng = self.rng
        params = method.params
        if not params:
            if self.chance(0.95):
                return [], {}
            return rng.choice([([1], {}), ([], {"x": 1})])
        form = rng.randrange(16)
        named = dict(zip(params, values))
        if form < 9:
            return list(values), {}
        if form == 9:
            order = list(params)
            rng.shuffle(order)
            return [], {name: named[name] for name in order}
        if form == 10:
            split = rng.randrange(len(params) + 1)
            return list(values[:split]), {name: named[name] for name in params[split:]}
        if form == 12:  # one missing
            gone = rng.randrange(len(params))
            keep = [v for i, v in enumerate(values) if i != gone]
            return keep, {}
        if form == 13:  # one too many
            return list(values) + [rng.choice([0, values[0]])], {}
        if form == 14:  # given twice
            return list(values), {rng.choice(params): values[0]}
        # Otherwise: keywords it does not have.
        positional, keywords = list(values), {}
        for _ in range(rng.choice([1, 1, 2])):
            keywords[rng.choice(JUNK_KEYWORDS)] = 0
        if self.chance(0.5):
            keywords = {rng.choice([1, 2.5, ("u",), KeywordName()]): 0, **keywords}
        if self.chance(0.5):
            positional, keywords = positional[:1], {**keywords, **dict(zip(params[1:], values[1:]))}
        return positional, keywords

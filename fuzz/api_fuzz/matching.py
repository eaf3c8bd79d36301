"""How the module must match positional and keyword arguments to a
method's parameters, and the TypeError messages when they do not fit."""

import re

from api_fuzz.conversion import Converted, Failed
from api_fuzz.outcomes import Raises, RaisesMatching

NO_ARGUMENTS = re.compile(r"takes no (keyword )?arguments")


def expect_matching(method, positional, keywords):
    """Converted(the objects in declaration order) or Failed(TypeError)."""
    if not method.params:
        # Registered without parameters: the interpreter refuses any
        # argument itself, before the module is entered.
        if positional or keywords:
            return Failed(RaisesMatching(TypeError, lambda args: bool(NO_ARGUMENTS.search(str(args))),
                                         "the interpreter's 'takes no arguments'"))
        return Converted([])
    label = method.label
    given = len(positional)
    remaining = dict(keywords)
    slots = []
    used = 0
    for i, name in enumerate(method.params):
        if name in remaining:
            if i < given:
                return refuse(f"{label} got multiple values for argument: {name}")
            slots.append(remaining.pop(name))
        elif i < given:
            slots.append(positional[i])
            used += 1
        else:
            return refuse(f"{label} missing required positional argument: {name}")
    if remaining:
        return refuse(f"{label} got an unexpected keyword argument: {next(iter(remaining))}")
    if used < given:
        plural = "" if used == 1 else "s"
        return refuse(f"{label} takes at most {used} positional argument{plural} ({given} given)")
    return Converted(slots)


def refuse(message):
    return Failed(Raises(TypeError, (message,)))

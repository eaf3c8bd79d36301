"""The whole-graph check made after every step: the graph's own answers
must agree with each other, and with the model."""

from graph_checks import check_graph

if not __debug__:
    raise ImportError("the graph checks are assertions, which -O removes")


def graph_mismatch(g, model):
    """What differs between the graph and the model, or within the graph's
    own answers; None when nothing does."""
    try:
        check_graph(g, model.adj)
    except AssertionError as error:
        return str(error) or "a graph check failed"
    return None

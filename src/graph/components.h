// Connected components.
#pragma once

#include "graph/graph.h"
#include "graph/vertex_groups.h"

namespace quiverlane {

// The vertex sets of the connected components, one group per component.
// Neither the order of the components nor the order within one means
// anything. An isolated vertex, or one whose only edge is a loop, is a
// component of its own. Reads the graph only; no fault on a consistent graph.
// O(n + m) time; scratch of a bit per adjacency slot, a slot index per
// vertex of the largest component, and, when some ids are large, a table
// of eight bytes per vertex with a neighbour.
VertexGroups components(const Graph& graph);

}  // namespace quiverlane

// Connected components.
#pragma once

#include <vector>

#include "graph/graph.h"
#include "graph/vertex_set.h"

namespace quiverlane {

// The vertex sets of the connected components, one per component. Neither
// the order of the components nor the order within one means anything. An
// isolated vertex, or one whose only edge is a loop, is a component of its
// own. Reads the graph only; no fault on a consistent graph.
// O(n + m).
std::vector<VertexSet> components(const Graph& graph);

}  // namespace quiverlane

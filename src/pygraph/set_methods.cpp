// Vertex-set methods: neighbourhoods, balls, contraction, subgraphs and
// components. Arguments convert in declaration order, after access is taken,
// so a conversion failure never reaches the graph.
#include "binding/argument_set.h"
#include "binding/conversions.h"
#include "binding/guard.h"
#include "binding/results.h"
#include "graph/components.h"
#include "graph/contraction.h"
#include "graph/neighbourhood.h"
#include "graph/subgraph.h"
#include "pygraph/graph_object.h"
#include "pygraph/methods.h"

namespace quiverlane::methods {

namespace {

// Keeps the cyclic garbage collector off while a result made of many
// containers is built. Each new set counts towards the next collection, so a
// million one-vertex components would otherwise set off collection after
// collection, each walking the ever longer list of sets made so far; none of
// these objects can be part of a cycle while we build them.
class CollectorPause {
 public:
#if PY_VERSION_HEX >= 0x030A0000
  CollectorPause() noexcept : was_enabled_(PyGC_Disable() != 0) {}
  ~CollectorPause() {
    if (was_enabled_) PyGC_Enable();
  }
#else
  CollectorPause() noexcept = default;
#endif
  CollectorPause(const CollectorPause&) = delete;
  CollectorPause& operator=(const CollectorPause&) = delete;

 private:
  [[maybe_unused]] bool was_enabled_ = false;
};

}  // namespace

QUIVERLANE_ARGS_METHOD(neighbourhood) {
  return guarded([&] {
    SharedAccess access(self);
    const auto [c] = match_arguments("PyGraph.neighbourhood()", kParamsC, {args, kwargs});
    const ArgumentSet members = to_argument_set(c);
    return distinct_ids_to_python(neighbourhood(access.graph(), members));
  });
}

QUIVERLANE_ARGS_METHOD(closed_neighbourhood) {
  return guarded([&] {
    SharedAccess access(self);
    const auto [c] =
        match_arguments("PyGraph.closed_neighbourhood()", kParamsC, {args, kwargs});
    const ArgumentSet members = to_argument_set(c);
    return distinct_ids_to_python(closed_neighbourhood(access.graph(), members));
  });
}

QUIVERLANE_ARGS_METHOD(r_neighbours) {
  return guarded([&] {
    SharedAccess access(self);
    const auto [u_arg, r_arg] = match_arguments("PyGraph.r_neighbours()", kParamsUR, {args, kwargs});
    const Vertex u = to_vertex(u_arg);
    const std::uint32_t r = to_radius(r_arg);
    return distinct_ids_to_python(r_neighbours(access.graph(), u, r));
  });
}

QUIVERLANE_ARGS_METHOD(contract) {
  return guarded([&] {
    ExclusiveAccess access(self);
    const auto [vertices_arg] = match_arguments("PyGraph.contract()", kParamsVertices, {args, kwargs});
    const ArgumentSet vertices = to_argument_set(vertices_arg);
    return vertex_to_python(contract(access.graph(), vertices));
  });
}

QUIVERLANE_ARGS_METHOD(contract_into) {
  return guarded([&] {
    ExclusiveAccess access(self);
    const auto [center_arg, vertices_arg] =
        match_arguments("PyGraph.contract_into()", kParamsCenterVertices, {args, kwargs});
    const Vertex center = to_vertex(center_arg);
    const ArgumentSet vertices = to_argument_set(vertices_arg);
    contract_into(access.graph(), center, vertices);
    return none_to_python();
  });
}

QUIVERLANE_ARGS_METHOD(subgraph) {
  return guarded([&] {
    SharedAccess access(self);
    const auto [vertices_arg] = match_arguments("PyGraph.subgraph()", kParamsVertices, {args, kwargs});
    const ArgumentSet vertices = to_argument_set(vertices_arg);
    return wrap_graph(subgraph(access.graph(), vertices));
  });
}

QUIVERLANE_NOARGS_METHOD(components) {
  (void)unused;
  return guarded([&] {
    SharedAccess access(self);
    const VertexGroups parts = components(access.graph());
    const CollectorPause pause;
    return groups_to_python(parts);
  });
}

}  // namespace quiverlane::methods

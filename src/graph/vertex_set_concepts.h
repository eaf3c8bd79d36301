// What the graph algorithms need of a vertex set they are handed.
//
// The queries and contractions take the argument set of a Python call as
// readily as the core's own sets, and never change it: all they ask is its
// size, membership, and one walk over its members in the set's own order.
// Stating that here lets every set type be checked against it where it is
// defined, rather than at the first algorithm that happens to call a
// missing member.
#pragma once

#include <concepts>
#include <cstddef>

#include "graph/vertex.h"

namespace quiverlane {

namespace detail {
// Stands for any callable taking a vertex: for_each is a template.
struct VertexVisitor {
  void operator()(Vertex) const noexcept {}
};
}  // namespace detail

// Read-only access to distinct vertices: how many, whether one is among
// them, and for_each(f), calling f(v) once per member.
template <class Set>
concept ReadableVertexSet = requires(const Set& set, Vertex v, detail::VertexVisitor visit) {
  { set.size() } -> std::convertible_to<std::size_t>;
  { set.empty() } -> std::convertible_to<bool>;
  { set.contains(v) } -> std::same_as<bool>;
  set.for_each(visit);
};

// A readable set that also names, without a walk, the member its for_each
// yields first: what contract() takes as its center.
template <class Set>
concept PickableVertexSet = ReadableVertexSet<Set> && requires(const Set& set) {
  { set.first() } -> std::same_as<Vertex>;
};

}  // namespace quiverlane

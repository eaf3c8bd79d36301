// The graph record and its store operations.
//
// An undirected graph over 32-bit vertex ids, loops allowed, no multi-edges.
// Invariants kept by every operation that changes the graph:
//  1. v is in u's neighbour set exactly when u is in v's; every neighbour is
//     itself a key of `adjacency_`.
//  2. A loop at u is stored once, as u in u's own set.
//  3. degree(u) = members of u's set other than u, plus 2 for a loop.
//  4. `edge_count_` counts each pair {u, v} once, loops included, so the
//     degrees sum to twice `edge_count_`.
// Every editing operation either happens whole or not at all: all allocation
// is done before the first visible change, so bad_alloc leaves the graph as
// it was.
//
// Degrees cost no table of their own: a vertex's neighbour set carries a tag
// exactly when it holds the vertex itself, so degree(u) = |N(u)| + tag, read
// from the one adjacency entry. That keeps invariant 3 true by construction
// and saves a second map the size of the first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "graph/look_ahead.h"
#include "graph/table_blocks.h"
#include "graph/vertex.h"
#include "graph/vertex_map.h"
#include "graph/vertex_set.h"
#include "graph/vertex_set_concepts.h"

namespace quiverlane {

class GraphBuilder;
class Traversal;

// The record's tables are its own: algorithms work through the operations
// below and through Traversal (traversal.h), which hands them a vertex and
// its neighbour set, so that the layout can change here alone. GraphBuilder
// builds a large graph's tables in tables of its own, laid out as these,
// and hands them over whole.
class Graph {
 public:
  Graph() = default;
  Graph(Graph&& other) noexcept
      : adjacency_(std::move(other.adjacency_)),
        edge_count_(std::exchange(other.edge_count_, 0)),
        cloned_tables_(std::move(other.cloned_tables_)) {}
  Graph& operator=(Graph&& other) noexcept {
    adjacency_ = std::move(other.adjacency_);
    edge_count_ = std::exchange(other.edge_count_, 0);
    cloned_tables_ = std::move(other.cloned_tables_);
    return *this;
  }

  // The caps (capacity.h): a vertex table fills at most the load limit of
  // its largest size, and a neighbour set holds at most kMaxDegree members
  // (a loop adds one to the degree, not to the set). Past either, the
  // operation throws CapacityExceeded and changes nothing.
  static constexpr std::uint64_t kMaxVertices = detail::ScaledLayout::max_members();
  static constexpr std::uint64_t kMaxNeighbours = VertexSet::kMaxSize;

  // O(1) queries. An absent vertex is not an error for any of them.
  std::uint64_t num_vertices() const noexcept { return adjacency_.size(); }
  std::uint64_t num_edges() const noexcept { return edge_count_; }
  bool contains(Vertex u) const noexcept { return adjacency_.contains(u); }
  bool adjacent(Vertex u, Vertex v) const noexcept {
    const VertexSet* set = adjacency_.find(u);
    return set != nullptr && set->contains(v);
  }
  std::uint32_t degree(Vertex u) const noexcept {
    const VertexSet* set = adjacency_.find(u);
    return set == nullptr ? 0 : static_cast<std::uint32_t>(set->size() + (set->tagged() ? 1 : 0));
  }

  // The stored neighbour set of u, valid until the graph next changes.
  // Faults with "Vertex not contained in graph" when u is absent.
  const VertexSet& neighbours(Vertex u) const;

  // Starts loading u's entry, so that a lookup soon after, or several
  // lookups at once, do not each wait on memory in turn.
  void prefetch(Vertex u) const noexcept { adjacency_.prefetch(u); }

  // O(n): calls f(u) once per vertex, in the table's order.
  template <class F>
  void for_each_vertex(F&& f) const {
    adjacency_.for_each([&f](Vertex u, const VertexSet&) { f(u); });
  }

  // O(n + m): calls f(a, b) once per edge with a <= b, in slot order.
  // Where the average vertex keeps its neighbours in a table of its own,
  // each table starts loading some vertices before the walk reaches it: a
  // walk that waited for each in turn would spend most of its time waiting.
  // A graph of mostly isolated vertices walks faster without.
  template <class F>
  void for_each_edge(F&& f) const {
    auto from = [&f](Vertex a, const VertexSet& set) {
      set.for_each([&](Vertex b) {
        if (a <= b) f(a, b);  // else listed from its other end
      });
    };
    if (2 * edge_count_ <= VertexSet::kInlineCapacity * adjacency_.size()) {
      adjacency_.for_each(from);
      return;
    }
    look_ahead::walk_ahead(
        0, adjacency_.slot_limit(),
        [&](std::size_t slot) {
          if (!adjacency_.occupied(slot)) return;
          const AdjacencyMap::Entry& entry = adjacency_.entry_at_slot(slot);
          from(entry.key, entry.value);
        },
        look_ahead::stage<look_ahead::kSweepTables>([this](std::size_t slot) {
          if (adjacency_.occupied(slot)) adjacency_.entry_at_slot(slot).value.prefetch_table();
        }));
  }

  // O(1) amortised.
  void add_vertex(Vertex u);
  bool add_edge(Vertex u, Vertex v);
  bool remove_edge(Vertex u, Vertex v);
  // O(degree(u)).
  bool remove_vertex(Vertex u);
  // O(n).
  std::uint64_t remove_loops();
  std::uint64_t remove_isolates();
  // O(n + m): an independent graph with the same tables, cloned block by
  // block in slot order.
  Graph copy() const;

  // Joins center to every member of `others` but center itself, creating
  // center if it gains an edge. All or nothing: every allocation is made
  // before the first edge is added. Every member must be a vertex.
  // O(|others|).
  template <ReadableVertexSet Set>
  void join(Vertex center, const Set& others) {
    const std::size_t joining = others.size() - (others.contains(center) ? 1 : 0);
    if (joining == 0) return;
    make_room_for_star(center, others);
    others.for_each([&](Vertex w) {
      if (w != center) add_edge(center, w);
    });
  }

  // Building a graph whose adjacency is known whole, such as an induced
  // subgraph. reserve(n) makes room for n vertices in all.
  // add_vertex_with_neighbours gives u, not yet a vertex, the distinct
  // neighbours listed; the graph is consistent again once every vertex
  // listed has been added the same way, with u among its own.
  void reserve(std::size_t n) { adjacency_.reserve(n); }
  void add_vertex_with_neighbours(Vertex u, const std::vector<Vertex>& listed);

 private:
  friend class GraphBuilder;
  friend class Traversal;

  using AdjacencyMap = VertexMap<VertexSet>;

  // A graph whose tables GraphBuilder made.
  Graph(AdjacencyMap adjacency, std::uint64_t edge_count) noexcept
      : adjacency_(std::move(adjacency)), edge_count_(edge_count) {}

  VertexSet& neighbours_entry(Vertex u);

  // Makes every allocation join() will need, creating only the center; if
  // a later allocation fails the center is removed again.
  template <class Set>
  void make_room_for_star(Vertex center, const Set& others) {
    // The center's set grows by its new neighbours only, counted exactly:
    // an estimate could pass the neighbour-set cap when the result would
    // not. w is a neighbour exactly when the center is in w's set.
    std::size_t gaining = 0;
    others.for_each([&](Vertex w) {
      VertexSet* around = adjacency_.find(w);
      if (w != center && (around == nullptr || !around->contains(center))) {
        ++gaining;
        if (around != nullptr) around->reserve(around->size() + 1);
      }
    });
    const bool create = !contains(center);
    add_vertex(center);
    try {
      VertexSet* own = adjacency_.find(center);
      own->reserve(own->size() + gaining);
    } catch (...) {
      if (create) remove_vertex(center);
      throw;
    }
  }

  AdjacencyMap adjacency_;
  std::uint64_t edge_count_ = 0;
  // Where copy() put the neighbour tables of this graph, if it made it.
  TableBlocks cloned_tables_;
};

#if !defined(QUIVERLANE_SMALL_CAPACITY)
// The caps as the error notes and the documentation state them.
static_assert(Graph::kMaxVertices == 3758096384u && Graph::kMaxNeighbours == 1073741823u);
#endif

// The graph's own sets, a vertex's neighbours or all its vertices, can be
// handed to every algorithm that reads a vertex set.
static_assert(ReadableVertexSet<VertexSet>);

}  // namespace quiverlane

#include "graph/graph.h"

#include "graph/look_ahead.h"

#include "support/fault.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace {
constexpr const char* kVertexAbsent = "Vertex not contained in graph";
}

const VertexSet& Graph::neighbours(Vertex u) const {
  const VertexSet* set = adjacency_.find(u);
  if (set == nullptr) fault(kVertexAbsent);
  return *set;
}

VertexSet& Graph::neighbours_entry(Vertex u) {
  VertexSet* set = adjacency_.find(u);
  if (set == nullptr) fault(kVertexAbsent);
  return *set;
}

void Graph::add_vertex(Vertex u) { adjacency_.try_emplace(u); }

bool Graph::add_edge(Vertex u, Vertex v) {
  // In large graphs every step below waits on memory; starting both map
  // loads at once overlaps their misses.
  adjacency_.prefetch(u);
  adjacency_.prefetch(v);
  VertexSet* su = adjacency_.find(u);
  VertexSet* sv = u == v ? su : adjacency_.find(v);
  if (sv != nullptr) sv->prefetch(u);
  if (su != nullptr && su->contains(v)) return false;
  bool new_u = false, new_v = false;
  if (su == nullptr || sv == nullptr) {
    // Room for the new endpoints first, so creating them cannot fail
    // halfway; exactly as many as are new, so that a graph one vertex short
    // of its cap still takes an edge to a new vertex.
    adjacency_.reserve(adjacency_.size() + (su == nullptr ? 1 : 0) + (sv == nullptr && u != v ? 1 : 0));
    new_u = adjacency_.try_emplace(u).second;
    new_v = adjacency_.try_emplace(v).second;
    su = adjacency_.find(u);  // insertions move entries
    sv = adjacency_.find(v);
  }
  try {
    su->reserve(su->size() + 1);
    sv->reserve(sv->size() + 1);
  } catch (...) {
    // Growth leaves contents unchanged; undo only the endpoints we created.
    if (new_v) adjacency_.erase(v);
    if (new_u) adjacency_.erase(u);
    throw;
  }
  // By symmetry, v missing from u's set means u is missing from v's.
  su->insert_new(v);
  if (sv != su)
    sv->insert_new(u);
  else
    su->set_tagged(true);
  ++edge_count_;
  return true;
}

bool Graph::remove_edge(Vertex u, Vertex v) {
  VertexSet* su = adjacency_.find(u);
  if (su == nullptr || !su->erase(v)) return false;
  if (u == v)
    su->set_tagged(false);
  else
    neighbours_entry(v).erase(u);
  --edge_count_;
  return true;
}

bool Graph::remove_vertex(Vertex u) {
  VertexSet* su = adjacency_.find(u);
  if (su == nullptr) return false;
  // u's own set is dropped whole below, so it is walked in place: only the
  // other endpoints' sets change during the walk.
  edge_count_ -= su->size();
  su->for_each([&](Vertex w) {
    if (w != u) neighbours_entry(w).erase(u);
  });
  adjacency_.erase(u);
  return true;
}

// remove_loops and remove_isolates may be interrupted while they collect,
// before their first change, never while they remove.
std::uint64_t Graph::remove_loops() {
  std::vector<Vertex> looped;
  InterruptPoll poll;
  adjacency_.for_each([&](Vertex u, const VertexSet& set) {
    poll.tick();
    if (set.tagged()) looped.push_back(u);
  });
  for (Vertex u : looped) remove_edge(u, u);
  return looped.size();
}

std::uint64_t Graph::remove_isolates() {
  std::vector<Vertex> isolated;
  InterruptPoll poll;
  adjacency_.for_each([&](Vertex u, const VertexSet& set) {
    poll.tick();
    if (set.empty()) isolated.push_back(u);
  });
  for (Vertex u : isolated) remove_vertex(u);
  return isolated.size();
}

void Graph::add_vertex_with_neighbours(Vertex u, const std::vector<Vertex>& listed) {
  VertexSet& set = *adjacency_.try_emplace(u).first;
  set.reserve(listed.size());
  // Each edge is counted once: a loop when met, any other edge from its
  // smaller end.
  bool loop = false;
  for (const Vertex w : listed) {
    set.insert_new(w);
    if (w > u) ++edge_count_;
    loop |= w == u;
  }
  if (loop) {
    set.set_tagged(true);  // the store's mark of a loop
    ++edge_count_;
  }
}

Graph Graph::copy() const {
  Graph result;
  TableBlocks& blocks = result.cloned_tables_;
  result.adjacency_ = adjacency_.clone<look_ahead::kClones>(
      [&blocks](const VertexSet& set) { return set.clone_into(blocks.take(set.heap_bytes())); },
      [](const VertexSet& set) { set.prefetch_table(); });
  result.edge_count_ = edge_count_;
  return result;
}

}  // namespace quiverlane

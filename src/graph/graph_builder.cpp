#include "graph/graph_builder.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "graph/look_ahead.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace {

// Graphs up to this many vertices stay in cache: sorting would not pay.
constexpr std::size_t kSortFrom = std::size_t{1} << 14;
// The sort is a radix sort on the top 22 bits of the hash, two passes of
// 11: enough to order homes finely and to bring each source's arcs
// together, with counters that stay in the first-level cache.
constexpr unsigned kDigitBits = 11;
constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
constexpr unsigned kLowShift = 32 - 2 * kDigitBits;
constexpr unsigned kHighShift = kLowShift + kDigitBits;

// The end of the run of arcs sharing arcs[begin]'s source.
template <class Arcs>
std::size_t run_end(const Arcs& arcs, std::size_t begin) {
  std::size_t end = begin + 1;
  while (end < arcs.size() && arcs[end].source == arcs[begin].source) ++end;
  return end;
}

// Starts loading the adjacency slot of the arc some way past arcs[at], for
// a sweep that finds one source per run.
template <class Adjacency, class Arcs>
void load_slot_ahead(const Adjacency& adjacency, const Arcs& arcs, std::size_t at) {
  const std::size_t ahead = at + look_ahead::kBuildSlots;
  if (ahead < arcs.size()) adjacency.prefetch_hashed(arcs[ahead].hash);
}

}  // namespace

GraphBuilder::GraphBuilder() {
  size_buffers();
  counts_.resize(2 * kDigits);
}

void GraphBuilder::start_batch() {
  // Powers of two, so that the buffers are reallocated only a few times
  // in all: each time leaves the old ones as holes in the heap.
  const std::size_t wanted = std::bit_floor(edges_before_ / kEdgesPerBatchEdge);
  const std::size_t next = std::clamp(wanted, kMinBatchEdges, kMaxBatchEdges);
  if (next == batch_edges_) return;
  batch_edges_ = next;
  size_buffers();
}

// Both arcs of every edge of a batch, sized exactly, so that the buffers
// stay within their share of the graph.
void GraphBuilder::size_buffers() {
  arcs_ = {};
  sorted_ = {};
  arcs_.reserve(2 * batch_edges_);
  sorted_.reserve(2 * batch_edges_);
}

void GraphBuilder::append_batch() {
  auto& adjacency = lists_;
  if (adjacency.size() < kSortFrom) {
    // A table this small is in cache whatever the order.
    for (const Arc& arc : arcs_) adjacency.try_emplace_hashed(arc.source, arc.hash);
  } else {
    sort_by_hash();
    // The sweep must not take the table over its load limit: the new
    // vertices all land in the part already swept, which would then be
    // crowded into runs thousands of slots long. So when they might not
    // fit, they are counted and room is made for them first, while the
    // table holds only vertices spread as randomly as the hash.
    if (adjacency.could_grow_by(run_count()))
      adjacency.reserve(adjacency.size() + count_new_sources());
  }
  append_arcs();
  arcs_.clear();
  edges_before_ += std::exchange(edges_, 0);
}

// Orders the arcs by the top bits of their source's hash, and so by home
// slot in a table of any size. Least significant digit first: each pass is
// a stable counting sort, so the first pass's order survives the second
// among equal top digits.
void GraphBuilder::sort_by_hash() {
  auto low = [](const Arc& a) { return (a.hash >> kLowShift) & (kDigits - 1); };
  auto high = [](const Arc& a) { return a.hash >> kHighShift; };
  // Both digits are counted in one pass; each count becomes its digit's
  // first position.
  std::fill(counts_.begin(), counts_.end(), 0);
  std::uint32_t* low_at = counts_.data();
  std::uint32_t* high_at = counts_.data() + kDigits;
  for (const Arc& a : arcs_) {
    ++low_at[low(a)];
    ++high_at[high(a)];
  }
  std::uint32_t low_sum = 0, high_sum = 0;
  for (std::size_t d = 0; d < kDigits; ++d) {
    low_sum += std::exchange(low_at[d], low_sum);
    high_sum += std::exchange(high_at[d], high_sum);
  }
  sorted_.resize(arcs_.size());
  for (const Arc& a : arcs_) sorted_[low_at[low(a)]++] = a;
  for (const Arc& a : sorted_) arcs_[high_at[high(a)]++] = a;
}

// Sources now come in runs; there are no more new sources than runs.
std::size_t GraphBuilder::run_count() const {
  std::size_t runs = 0;
  for (std::size_t begin = 0; begin < arcs_.size(); begin = run_end(arcs_, begin)) ++runs;
  return runs;
}

// The sources of the sorted arcs that are not yet vertices.
std::size_t GraphBuilder::count_new_sources() const {
  const auto& adjacency = lists_;
  // A batch of a large graph takes a good part of a second to sweep. Each
  // sweep polls with a counter of its own, which stays in a register.
  InterruptPoll poll;
  std::size_t count = 0;
  for (std::size_t begin = 0, end; begin < arcs_.size(); begin = end) {
    end = run_end(arcs_, begin);
    load_slot_ahead(adjacency, arcs_, end);
    if (adjacency.find_hashed(arcs_[begin].source, arcs_[begin].hash) == nullptr) ++count;
    poll.tick(static_cast<std::int64_t>(end - begin));
  }
  return count;
}

// One sweep in two staggered steps: each run's source is found (created if
// new, which cannot grow the table now, so no list found earlier moves)
// with its slot loaded well ahead; some runs later its targets are
// appended, with the append point loaded in between.
void GraphBuilder::append_arcs() {
  InterruptPoll poll;
  run_lists_.clear();
  for (std::size_t begin = 0, end; begin < arcs_.size(); begin = end) {
    end = run_end(arcs_, begin);
    load_slot_ahead(lists_, arcs_, end);
    run_lists_.push_back(lists_.try_emplace_hashed(arcs_[begin].source, arcs_[begin].hash).first);
    poll.tick(static_cast<std::int64_t>(end - begin));
  }
  std::size_t begin = 0;
  auto append_run = [&](std::size_t r) {
    NeighbourList& list = *run_lists_[r];
    const std::size_t end = run_end(arcs_, begin);
    const std::size_t n = end - begin;
    poll.tick(static_cast<std::int64_t>(n));
    if (list.is_inline() && list.size() + n <= VertexSet::kInlineCapacity) {
      // Few enough to stay inline, where repeats are dropped at once.
      for (std::size_t i = begin; i < end; ++i) list.append(arcs_[i].target, 0);
    } else if (list.is_set() || list.size() + n > VertexSet::kMaxSize) {
      list.make_set(scratch_);
      for (std::size_t i = begin; i < end; ++i) list.insert(arcs_[i].target);
    } else {
      Vertex* out = list.append_space(n);
      for (std::size_t i = begin; i < end; ++i) *out++ = arcs_[i].target;
      list.commit_appends(n);
    }
    begin = end;
  };
  auto load_append_point = [this](std::size_t r) { run_lists_[r]->prefetch_append(); };
  look_ahead::walk_ahead(0, run_lists_.size(), append_run,
                         look_ahead::stage<look_ahead::kBuildLists>(load_append_point));
}

Graph GraphBuilder::finish() && {
  append_batch();
  // The batch buffers are done with: hashing the lists needs the room.
  arcs_ = {};
  sorted_ = {};
  run_lists_ = {};
  std::vector<Vertex> scratch = std::move(scratch_);
  std::uint64_t edges = 0;
  InterruptPoll poll;
  // Lists are hashed in slot order, the next ones loaded a few slots ahead.
  auto made = std::move(lists_).convert<VertexSet, look_ahead::kBuildHashes>(
      [](const NeighbourList& ahead) { ahead.prefetch_list(); },
      [&](Vertex u, NeighbourList& list) {
        // Either may throw, before the list is taken over.
        poll.tick(static_cast<std::int64_t>(list.size()) + 1);
        if (scratch.capacity() < list.scratch_needed()) scratch.reserve(list.scratch_needed());
        VertexSet set = list.finish(scratch);
        // Each edge is counted from its smaller end, a loop once.
        set.for_each([&](Vertex w) {
          if (w > u) ++edges;
        });
        if (set.contains(u)) {
          set.set_tagged(true);
          ++edges;
        }
        return set;
      });
  return Graph(std::move(made), edges);
}

}  // namespace quiverlane

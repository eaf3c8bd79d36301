#include "graph/edge_batch.h"

#include <algorithm>
#include <utility>

namespace quiverlane {

namespace {

// Graphs up to this many vertices stay in cache: sorting would not pay.
constexpr std::size_t kSortFrom = std::size_t{1} << 14;
// The sort is a radix sort on the top 22 bits of the hash, two passes of
// 11: enough to order homes finely and to bring each source's arcs
// together, with counters that stay in the first-level cache.
constexpr unsigned kDigitBits = 11;
constexpr unsigned kSortedBits = 2 * kDigitBits;
// How far ahead an adjacency slot, or a neighbour table, is loaded.
constexpr std::size_t kSlotAhead = 12;
constexpr std::size_t kTableAhead = 12;
// A source with more arcs than this in the batch gets its set sized once
// for all of them; fewer go in one by one, so that a small set holding a
// few repeated edges stays inline rather than being sized for the repeats.
constexpr std::size_t kSizeRunsFrom = 8;

// The end of the run of arcs sharing arcs[begin]'s source.
template <class Arcs>
std::size_t run_end(const Arcs& arcs, std::size_t begin) {
  std::size_t end = begin + 1;
  while (end < arcs.size() && arcs[end].source == arcs[begin].source) ++end;
  return end;
}

}  // namespace

EdgeBatch::EdgeBatch() {
  arcs_.reserve(2 * kCapacity);
  sorted_.reserve(2 * kCapacity);
  counts_.resize(std::size_t{2} << kDigitBits);
}

void EdgeBatch::add_to(Graph& graph) {
  AdjacencyMap& adjacency = graph.adjacency;
  if (adjacency.size() < kSortFrom) {
    // A table this small is in cache whatever the order.
    create_sources(adjacency);
  } else {
    sort_by_hash();
    // The sweep must not take the table over its load limit: the new
    // vertices all land in the part already swept, which would then be
    // crowded into runs thousands of slots long. So when they might not
    // fit, they are counted and room is made for them first, while the
    // table holds only vertices spread as randomly as the hash.
    if (adjacency.could_grow_by(distinct_sources_))
      adjacency.reserve(adjacency.size() + count_new_sources(adjacency));
  }
  insert_arcs(graph);
  arcs_.clear();
  edges_ = 0;
}

void EdgeBatch::create_sources(AdjacencyMap& adjacency) {
  for (const Arc& arc : arcs_) adjacency.try_emplace_hashed(arc.source, arc.hash);
}

// The sources of the sorted arcs that are not yet vertices.
std::size_t EdgeBatch::count_new_sources(const AdjacencyMap& adjacency) const {
  std::size_t count = 0;
  for (std::size_t begin = 0, end; begin < arcs_.size(); begin = end) {
    end = run_end(arcs_, begin);
    if (end + kSlotAhead < arcs_.size()) adjacency.prefetch_hashed(arcs_[end + kSlotAhead].hash);
    if (adjacency.find_hashed(arcs_[begin].source, arcs_[begin].hash) == nullptr) ++count;
  }
  return count;
}

// Orders the arcs by the top bits of their source's hash, and so by home
// slot in a table of any size. Least significant digit first: each pass is
// a stable counting sort, so the first pass's order survives the second
// among equal top digits.
void EdgeBatch::sort_by_hash() {
  constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
  constexpr unsigned kLow = 32 - kSortedBits, kHigh = kLow + kDigitBits;
  auto low = [](const Arc& a) { return (a.hash >> kLow) & (kDigits - 1); };
  auto high = [](const Arc& a) { return a.hash >> kHigh; };
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
  // Sources now come in runs; one more source than runs cannot appear.
  distinct_sources_ = 0;
  for (std::size_t begin = 0; begin < arcs_.size(); begin = run_end(arcs_, begin)) ++distinct_sources_;
}

// Resolves arc k: its source's neighbour set, found once per run of arcs
// with that source (created if new, which cannot grow the table now, so no
// set found earlier moves) and sized once for a long run; then starts
// loading the target's slot in that set's table.
void EdgeBatch::resolve(AdjacencyMap& adjacency, std::size_t k) {
  const Arc& arc = arcs_[k];
  VertexSet* set;
  if (k > 0 && arcs_[k - 1].source == arc.source) {
    set = arc_sets_[k - 1];
  } else {
    set = adjacency.try_emplace_hashed(arc.source, arc.hash).first;
    const std::size_t run = run_end(arcs_, k) - k;
    if (run > kSizeRunsFrom) set->reserve(set->size() + run);
  }
  arc_sets_[k] = set;
  set->prefetch_hashed(arc.target_hash);
}

// One sweep in three staggered steps: an arc's adjacency slot is loaded,
// some arcs later its source's set is resolved and the target's slot in
// that set's table loaded, and some arcs later again the target inserted.
void EdgeBatch::insert_arcs(Graph& graph) {
  AdjacencyMap& adjacency = graph.adjacency;
  const std::size_t end = arcs_.size();
  arc_sets_.resize(end);
  for (std::size_t k = 0; k < std::min(kTableAhead, end); ++k) {
    if (k + kSlotAhead < end) adjacency.prefetch_hashed(arcs_[k + kSlotAhead].hash);
    resolve(adjacency, k);
  }
  for (std::size_t i = 0; i < end; ++i) {
    if (i + kTableAhead + kSlotAhead < end)
      adjacency.prefetch_hashed(arcs_[i + kTableAhead + kSlotAhead].hash);
    if (i + kTableAhead < end) resolve(adjacency, i + kTableAhead);
    const Arc& arc = arcs_[i];
    VertexSet& set = *arc_sets_[i];
    if (!set.insert_hashed(arc.target, arc.target_hash)) continue;
    if (arc.source == arc.target) set.set_tagged(true);
    if (arc.source <= arc.target) ++graph.edge_count;
  }
}

}  // namespace quiverlane

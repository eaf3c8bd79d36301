// NeighbourList: a vertex's neighbours while GraphBuilder gathers them.
//
// A neighbour set built by inserting its members one at a time is rehashed
// at every growth, and each insert probes a table that is seldom in cache.
// While a graph is built in bulk, a vertex's neighbours are instead written
// one after another into an array already as large as the table they will
// need, repeats included; finish() then makes that array the table in place
// (VertexSet::adopt_list), hashing each member once in all.
//
// Three states, in 16 bytes so that the builder's map costs what the
// graph's does (all-zero bytes = empty, trivially relocatable):
//  - inline: up to three distinct members, repeats dropped at once, as a
//    VertexSet keeps them;
//  - list: the members so far, repeats included, in an array from malloc
//    sized as a table (VertexSet::TableSize);
//  - set: a list that came near the neighbour-set cap, hashed for good into
//    a VertexSet of its own. A list counts repeats too, so it could pass the
//    cap while its distinct members are well within it; from then on each
//    member counts once, and only a true excess is refused.
//
// Layout (4-byte aligned):
//   meta_     bits 30..31: the state; bits 0..29: members (list: entries)
//   words_[]  inline: the members
//             list:   words_[0] the TableSize; words_[1..2] the array
//             set:    words_[1..2] the VertexSet, owned
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "graph/linear_probe.h"
#include "graph/vertex.h"
#include "graph/vertex_set.h"

namespace quiverlane {

class NeighbourList {
 public:
  NeighbourList() noexcept = default;
  ~NeighbourList() { release(); }
  NeighbourList(NeighbourList&& other) noexcept : meta_(std::exchange(other.meta_, 0)) {
    std::memcpy(words_, other.words_, sizeof words_);
  }
  NeighbourList& operator=(NeighbourList&& other) noexcept {
    if (this != &other) {
      release();
      meta_ = std::exchange(other.meta_, 0);
      std::memcpy(words_, other.words_, sizeof words_);
    }
    return *this;
  }

  // Members so far: in a list, repeats included.
  std::size_t size() const noexcept { return meta_ & kSizeMask; }
  bool is_inline() const noexcept { return state() == kInline; }
  bool is_list() const noexcept { return state() == kList; }
  bool is_set() const noexcept { return state() == kSet; }

  // Appends v to an inline set, which drops it if already there and turns
  // into a list with room for `more` appends besides when it has no room.
  // May throw bad_alloc or CapacityExceeded, leaving the list as it was.
  void append(Vertex v, std::size_t more) {
    assert(state() == kInline);
    for (std::size_t i = 0, n = size(); i < n; ++i)
      if (words_[i] == v) return;
    if (size() < VertexSet::kInlineCapacity) {
      words_[size()] = v;
      ++meta_;
      return;
    }
    *append_space(1 + more) = v;
    commit_appends(1);
  }

  // Room for n appends at once, made a list first if need be: the caller
  // writes the members to the returned array, then commit_appends(n). Not
  // for a set. May throw bad_alloc or CapacityExceeded, leaving the list as
  // it was.
  Vertex* append_space(std::size_t n) {
    assert(state() != kSet);
    if (state() == kInline)
      start_list(size() + n);
    else if (size() + n > table_size().max_members())
      grow_list(size() + n);
    return array() + size();
  }
  void commit_appends(std::size_t n) noexcept {
    assert(is_list() && size() + n <= table_size().max_members());
    meta_ += static_cast<std::uint32_t>(n);
  }
  // Loads the start of a list, for finish() coming up soon.
  void prefetch_list() const noexcept {
    if (is_list()) __builtin_prefetch(array());
  }
  // Loads the slot the next append writes.
  void prefetch_append() const noexcept {
    if (is_list()) __builtin_prefetch(array() + size(), 1);
  }

  // Makes the list a set for good (see the top of this file); an inline
  // one too. `scratch` is working space. May throw bad_alloc, leaving the
  // list as it was.
  void make_set(std::vector<Vertex>& scratch);
  // Inserts v into a set; true if it was new. May throw bad_alloc or
  // CapacityExceeded, leaving the set as it was.
  bool insert(Vertex v) {
    assert(is_set());
    return boxed()->insert(v);
  }

  // The room finish() needs in its scratch.
  std::size_t scratch_needed() const noexcept { return is_list() ? size() : 0; }
  // The distinct members as a VertexSet, which takes over the storage;
  // this list is left empty. `scratch` must have room for
  // scratch_needed() members, so that nothing here can fail.
  VertexSet finish(std::vector<Vertex>& scratch) noexcept {
    const State was = state();
    const std::size_t n = size();
    meta_ = 0;  // the storage goes to the set
    if (was == kInline) return VertexSet::of_few(words_, n);
    if (was == kList) return VertexSet::adopt_list(array(), table_size(), n, scratch);
    return finish_set();
  }

 private:
  static constexpr std::uint32_t kSizeMask = 0x3FFFFFFFu;
  static constexpr unsigned kStateShift = 30;
  enum State : std::uint32_t { kInline = 0, kList = 1, kSet = 2 };

  State state() const noexcept { return static_cast<State>(meta_ >> kStateShift); }
  void set_state(State state, std::size_t size) noexcept {
    meta_ = (static_cast<std::uint32_t>(state) << kStateShift) | static_cast<std::uint32_t>(size);
  }

  template <class T>
  T* pointer() const noexcept {
    T* p;
    std::memcpy(&p, &words_[1], sizeof p);
    return p;
  }
  template <class T>
  void set_pointer(T* p) noexcept {
    std::memcpy(&words_[1], &p, sizeof p);
  }
  Vertex* array() const noexcept { return pointer<Vertex>(); }
  VertexSet* boxed() const noexcept { return pointer<VertexSet>(); }
  VertexSet::TableSize table_size() const noexcept {
    VertexSet::TableSize size;
    std::memcpy(static_cast<void*>(&size), &words_[0], sizeof size);
    return size;
  }
  void set_table_size(VertexSet::TableSize size) noexcept { std::memcpy(&words_[0], &size, sizeof size); }

  VertexSet finish_set() noexcept;

  void start_list(std::size_t n) {
    const VertexSet::TableSize size = VertexSet::table_size_for(n);
    Vertex* list = detail::allocate_slots<Vertex>(size.slots());
    const std::size_t count = this->size();
    std::memcpy(list, words_, count * sizeof(Vertex));
    set_state(kList, count);
    set_table_size(size);
    set_pointer(list);
  }

  // realloc may extend the array where it lies.
  void grow_list(std::size_t n) {
    const VertexSet::TableSize size = VertexSet::table_size_for(n, table_size());
    void* list = std::realloc(array(), size.slots() * sizeof(Vertex));
    if (list == nullptr) throw std::bad_alloc();
    set_table_size(size);
    set_pointer(static_cast<Vertex*>(list));
  }

  void release() noexcept {
    if (is_list()) std::free(array());
    if (is_set()) delete boxed();
  }

  std::uint32_t meta_ = 0;
  std::uint32_t words_[3] = {0, 0, 0};
};

static_assert(sizeof(NeighbourList) == sizeof(VertexSet) && alignof(NeighbourList) == alignof(VertexSet),
              "the builder's map is laid out as the graph's, and becomes it in place");

}  // namespace quiverlane

#include "binding/python_sets.h"

#include <bit>
#include <cstdint>
#include <string>

#include "binding/list_builder.h"
#include "binding/pending_error.h"
#include "support/fault.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace {

// Smaller sets keep their table in cache whatever the order of insertion.
constexpr std::size_t kOrderFrom = std::size_t{1} << 15;
// The order is by the top bits of the slot only: 2048 stretches of the
// table, each small enough to stay in cache while it fills, and counters
// that fit in the first-level cache.
constexpr unsigned kOrderBits = 11;

// log2 of the table a set of `count` ints ends up with. CPython keeps a set
// at most 3/5 full and grows a large one to twice its size, which lands on
// the power of two at or above twice the count. An estimate is enough: off
// by one, the insertions still sweep the table in one or two passes.
unsigned table_bits(std::size_t count) { return static_cast<unsigned>(std::bit_width(2 * count - 1)); }

// ids in the order of the set slots they hash to (an int hashes to itself).
std::vector<Vertex> in_slot_order(const Vertex* ids, std::size_t count) {
  const unsigned bits = table_bits(count);
  const unsigned shift = bits > kOrderBits ? bits - kOrderBits : 0;
  const std::uint64_t slot_mask = (std::uint64_t{1} << bits) - 1;
  auto stretch = [=](Vertex v) { return static_cast<std::size_t>((v & slot_mask) >> shift); };
  std::vector<std::size_t> starts((std::size_t{1} << kOrderBits) + 1, 0);
  for (std::size_t i = 0; i < count; ++i) ++starts[stretch(ids[i]) + 1];
  for (std::size_t s = 1; s < starts.size(); ++s) starts[s] += starts[s - 1];
  std::vector<Vertex> ordered(count);
  for (std::size_t i = 0; i < count; ++i) ordered[starts[stretch(ids[i])]++] = ids[i];
  return ordered;
}

void add_ids(PyObject* set, const Vertex* ids, std::size_t count) {
  InterruptPoll poll;
  for (std::size_t i = 0; i < count; ++i) {
    poll.tick();
    PyObject* item = new_python_int(ids[i]);
    const int status = PySet_Add(set, item);
    Py_DECREF(item);  // the set holds the only reference
    if (status < 0) set_failure("Failed to add to set");
  }
}

}  // namespace

PyObject* new_python_int(std::uint32_t value) {
  PyObject* object = PyLong_FromLong(static_cast<long>(value));
  if (object == nullptr) python_api_call_failed();
  return object;
}

void set_failure(const char* what) {
  throw_if_out_of_memory();
  std::string message = what;
  message += ": ";
  message += describe_and_clear_python_error();
  fault(message);
}

PyRef new_python_set() {
  PyRef set = PyRef::steal(PySet_New(nullptr));
  if (!set) set_failure("Failed to construct empty set");
  return set;
}

void add_members(PyObject* set, const VertexSet& members) {
  InterruptPoll poll;
  members.for_each_gathered([&](Vertex v) {
    poll.tick();
    PyObject* item = new_python_int(v);
    const int status = PySet_Add(set, item);
    Py_DECREF(item);  // the set holds the only reference
    if (status < 0) set_failure("Failed to add to set");
  });
}

PyRef set_to_python(const VertexSet& members) {
  PyRef set = new_python_set();
  add_members(set.get(), members);
  return set;
}

PyRef distinct_ids_to_python(const Vertex* ids, std::size_t count) {
  PyRef set = new_python_set();
  if (count >= kOrderFrom) {
    const std::vector<Vertex> ordered = in_slot_order(ids, count);
    add_ids(set.get(), ordered.data(), count);
  } else {
    add_ids(set.get(), ids, count);
  }
  return set;
}

PyRef groups_to_python(const VertexGroups& groups) {
  ListBuilder list(groups.count());
  InterruptPoll poll;
  for (const Vertex single : groups.singles) {
    poll.tick();
    list.append(distinct_ids_to_python(&single, 1).release());
  }
  std::size_t begin = 0;
  for (const std::size_t end : groups.ends) {
    poll.tick(static_cast<std::int64_t>(end - begin));
    list.append(distinct_ids_to_python(&groups.members[begin], end - begin).release());
    begin = end;
  }
  return list.finish();
}

}  // namespace quiverlane

#include "binding/python_sets.h"

#include <cstdint>
#include <string>

#include "binding/list_builder.h"
#include "binding/pending_error.h"
#include "binding/slot_order.h"
#include "support/fault.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace {

// From this size on, putting the ids in slot order first (a few ns each)
// costs less than it saves in building and freeing the set; below it the
// table stays in cache whatever the order.
constexpr std::size_t kOrderFrom = std::size_t{1} << 12;

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
  if (members.size() >= kOrderFrom) {
    // The core's own order is its hash order, random in the low bits.
    std::vector<Vertex> ids;
    ids.reserve(members.size());
    members.for_each_gathered([&](Vertex v) { ids.push_back(v); });
    const std::vector<Vertex> ordered = in_set_slot_order(ids.data(), ids.size());
    add_ids(set, ordered.data(), ordered.size());
    return;
  }
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
    const std::vector<Vertex> ordered = in_set_slot_order(ids, count);
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

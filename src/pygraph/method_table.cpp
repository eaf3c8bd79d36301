#include "pygraph/method_table.h"

#include "pygraph/methods.h"

namespace quiverlane {

namespace {

// Methods taking keywords are stored as PyCFunction, as the C API requires;
// the flags tell the interpreter their real signature.
template <class F>
PyCFunction as_cfunction(F* function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr int kArgs = METH_VARARGS | METH_KEYWORDS;

using namespace methods;

const RegistrationEntry kTable[] = {
    {EntryKind::kConstructor, "__new__", nullptr, METH_VARARGS | METH_KEYWORDS},
    {EntryKind::kStaticMethod, "from_file", as_cfunction(from_file), kArgs | METH_STATIC},
    {EntryKind::kInstanceMethod, "num_vertices", as_cfunction(num_vertices), METH_NOARGS},
    {EntryKind::kInstanceMethod, "num_edges", as_cfunction(num_edges), METH_NOARGS},
    {EntryKind::kInstanceMethod, "adjacent", as_cfunction(adjacent), kArgs},
    {EntryKind::kInstanceMethod, "degree", as_cfunction(degree), kArgs},
    {EntryKind::kInstanceMethod, "contains", as_cfunction(contains), kArgs},
    {EntryKind::kInstanceMethod, "vertices", as_cfunction(vertices), METH_NOARGS},
    {EntryKind::kInstanceMethod, "edges", as_cfunction(edges), METH_NOARGS},
    {EntryKind::kInstanceMethod, "neighbours", as_cfunction(neighbours), kArgs},
    {EntryKind::kInstanceMethod, "neighbourhood", as_cfunction(neighbourhood), kArgs},
    {EntryKind::kInstanceMethod, "closed_neighbourhood", as_cfunction(closed_neighbourhood), kArgs},
    {EntryKind::kInstanceMethod, "r_neighbours", as_cfunction(r_neighbours), kArgs},
    {EntryKind::kInstanceMethod, "add_vertex", as_cfunction(add_vertex), kArgs},
    {EntryKind::kInstanceMethod, "add_edge", as_cfunction(add_edge), kArgs},
    {EntryKind::kInstanceMethod, "remove_edge", as_cfunction(remove_edge), kArgs},
    {EntryKind::kInstanceMethod, "remove_vertex", as_cfunction(remove_vertex), kArgs},
    {EntryKind::kInstanceMethod, "remove_loops", as_cfunction(remove_loops), METH_NOARGS},
    {EntryKind::kInstanceMethod, "remove_isolates", as_cfunction(remove_isolates), METH_NOARGS},
    {EntryKind::kInstanceMethod, "contract", as_cfunction(contract), kArgs},
    {EntryKind::kInstanceMethod, "contract_into", as_cfunction(contract_into), kArgs},
    {EntryKind::kInstanceMethod, "copy", as_cfunction(copy), METH_NOARGS},
    {EntryKind::kInstanceMethod, "subgraph", as_cfunction(subgraph), kArgs},
    {EntryKind::kInstanceMethod, "components", as_cfunction(components), METH_NOARGS},
};

}  // namespace

std::span<const RegistrationEntry> registration_table() { return kTable; }

}  // namespace quiverlane

#include "pygraph/method_table.h"

#include "pygraph/methods.h"

namespace quiverlane {

namespace {

// Vectorcall methods are stored as PyCFunction, as the C API requires; the
// flags tell the interpreter their real signature.
template <class F>
PyCFunction as_cfunction(F* function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

using namespace methods;

const RegistrationEntry kTable[] = {
    {EntryKind::kConstructor, "__new__", nullptr, METH_VARARGS | METH_KEYWORDS},
    {EntryKind::kStaticMethod, "from_file", as_cfunction(from_file), kFast | METH_STATIC},
    {EntryKind::kInstanceMethod, "num_vertices", as_cfunction(num_vertices), METH_NOARGS},
    {EntryKind::kInstanceMethod, "num_edges", as_cfunction(num_edges), METH_NOARGS},
    {EntryKind::kInstanceMethod, "adjacent", as_cfunction(adjacent), kFast},
    {EntryKind::kInstanceMethod, "degree", as_cfunction(degree), kFast},
    {EntryKind::kInstanceMethod, "contains", as_cfunction(contains), kFast},
    {EntryKind::kInstanceMethod, "vertices", as_cfunction(vertices), METH_NOARGS},
    {EntryKind::kInstanceMethod, "edges", as_cfunction(edges), METH_NOARGS},
    {EntryKind::kInstanceMethod, "neighbours", as_cfunction(neighbours), kFast},
    {EntryKind::kInstanceMethod, "neighbourhood", as_cfunction(neighbourhood), kFast},
    {EntryKind::kInstanceMethod, "closed_neighbourhood", as_cfunction(closed_neighbourhood), kFast},
    {EntryKind::kInstanceMethod, "r_neighbours", as_cfunction(r_neighbours), kFast},
    {EntryKind::kInstanceMethod, "add_vertex", as_cfunction(add_vertex), kFast},
    {EntryKind::kInstanceMethod, "add_edge", as_cfunction(add_edge), kFast},
    {EntryKind::kInstanceMethod, "remove_edge", as_cfunction(remove_edge), kFast},
    {EntryKind::kInstanceMethod, "remove_vertex", as_cfunction(remove_vertex), kFast},
    {EntryKind::kInstanceMethod, "remove_loops", as_cfunction(remove_loops), METH_NOARGS},
    {EntryKind::kInstanceMethod, "remove_isolates", as_cfunction(remove_isolates), METH_NOARGS},
    {EntryKind::kInstanceMethod, "contract", as_cfunction(contract), kFast},
    {EntryKind::kInstanceMethod, "contract_into", as_cfunction(contract_into), kFast},
    {EntryKind::kInstanceMethod, "copy", as_cfunction(copy), METH_NOARGS},
    {EntryKind::kInstanceMethod, "subgraph", as_cfunction(subgraph), kFast},
    {EntryKind::kInstanceMethod, "components", as_cfunction(components), METH_NOARGS},
};

}  // namespace

std::span<const RegistrationEntry> registration_table() { return kTable; }

}  // namespace quiverlane

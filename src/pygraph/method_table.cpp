#include "pygraph/method_table.h"

#include "pygraph/method_row.h"
#include "pygraph/methods.h"
#include "pygraph/store_methods.h"

namespace quiverlane {

// Inside the work functions' namespace, so that a name such as `contract`
// means the method's work and not the graph operation of the same name.
namespace methods {
namespace {

using enum MethodKind;

// kind, Python name, work function, parameters. contains only reads, but
// takes exclusive access like the editing methods.
const RegistrationEntry kTable[] = {
    constructor<construct>(),
    method<kStatic, "from_file", from_file, "filename">(),
    method<kShared, "num_vertices", num_vertices>(),
    method<kShared, "num_edges", num_edges>(),
    method<kShared, "adjacent", adjacent, "u", "v">(),
    method<kShared, "degree", degree, "u">(),
    method<kExclusive, "contains", contains, "u">(),
    method<kShared, "vertices", vertices>(),
    method<kShared, "edges", edges>(),
    method<kShared, "neighbours", neighbours, "u">(),
    method<kShared, "neighbourhood", neighbourhood, "c">(),
    method<kShared, "closed_neighbourhood", closed_neighbourhood, "c">(),
    method<kShared, "r_neighbours", r_neighbours, "u", "r">(),
    method<kExclusive, "add_vertex", add_vertex, "u">(),
    method<kExclusive, "add_edge", add_edge, "u", "v">(),
    method<kExclusive, "remove_edge", remove_edge, "u", "v">(),
    method<kExclusive, "remove_vertex", remove_vertex, "u">(),
    method<kExclusive, "remove_loops", remove_loops>(),
    method<kExclusive, "remove_isolates", remove_isolates>(),
    method<kExclusive, "contract", contract, "vertices">(),
    method<kExclusive, "contract_into", contract_into, "center", "vertices">(),
    method<kShared, "copy", copy>(),
    method<kShared, "subgraph", subgraph, "vertices">(),
    method<kShared, "components", components>(),
};

}  // namespace
}  // namespace methods

std::span<const RegistrationEntry> registration_table() { return methods::kTable; }

}  // namespace quiverlane

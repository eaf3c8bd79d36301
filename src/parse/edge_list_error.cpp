#include "parse/edge_list_error.h"

namespace quiverlane {

std::string EdgeListError::describe(std::string_view quoted_name) const {
  std::string out = kind == Kind::kOpenFailure ? "while opening " : "while reading ";
  out += quoted_name;
  out += ": ";
  switch (kind) {
    case Kind::kOpenFailure:
      out += detail;
      break;
    case Kind::kTokenCount:
      out += "line " + std::to_string(line + 1) + " does not contain two tokens";
      break;
    case Kind::kBadVertex:
      out += "line " + std::to_string(line + 1) + ": cannot parse vertex id " + detail;
      break;
  }
  return out;
}

}  // namespace quiverlane

// Graph.from_file: loads an edge-list file, gzip-compressed when the name
// ends in ".gz".
#include <string>
#include <string_view>
#include <variant>

#include "binding/conversions.h"
#include "binding/notes.h"
#include "parse/edge_list.h"
#include "pygraph/graph_object.h"
#include "pygraph/methods.h"

namespace quiverlane::methods {

namespace {

// The reader's account of a refused file, e.g. "while reading 'x.txt':
// line 3 does not contain two tokens", or nullptr if it cannot be made.
PyRef describe(const EdgeListError& error, PyObject* name) {
  const std::string detail = error.explanation();
  PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(
      detail.data(), static_cast<Py_ssize_t>(detail.size()), "replace"));
  if (!text) return {};
  const char* format = error.kind == EdgeListError::Kind::kOpenFailure ? "while opening %R: %U"
                                                                         : "while reading %R: %U";
  return PyRef::steal(PyUnicode_FromFormat(format, name, text.get()));
}

// OSError("IO-Error"), args exactly that, with the reader's account as a
// note so the traceback says why the file was refused.
PendingError reader_error(const EdgeListError& error, PyObject* name) {
  PyRef message = PyRef::steal(PyUnicode_FromString("IO-Error"));
  if (!message) return PendingError::fetch();
  PyRef exception = PyRef::steal(PyObject_CallOneArg(PyExc_OSError, message.get()));
  if (!exception) return PendingError::fetch();
  if (PyRef note = describe(error, name))
    attach_note(exception.get(), note.get());
  else
    PyErr_Clear();  // the note only explains; losing it changes nothing else
  return PendingError(PyExc_OSError, std::move(exception));
}

bool names_gzip_file(std::string_view name) { return name.ends_with(".gz"); }

}  // namespace

PyRef from_file(PyObject* name_arg) {
  const std::string_view name = to_file_name(name_arg);
  EdgeListResult result = names_gzip_file(name) ? read_gzip_edge_list(name) : read_edge_list(name);
  if (auto* graph = std::get_if<Graph>(&result)) return wrap_graph(std::move(*graph));
  throw reader_error(std::get<EdgeListError>(result), name_arg);
}

}  // namespace quiverlane::methods

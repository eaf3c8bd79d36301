// Graph.from_file: loads an edge-list file, gzip-compressed when the name
// ends in ".gz".
#include <string>
#include <string_view>
#include <variant>

#include "binding/conversions.h"
#include "binding/notes.h"
#include "parse/edge_list_reader.h"
#include "pygraph/graph_object.h"
#include "pygraph/methods.h"

namespace quiverlane::methods {

namespace {

// The reader's account of a refused file, e.g. "while reading 'x.txt':
// line 3 does not contain two tokens", or nullptr if it cannot be made. The
// name is quoted as repr() quotes it; a str subclass's own repr may hold lone
// surrogates, which pass through both conversions unchanged.
PyRef describe(const EdgeListError& error, PyObject* name) {
  PyRef quoted = PyRef::steal(PyObject_Repr(name));
  if (!quoted) return {};
  PyRef quoted_utf8 =
      PyRef::steal(PyUnicode_AsEncodedString(quoted.get(), "utf-8", "surrogatepass"));
  if (!quoted_utf8) return {};
  const std::string_view quoted_name(PyBytes_AS_STRING(quoted_utf8.get()),
                                     static_cast<std::size_t>(PyBytes_GET_SIZE(quoted_utf8.get())));
  const std::string text = error.describe(quoted_name);
  return PyRef::steal(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass"));
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

}  // namespace

PyRef from_file(PyObject* name_arg) {
  const std::string_view name = to_file_name(name_arg);
  EdgeListResult result = read_edge_list_file(name);
  if (auto* graph = std::get_if<Graph>(&result)) return wrap_graph(std::move(*graph));
  throw reader_error(std::get<EdgeListError>(result), name_arg);
}

}  // namespace quiverlane::methods

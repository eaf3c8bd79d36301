// ListBuilder: a list made at its final length and filled by index.
//
// A result list is made at once at its full length, millions of slots for a
// large graph, and filled in order. When the filling stops early (Ctrl-C, a
// failed allocation), freeing the list would walk every one of its slots,
// the untouched ones too, and page in the whole untouched array to do so:
// about a tenth of a second for 20 million edges before the first of them is
// built. So an unfinished list is cut to the part filled before it goes.
#pragma once

#include <Python.h>

#include <cstddef>

#include "binding/pending_error.h"
#include "binding/py_ref.h"

namespace quiverlane {

class ListBuilder {
 public:
  explicit ListBuilder(std::size_t length)
      : list_(PyRef::steal(PyList_New(static_cast<Py_ssize_t>(length)))) {
    if (!list_) python_api_call_failed();
  }
  ~ListBuilder() {
    if (list_) Py_SET_SIZE(list_.get(), filled_);  // unfinished: only the filled part is freed
  }
  ListBuilder(const ListBuilder&) = delete;
  ListBuilder& operator=(const ListBuilder&) = delete;

  // Stores `item` (a new reference, which the list takes over) in the next
  // slot.
  void append(PyObject* item) noexcept { PyList_SET_ITEM(list_.get(), filled_++, item); }

  // The finished list; every slot must have been filled.
  PyRef finish() noexcept { return std::move(list_); }

 private:
  PyRef list_;
  Py_ssize_t filled_ = 0;
};

}  // namespace quiverlane

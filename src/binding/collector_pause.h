// CollectorPause: the cyclic garbage collector off while a large result is
// built.
#pragma once

#include <Python.h>

namespace quiverlane {

// Keeps the cyclic garbage collector off while a result made of many
// containers is built. Each new set counts towards the next collection, so a
// million one-vertex components would otherwise set off collection after
// collection, each walking the ever longer list of sets made so far; none of
// these objects can be part of a cycle while we build them.
class CollectorPause {
 public:
#if PY_VERSION_HEX >= 0x030A0000
  CollectorPause() noexcept : was_enabled_(PyGC_Disable() != 0) {}
  ~CollectorPause() {
    if (was_enabled_) PyGC_Enable();
  }
#else
  CollectorPause() noexcept = default;
#endif
  CollectorPause(const CollectorPause&) = delete;
  CollectorPause& operator=(const CollectorPause&) = delete;

 private:
  [[maybe_unused]] bool was_enabled_ = false;
};


}  // namespace quiverlane

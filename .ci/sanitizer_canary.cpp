// Errors made on purpose, one per function, that the sanitizer job must see
// reported before it trusts a clean run: if the runtime or its options were
// wrong, the test suite would pass without anything being checked.
#include <climits>
#include <cstdlib>

extern "C" {

int undefined_behaviour(int x) { return x + INT_MAX; }

void leak() {
  // Many blocks, so a stale copy of one pointer left on the stack cannot
  // hide them all.
  for (int i = 0; i < 64; ++i) {
    void* volatile block = std::malloc(48);
    block = nullptr;
  }
}

void heap_overflow() {
  char* volatile block = static_cast<char*>(std::malloc(8));
  block[8] = 1;
  std::free(block);
}

}  // extern "C"

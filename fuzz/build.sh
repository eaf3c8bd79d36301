#!/bin/sh
# Builds the libFuzzer target outside the CMake build, with clang and
# AddressSanitizer + UndefinedBehaviorSanitizer, into fuzz/out/.
#   fuzz/build.sh && fuzz/out/edge_list_fuzzer -close_fd_mask=2 fuzz/out/corpus fuzz/corpus
# (-close_fd_mask=2 silences the fault reports every refused gzip writes.)
# clang 16 or later is needed for std::source_location; Debian 12 packages
# it as clang-16 with libclang-rt-16-dev.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cxx=${CXX:-}
if [ -z "$cxx" ]; then
  for candidate in clang++-18 clang++-17 clang++-16 clang++; do
    if command -v "$candidate" >/dev/null 2>&1; then cxx=$candidate; break; fi
  done
fi
mkdir -p "$here/out/corpus"
"$cxx" -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" \
  "$here/edge_list_fuzzer.cpp" \
  "$root"/src/parse/*.cpp \
  "$root/src/graph/graph.cpp" \
  "$root/src/binding/fault.cpp" \
  "$root/src/binding/stderr.cpp" \
  -lz -o "$here/out/edge_list_fuzzer"
echo "built $here/out/edge_list_fuzzer"

#!/bin/sh
# Builds the libFuzzer targets, one per fuzz/*_fuzzer.cpp, through CMake's
# QUIVERLANE_FUZZ option: clang with ASan and UBSan, into the directory given
# (default fuzz/out/build). .ci/fuzz.sh builds and runs them in CI. By hand:
#   fuzz/build.sh && fuzz/out/build/fuzz/edge_list_fuzzer -close_fd_mask=2 fuzz/out/corpus fuzz/corpus
# (new inputs go to the first directory; -close_fd_mask=2 silences the fault
# reports that refused gzip data writes, sanitizer reports still show).
# QUIVERLANE_WERROR=ON in the environment makes warnings errors, as in CI.
# clang 16 or later is needed for std::source_location; Debian 12 packages
# it as clang-16 with libclang-rt-16-dev.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/fuzz/out/build}
cxx=${CXX:-}
if [ -z "$cxx" ]; then
  for candidate in clang++-18 clang++-17 clang++-16 clang++; do
    if command -v "$candidate" >/dev/null 2>&1; then cxx=$candidate; break; fi
  done
fi
generator=
if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null 2>&1; then generator="-G Ninja"; fi
mkdir -p "$root/fuzz/out/corpus"
# shellcheck disable=SC2086 # the generator is two words or none
cmake -S "$root" -B "$build" $generator -DCMAKE_CXX_COMPILER="$cxx" \
  -DPython_EXECUTABLE="$(command -v python3)" -DQUIVERLANE_FUZZ=ON \
  -DQUIVERLANE_WERROR="${QUIVERLANE_WERROR:-OFF}" >/dev/null
cmake --build "$build" --target fuzzers
echo "built the fuzz targets in $build/fuzz"

#!/usr/bin/env bash
# Sanitizer job: installs the module built with AddressSanitizer and UBSan
# into its own virtual environment and runs the whole test suite against it.
# Any ASan, LSan or UBSan report, in the test process or in any child it
# starts, fails the job.
#
# The build goes through pip, as users install the module, with the CMake
# option QUIVERLANE_SANITIZE and a build directory of its own, so the test
# extras come from the same list as in README and a rerun recompiles only
# what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
export CI="${CI:-true}"

venv=.venv-sanitize
reports="$PWD/build/sanitizer-reports"

# The module is built by g++, whose runtimes are preloaded below.
if ! command -v g++ >/dev/null; then
  apt-get update -qq && apt-get install -y -qq g++
fi
if [ ! -f /usr/include/zlib.h ]; then
  apt-get update -qq && apt-get install -y -qq zlib1g-dev
fi

echo "== sanitizer job: build"
rm -rf "$venv"
python3 -m venv "$venv"
CXX=g++ "$venv/bin/pip" install -q '.[test]' \
  -Ccmake.define.QUIVERLANE_SANITIZE=ON \
  -Cbuild-dir='build/sanitize/{wheel_tag}'
python="$venv/bin/python"
module=$("$python" -c 'import importlib.util as u; print(u.find_spec("quiverlane").origin)')
symbols=$(nm -D "$module")
if ! grep -q __asan_report <<<"$symbols" || ! grep -q __ubsan_handle <<<"$symbols"; then
  echo "sanitize: $module is not instrumented" >&2
  exit 1
fi

# Runs a command with the sanitizer runtime loaded. Only the interpreter and
# what it starts get it: the shell tools here would report leaks of their own.
sanitized() {
  # The interpreter is not instrumented, so ASan must be loaded first;
  # libstdc++ right after it lets ASan find the C++ runtime's exception
  # functions, which it intercepts, when the module throws.
  # PYTHONMALLOC=malloc puts every Python object on the malloc heap: ASan
  # then sees use-after-free and overflows of Python objects too, and LSan
  # sees the pointers they hold (pymalloc's arenas are not scanned, so a
  # block reachable only from a small Python object would look leaked).
  # So run, the interpreter leaves no leak at exit and LSan needs no
  # suppressions.
  # Reports go to one file per process, so a report from a child whose
  # output a test swallowed still fails the job. UBSan, loaded beside ASan,
  # writes its reports to standard error whatever log_path says; so it
  # aborts after each one, and ASan reports the abort to its file.
  env LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
    PYTHONMALLOC=malloc \
    ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:handle_abort=1:exitcode=86:log_path=$reports/asan" \
    UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:log_path=$reports/ubsan" \
    "$@"
}

show_reports() {
  local found=1
  for report in "$reports"/*; do
    [ -e "$report" ] || continue
    echo "--- $report"
    cat "$report"
    found=0
  done
  return $found
}

fresh_reports() {
  rm -rf "$reports"
  mkdir -p "$reports"
}

# Each error of the canary library must fail its process and leave a report
# file with the expected text, or a clean run below would prove nothing.
check_reporting() {
  local canary=build/sanitize/canary.so
  mkdir -p build/sanitize
  g++ -shared -fPIC -O0 -fsanitize=address,undefined -fno-sanitize-recover=undefined \
    -o "$canary" .ci/sanitizer_canary.cpp
  local call expected
  for call in "undefined_behaviour(1):AddressSanitizer: ABRT" \
              "leak():LeakSanitizer: detected memory leaks" \
              "heap_overflow():AddressSanitizer: heap-buffer-overflow"; do
    expected=${call#*:}
    call=${call%%:*}
    fresh_reports
    if sanitized "$python" -c "import ctypes; ctypes.CDLL('$PWD/$canary').$call" 2>/dev/null \
       || ! grep -qs "$expected" "$reports"/*; then
      echo "sanitize: the canary's $call went unreported" >&2
      exit 1
    fi
  done
  fresh_reports
}

check_reporting

echo "== sanitizer job: test suite under ASan and UBSan"
status=0
sanitized "$python" -m pytest -q -rs || status=$?
if show_reports; then
  echo "sanitize: the sanitizers reported the errors above" >&2
  exit 1
fi
exit $status

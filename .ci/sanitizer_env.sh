# Sourced by the sanitizer and fuzz jobs, from the project root, after
# setting `reports` (a directory for the sanitizer reports): the module
# built with AddressSanitizer and UBSan in a virtual environment of its own,
# and Python run under the sanitizer runtime with every report caught.
#
# The build goes through pip, as users install the module, with the CMake
# option QUIVERLANE_SANITIZE and a build directory of its own, so the test
# extras come from the same list as in README and a rerun recompiles only
# what changed.

sanitized_venv=.venv-sanitize
sanitized_python=$sanitized_venv/bin/python

install_sanitized_module() {
  # The module is built by g++, whose runtimes `sanitized` preloads.
  if ! command -v g++ >/dev/null; then
    apt-get update -qq && apt-get install -y -qq g++
  fi
  if [ ! -f /usr/include/zlib.h ]; then
    apt-get update -qq && apt-get install -y -qq zlib1g-dev
  fi
  # A job after the sanitizer job in the same CI run (the fuzz job) takes
  # the environment that job installed, still checked below.
  if [ "${SANITIZED_VENV_REUSE:-}" != 1 ] || [ ! -x "$sanitized_python" ]; then
    rm -rf "$sanitized_venv"
    python3 -m venv "$sanitized_venv"
    CXX=g++ "$sanitized_venv/bin/pip" install -q '.[test]' \
      -Ccmake.define.QUIVERLANE_SANITIZE=ON \
      -Ccmake.define.QUIVERLANE_WERROR=ON \
      -Cbuild-dir='build/sanitize/{wheel_tag}'
  fi
  local module symbols
  module=$("$sanitized_python" -c 'import importlib.util as u; print(u.find_spec("quiverlane").origin)')
  symbols=$(nm -D "$module")
  if ! grep -q __asan_report <<<"$symbols" || ! grep -q __ubsan_handle <<<"$symbols"; then
    echo "$module is not instrumented" >&2
    return 1
  fi
}

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
  # So run, the interpreter leaves no leak at exit; the one suppression
  # (.ci/lsan.supp) is for children that ignore PYTHONMALLOC.
  # Reports go to one file per process, so a report from a child whose
  # output a test swallowed still fails the job. UBSan, loaded beside ASan,
  # writes its reports to standard error whatever log_path says; so it
  # aborts after each one, and ASan reports the abort to its file.
  env LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
    PYTHONMALLOC=malloc \
    ASAN_OPTIONS="detect_leaks=${detect_leaks:-1}:halt_on_error=1:handle_abort=1:exitcode=86:log_path=$reports/asan" \
    LSAN_OPTIONS="suppressions=$PWD/.ci/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:log_path=$reports/ubsan" \
    "$@"
}

fresh_reports() {
  rm -rf "$reports"
  mkdir -p "$reports"
}

# Prints every report; true if there was any.
show_reports() {
  local found=1 report
  for report in "$reports"/*; do
    [ -e "$report" ] || continue
    echo "--- $report"
    cat "$report"
    found=0
  done
  return $found
}

# Each error of the canary library must fail its process and leave a report
# file with the expected text, or a clean run would prove nothing.
check_reporting() {
  local canary=build/sanitize/canary.so call expected
  mkdir -p build/sanitize
  g++ -shared -fPIC -O0 -fsanitize=address,undefined -fno-sanitize-recover=undefined \
    -o "$canary" .ci/sanitizer_canary.cpp
  for call in "undefined_behaviour(1):AddressSanitizer: ABRT" \
              "leak():LeakSanitizer: detected memory leaks" \
              "heap_overflow():AddressSanitizer: heap-buffer-overflow"; do
    expected=${call#*:}
    call=${call%%:*}
    fresh_reports
    if sanitized "$sanitized_python" -c "import ctypes; ctypes.CDLL('$PWD/$canary').$call" 2>/dev/null \
       || ! grep -qs "$expected" "$reports"/*; then
      echo "the canary's $call went unreported" >&2
      return 1
    fi
  done
  fresh_reports
}

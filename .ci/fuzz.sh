#!/usr/bin/env bash
# Fuzz job: every libFuzzer target of fuzz/ over a copy of the committed
# corpus, then the API fuzzer (fuzz/api_fuzzer.py) against the module built
# with ASan and UBSan; each runs FUZZ_SECONDS seconds (default 60). A crash,
# a sanitizer report or a model mismatch fails the job, with the tail of
# the log that shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
export CI="${CI:-true}"
seconds=${FUZZ_SECONDS:-60}
work="$PWD/build/fuzz"
logs="$work/logs"
reports="$PWD/build/sanitizer-reports/api-fuzzer"
source .ci/sanitizer_env.sh

# clang 14 cannot compile std::source_location against this libstdc++.
if ! dpkg -s clang-16 libclang-rt-16-dev >/dev/null 2>&1; then
  apt-get update -qq && apt-get install -y -qq clang-16 libclang-rt-16-dev
fi

rm -rf "$logs" "$work/artifacts"
mkdir -p "$logs" "$work/artifacts"

# Runs one libFuzzer target for $seconds; prints its executions, or the
# report and the input that broke it.
run_target() {
  local binary=$1 name corpus log status=0
  name=$(basename "$binary")
  corpus="$work/corpus/$name"
  log="$logs/$name.log"
  # A copy: new inputs land here, the committed corpus stays as it is.
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp fuzz/corpus/* "$corpus/"
  # -close_fd_mask=2 drops the fault reports that refused data writes to
  # standard error; libFuzzer keeps its own output and the sanitizers'.
  "$binary" -max_total_time="$seconds" -timeout=30 -close_fd_mask=2 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/$name-" "$corpus" >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ] || grep -q -e '^==[0-9]*==ERROR' -e 'runtime error:' -e '^MISMATCH' "$log"; then
    echo "fuzz: $name failed (exit $status); from $log:" >&2
    # The report from its first line, then libFuzzer's closing lines that
    # name the input written to $work/artifacts.
    awk '/==ERROR|runtime error:|^MISMATCH|deadly signal/ {shown = 1} shown' "$log" | head -n 40 >&2
    echo "..." >&2
    tail -n 12 "$log" >&2
    return 1
  fi
  echo "$name: $(awk '/^stat::number_of_executed_units/ {print $2}' "$log") executions," \
       "corpus $(find fuzz/corpus -type f | wc -l) -> $(find "$corpus" -type f | wc -l) inputs"
}

echo "== fuzz job: libFuzzer targets, ${seconds}s each"
sh fuzz/build.sh "$work/build" >"$logs/build.log" 2>&1 || { tail -n 40 "$logs/build.log" >&2; exit 1; }
for binary in "$work"/build/fuzz/*_fuzzer; do
  run_target "$binary"
done
if [ -n "$(git status --porcelain -- fuzz/corpus 2>/dev/null)" ]; then
  echo "fuzz: the committed corpus changed" >&2
  exit 1
fi

echo "== fuzz job: API fuzzer under ASan and UBSan, ${seconds}s"
install_sanitized_module
check_reporting
status=0
# The module writes a fault report to standard error for every fault the
# fuzzer provokes: kept apart, and shown only when something failed.
sanitized "$sanitized_python" fuzz/api_fuzzer.py --seconds "$seconds" \
  >"$logs/api_fuzzer.out" 2>"$logs/api_fuzzer.err" || status=$?
cat "$logs/api_fuzzer.out"
if show_reports || [ $status -ne 0 ]; then
  echo "fuzz: the API fuzzer failed (exit $status); the end of its standard error:" >&2
  tail -n 40 "$logs/api_fuzzer.err" >&2
  exit 1
fi

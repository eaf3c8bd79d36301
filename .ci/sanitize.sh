#!/usr/bin/env bash
# Sanitizer job: the whole test suite against the module built with
# AddressSanitizer and UBSan (.ci/sanitizer_env.sh). Any ASan, LSan or UBSan
# report, in the test process or in any child it starts, fails the job.
set -euo pipefail
cd "$(dirname "$0")/.."
export CI="${CI:-true}"
reports="$PWD/build/sanitizer-reports/tests"
source .ci/sanitizer_env.sh

echo "== sanitizer job: build"
install_sanitized_module
check_reporting

echo "== sanitizer job: test suite under ASan and UBSan"
status=0
sanitized "$sanitized_python" -m pytest -q -rs || status=$?
if show_reports; then
  echo "sanitize: the sanitizers reported the errors above" >&2
  exit 1
fi
exit $status

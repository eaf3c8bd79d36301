"""A few fixed rounds of the API fuzzer (fuzz/api_fuzzer.py): random calls
with hostile arguments on several graphs, each checked against a plain
Python model. CI also runs it for a minute from a random seed."""

import pytest

from conftest import REPO_ROOT, run_python

FUZZ_DIR = REPO_ROOT / "fuzz"

RUN = """
import sys
sys.path.insert(0, {fuzz_dir!r})
import api_fuzzer
sys.exit(api_fuzzer.main({argv!r}))
"""


@pytest.mark.parametrize("seed", [1, 1001, 2002, 3003])
def test_api_fuzzer_rounds(seed):
    argv = ["--seed", str(seed), "--rounds", "10", "--steps", "200"]
    result = run_python(RUN.format(fuzz_dir=str(FUZZ_DIR), argv=argv), timeout=600)
    # Fault reports on standard error are expected; the findings are on stdout.
    stderr_tail = "\n".join(result.stderr.splitlines()[-20:])
    assert result.returncode == 0, f"{result.stdout}\n--- end of stderr ---\n{stderr_tail}"
    assert "10 rounds, 2000 calls, no failures" in result.stdout

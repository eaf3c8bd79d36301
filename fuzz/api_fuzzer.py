"""Random calls on quiverlane.Graph, checked against a plain Python model.

    python fuzz/api_fuzzer.py --seconds 60            random first seed, printed
    python fuzz/api_fuzzer.py --seed 1234 --rounds 1  one round again

Each round starts from new graphs and makes --steps calls drawn from its own
seed, the first seed plus the round's number. A round replays the same calls
from its seed until the module makes a choice of its own (the center of
contract, orders of iteration), so a failure also prints the last calls.

Hostile calls make the module write fault reports to standard error, as it
must; the fuzzer's own findings go to standard output.
"""

import argparse
import collections
import os
import random
import sys
import tempfile
import time
import traceback
import warnings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from api_fuzz.session import ExceptionClasses, FuzzFailure, Session  # noqa: E402


def parse(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, help="seed of the first round (default: random)")
    parser.add_argument("--rounds", type=int, help="stop after this many rounds")
    parser.add_argument("--seconds", type=float, help="stop starting rounds after this long")
    parser.add_argument("--steps", type=int, default=200, help="calls per round (default 200)")
    args = parser.parse_args(argv)
    if args.rounds is None and args.seconds is None:
        parser.error("give --rounds or --seconds")
    return args


def run_round(seed, steps, directory, classes, tally):
    """None, or what went wrong in the round."""
    try:
        Session(seed, directory, classes, tally).run(steps)
    except FuzzFailure as failure:
        return f"FAILED: {failure}"
    except Exception:  # a fault of the fuzzer itself: as loud, with its traceback
        return f"FUZZER ERROR:\n{traceback.format_exc()}"
    return None


def main(argv=None):
    args = parse(argv)
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(2**32)
    print(f"api fuzzer: first seed {seed}", flush=True)
    # An __index__ returning a bool is deprecated, but still converts.
    warnings.filterwarnings("ignore", message="__index__ returned non-int", category=DeprecationWarning)
    classes = ExceptionClasses()
    deadline = None if args.seconds is None else time.monotonic() + args.seconds
    rounds = 0
    tally = collections.Counter()
    with tempfile.TemporaryDirectory() as directory:
        while (args.rounds is None or rounds < args.rounds) and (deadline is None or time.monotonic() < deadline):
            round_seed = seed + rounds
            problem = run_round(round_seed, args.steps, directory, classes, tally)
            if problem is not None:
                print(f"round {rounds}, seed {round_seed}: {problem}")
                print(f"again: python fuzz/api_fuzzer.py --seed {round_seed} --rounds 1 --steps {args.steps}")
                return 1
            rounds += 1
    print(f"api fuzzer: {rounds} rounds, {rounds * args.steps} calls, no failures")
    print("outcomes: " + ", ".join(f"{kind} {count}" for kind, count in tally.most_common()))
    return 0


if __name__ == "__main__":
    sys.exit(main())

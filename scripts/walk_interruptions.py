#!/usr/bin/env python3
"""Ends a firmware update by force after each of its commands in turn, then lets a new start
finish it, and prints what was found (see tests/cli/interruption_walk.py).

    python3 scripts/walk_interruptions.py [--from N] [--to N] [--jobs 2]

Needs a built vorlen-cli (VORLEN_BUILD_DIR, default build/) and root, as the emulator does.
"""

import argparse
import concurrent.futures
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "cli"))
from interruption_walk import walk_one  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--from", dest="first", type=int, default=1)
    parser.add_argument("--to", dest="last", type=int, default=400, help="stops earlier at the update's end")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()

    started = time.monotonic()
    walked = right = 0
    failures = {}
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for start in range(args.first, args.last + 1, args.jobs):
            indexes = list(range(start, min(start + args.jobs, args.last + 1)))
            results = list(pool.map(walk_one, indexes))
            for index, (reached, faults) in zip(indexes, results):
                if not reached:
                    continue
                walked += 1
                right += not faults
                print("%4d %s" % (index, "right" if not faults else "; ".join(faults)), flush=True)
                if faults:
                    failures[index] = faults
            if not all(reached for reached, _ in results):
                break
    print("indexes walked: %d, instruments left right: %d, in %.0f s" % (walked, right, time.monotonic() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

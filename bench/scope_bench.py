#!/usr/bin/env python3
"""Times local labels in one scope of many names against scopes of few names.

Generates two sources of the same size and the same lines but for the scope
openers: in the wide one, 4,000 local names share a single scope; in the
narrow one, every scope holds 10 names. Each name is defined once, and
200,000 jumps use the names in a pseudo-random order. keston and keston-check
run on both with -l@@, interleaved; the ratio of each program's times on the
two sources is what the size of a scope costs.

    python3 bench/scope_bench.py [--build build/default] [--runs 5]
"""
import argparse
import os
import random
import statistics
import tempfile

from run_bench import timed

BLOCKS = 400
NAMES_PER_BLOCK = 10
USES_PER_BLOCK = 500
SWITCHES = ["-l@@"]


def write_sources(wide_path, narrow_path):
    """The same lines in both; a block opens a scope only in the narrow source."""
    pick = random.Random(17)
    wide, narrow = [], []
    for block in range(BLOCKS):
        # Both are 6 characters long; a line that begins with ';' stays in the scope.
        wide.append(f";{block:04d}:")
        narrow.append(f"p{block:04d}:")
        for name in range(NAMES_PER_BLOCK):
            wide.append(f"@@n{block * NAMES_PER_BLOCK + name:04d}:\tnop")
            narrow.append(f"@@n{name:04d}:\tnop")
        for _ in range(USES_PER_BLOCK):
            name = pick.randrange(BLOCKS * NAMES_PER_BLOCK)
            wide.append(f"\tjmp\t@@n{name:04d}")
            narrow.append(f"\tjmp\t@@n{name % NAMES_PER_BLOCK:04d}")
    for path, lines in ((wide_path, wide), (narrow_path, narrow)):
        with open(path, "w") as out:
            out.write("\n".join(lines) + "\n")


def run_interleaved(build, wide, narrow, dst, rounds):
    """Median seconds of each program on each source."""
    keston, check = os.path.join(build, "keston"), os.path.join(build, "keston-check")
    runs = {}
    for source in (wide, narrow):
        runs[("keston", source)] = ([keston, *SWITCHES, source, dst], None)
        runs[("keston-check", source)] = ([check, *SWITCHES, source], dst)
    times = {key: [] for key in runs}
    for _ in range(rounds):
        for key, (argv, redirect) in runs.items():
            times[key].append(timed(build, argv, redirect)[0])
    return {key: statistics.median(values) for key, values in times.items()}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="keston-scope-bench-") as work:
        wide, narrow, dst = (os.path.join(work, name) for name in ("wide.asm", "narrow.asm", "out.asm"))
        write_sources(wide, narrow)
        size = os.path.getsize(wide)
        medians = run_interleaved(args.build, wide, narrow, dst, args.runs)

    print(f"inputs: {size / 1e6:.2f} MB each, {BLOCKS * NAMES_PER_BLOCK} names defined and "
          f"{BLOCKS * USES_PER_BLOCK} uses; wide: one scope, narrow: scopes of {NAMES_PER_BLOCK} names")
    print(f"switches {' '.join(SWITCHES)}, median of {args.runs} interleaved runs")
    print(f"{'program':<14}{'wide s':>9}{'narrow s':>10}{'wide/narrow':>13}")
    for program in ("keston", "keston-check"):
        seconds_wide, seconds_narrow = medians[(program, wide)], medians[(program, narrow)]
        print(f"{program:<14}{seconds_wide:>9.3f}{seconds_narrow:>10.3f}{seconds_wide / seconds_narrow:>13.2f}")


if __name__ == "__main__":
    main()

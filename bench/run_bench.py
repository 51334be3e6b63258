#!/usr/bin/env python3
"""Times keston against an I/O floor and standard tools, interleaved in one run.

keston-check runs in the same rounds with the full chain's switches, its
report going to a file; so does keston-map, which builds the map of a
destination that keston made with those switches (a message about its first
line makes it); their times are given as ratios to keston's, and keston-map's
peak RSS beyond keston's per destination line.

Prints medians of several runs, MB/s, ratios against the 16 KiB copy floor and
the peers, peak RSS, and instructions per input byte under callgrind (on a
smaller file, for a number that does not depend on the machine's load).

    python3 bench/run_bench.py [--build build/default] [--mib 64] [--runs 5]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile

SWITCH_SETS = [
    ("no switches", []),
    ("-a -c", ["-a", "-c"]),
    ("-s", ["-s"]),
    ("-t", ["-t"]),
    ("-l@@", ["-l@@"]),
    ("full chain", ["-a", "-c", "-s", "-t", "-l@@", "-e"]),
]
FULL_CHAIN = SWITCH_SETS[-1][1]
CHECK_STATUSES = (0, 1)  # keston-check exits with 1 when it reports hazards
PIPELINE = "sed -e 's/;.*//' -e 's|//.*||' {src} | expand -t8 | unexpand -a | sed 's/$/\\r/' > {dst}"


def timed(build, argv, redirect=None, statuses=(0,)):
    """Wall seconds and peak RSS (KiB) of one process, taken by the measure launcher."""
    launcher = [os.path.join(build, "bench", "measure")] + (["-o", redirect] if redirect else [])
    result = subprocess.run(launcher + argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode not in statuses:
        sys.exit(f"failed: {argv}")
    seconds, peak = result.stderr.split()[-2:]
    return float(seconds), int(peak)


def generate(build, path, size):
    with open(path, "wb") as out:
        subprocess.run([os.path.join(build, "bench", "gen_asm"), str(size)], stdout=out, check=True)


def commands(build, src, dst, map_dst):
    keston = os.path.join(build, "keston")
    runs = {"copy floor": ([os.path.join(build, "bench", "copy_floor"), src, dst], None),
            "expand -t8": (["expand", "-t8", src], dst),
            "tool pipeline": (["sh", "-c", PIPELINE.format(src=src, dst=dst)], None)}
    for name, switches in SWITCH_SETS:
        runs["keston " + name] = ([keston, *switches, src, dst], None)
    runs["keston-check full"] = ([os.path.join(build, "keston-check"), *FULL_CHAIN, src], dst, CHECK_STATUSES)
    runs["keston-map full"] = ([os.path.join(build, "keston-map"), *FULL_CHAIN, src, map_dst, "--",
                                "echo", map_dst + ":1: a message"], None)
    return runs


def run_all(build, runs, rounds):
    times = {name: [] for name in runs}
    rss = {name: 0 for name in runs}
    for _ in range(rounds):
        for name, (argv, redirect, *statuses) in runs.items():
            seconds, peak = timed(build, argv, redirect, *statuses)
            times[name].append(seconds)
            rss[name] = max(rss[name], peak)
    return {name: statistics.median(values) for name, values in times.items()}, rss


def instructions(build, src, switches):
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
                             os.path.join(build, "keston"), *switches, src, src + ".out"],
                            capture_output=True, text=True, check=True)
    return int(re.search(r"Collected : (\d+)", result.stderr).group(1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--mib", type=int, default=64)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--callgrind-mib", type=int, default=4)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="keston-bench-") as work:
        src, dst = os.path.join(work, "source.asm"), os.path.join(work, "out.asm")
        size = args.mib << 20
        generate(args.build, src, size)
        size = os.path.getsize(src)
        map_dst = os.path.join(work, "mapped.asm")
        subprocess.run([os.path.join(args.build, "keston"), *FULL_CHAIN, src, map_dst], check=True)
        with open(map_dst, "rb") as made:
            map_lines = sum(chunk.count(b"\n") for chunk in iter(lambda: made.read(1 << 20), b""))
        medians, rss = run_all(args.build, commands(args.build, src, dst, map_dst), args.runs)

        floor, expand, pipeline = medians["copy floor"], medians["expand -t8"], medians["tool pipeline"]
        print(f"input: {size / 2**20:.1f} MiB of generated assembler source, median of {args.runs} interleaved runs")
        print(f"{'command':<22}{'median s':>10}{'MB/s':>9}{'x floor':>9}{'expand/x':>10}{'pipe/x':>9}{'peak RSS KiB':>14}")
        for name, seconds in medians.items():
            print(f"{name:<22}{seconds:>10.3f}{size / seconds / 1e6:>9.0f}{seconds / floor:>9.2f}"
                  f"{expand / seconds:>10.2f}{pipeline / seconds:>9.2f}{rss[name]:>14}")
        check_ratio = medians["keston-check full"] / medians["keston full chain"]
        print(f"\nkeston-check {' '.join(FULL_CHAIN)}: {check_ratio:.2f} times keston's time (at most 3)")
        map_ratio = medians["keston-map full"] / medians["keston full chain"]
        map_bytes = (rss["keston-map full"] - rss["keston full chain"]) * 1024 / map_lines
        print(f"keston-map {' '.join(FULL_CHAIN)}, building the map: {map_ratio:.2f} times keston's time "
              f"(at most 1.5); {map_bytes:.1f} bytes of peak RSS beyond keston's per destination line "
              f"({map_lines} lines)")

        small = os.path.join(work, "small.asm")
        generate(args.build, small, args.callgrind_mib << 20)
        small_size = os.path.getsize(small)
        print(f"\ninstructions per input byte (callgrind, {small_size / 2**20:.1f} MiB input)")
        for name, switches in SWITCH_SETS:
            print(f"  keston {name:<14}{instructions(args.build, small, switches) / small_size:>7.2f}")

        print("\npeak RSS in chunked mode (KiB), keston -a -c -s -t -l@@ -e")
        for mib in (1, 256):
            generate(args.build, src, mib << 20)
            _, peak = timed(args.build, [os.path.join(args.build, "keston"), *SWITCH_SETS[-1][1], src, dst])
            print(f"  {mib:>4} MiB input: {peak}")


if __name__ == "__main__":
    main()

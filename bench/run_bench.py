#!/usr/bin/env python3
"""Times keston against an I/O floor and standard tools, interleaved in one run.

keston-check runs in the same rounds with the full chain's switches, its
report going to a file; so does keston-map, which builds the map of a
destination that keston made with those switches (a message about its first
line makes it); their times are given as ratios to keston's, and keston-map's
peak RSS beyond keston's per destination line.

Prints, for each of the two source profiles of bench/gen_asm (harsh: most
lines change; tabbed: tab-aligned code as in real sources), medians of several
runs, MB/s, ratios against the 16 KiB copy floor and the peers and peak RSS;
then instructions per input byte under callgrind (on a smaller file, for a
number that does not depend on the machine's load), keston-check's among them.

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


PROFILES = ("harsh", "tabbed")


def generate(build, path, size, profile="harsh"):
    with open(path, "wb") as out:
        subprocess.run([os.path.join(build, "bench", "gen_asm"), str(size), profile], stdout=out, check=True)


def changed_lines(build, src, work):
    """The share of source lines that the full chain changes (an empty one, which -e drops, counts), and the
    average length of the runs of lines it leaves as they are. Without -e every line keeps its place."""
    out = os.path.join(work, "unchanged.asm")
    subprocess.run([os.path.join(build, "keston"), *[s for s in FULL_CHAIN if s != "-e"], src, out], check=True)
    with open(src, "rb") as a, open(out, "rb") as b:
        before, after = (f.read().replace(b"\r", b"").split(b"\n")[:-1] for f in (a, b))
    changed = [x != y or not x for x, y in zip(before, after)]
    runs = [len(run) for run in b"".join(b"c" if c else b"u" for c in changed).split(b"c") if run]
    return sum(changed) / len(changed), sum(runs) / max(len(runs), 1)


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


def instructions(build, src, switches, program="keston"):
    destination = [src + ".out"] if program == "keston" else []
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
                             os.path.join(build, program), *switches, src, *destination],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
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
        for profile in PROFILES:
            time_profile(args, work, profile, src, dst)

        small = os.path.join(work, "small.asm")
        print(f"\ninstructions per input byte (callgrind, {args.callgrind_mib} MiB input)")
        print(f"  {'keston':<20}" + "".join(f"{profile:>9}" for profile in PROFILES))
        counts = {profile: {} for profile in PROFILES}
        for profile in PROFILES:
            generate(args.build, small, args.callgrind_mib << 20, profile)
            small_size = os.path.getsize(small)
            for name, switches in SWITCH_SETS:
                counts[profile][name] = instructions(args.build, small, switches) / small_size
            counts[profile]["keston-check full"] = instructions(args.build, small, FULL_CHAIN, "keston-check") / small_size
        for name in counts[PROFILES[0]]:
            print(f"  {name:<20}" + "".join(f"{counts[profile][name]:>9.2f}" for profile in PROFILES))
        print("  keston-check / keston" + "".join(
            f"{counts[profile]['keston-check full'] / counts[profile]['full chain']:>8.2f}x" for profile in PROFILES))

        print("\npeak RSS in chunked mode (KiB), keston -a -c -s -t -l@@ -e")
        for mib in (1, 256):
            generate(args.build, src, mib << 20)
            _, peak = timed(args.build, [os.path.join(args.build, "keston"), *SWITCH_SETS[-1][1], src, dst])
            print(f"  {mib:>4} MiB input: {peak}")


def time_profile(args, work, profile, src, dst):
    generate(args.build, src, args.mib << 20, profile)
    size = os.path.getsize(src)
    share, run = changed_lines(args.build, src, work)
    map_dst = os.path.join(work, "mapped.asm")
    subprocess.run([os.path.join(args.build, "keston"), *FULL_CHAIN, src, map_dst], check=True)
    with open(map_dst, "rb") as made:
        map_lines = sum(chunk.count(b"\n") for chunk in iter(lambda: made.read(1 << 20), b""))
    medians, rss = run_all(args.build, commands(args.build, src, dst, map_dst), args.runs)

    floor, expand, pipeline = medians["copy floor"], medians["expand -t8"], medians["tool pipeline"]
    print(f"input: {size / 2**20:.1f} MiB of generated assembler source, profile {profile} ({share:.0%} of the lines "
          f"changed by the full chain, runs of {run:.1f} unchanged lines), median of {args.runs} interleaved runs")
    print(f"{'command':<22}{'median s':>10}{'MB/s':>9}{'x floor':>9}{'expand/x':>10}{'pipe/x':>9}{'peak RSS KiB':>14}")
    for name, seconds in medians.items():
        print(f"{name:<22}{seconds:>10.3f}{size / seconds / 1e6:>9.0f}{seconds / floor:>9.2f}"
              f"{expand / seconds:>10.2f}{pipeline / seconds:>9.2f}{rss[name]:>14}")
    check_ratio = medians["keston-check full"] / medians["keston full chain"]
    print(f"\nkeston-check {' '.join(FULL_CHAIN)}: {check_ratio:.2f} times keston's time")
    map_ratio = medians["keston-map full"] / medians["keston full chain"]
    map_bytes = (rss["keston-map full"] - rss["keston full chain"]) * 1024 / map_lines
    print(f"keston-map {' '.join(FULL_CHAIN)}, building the map: {map_ratio:.2f} times keston's time "
          f"(at most 1.5); {map_bytes:.1f} bytes of peak RSS beyond keston's per destination line "
          f"({map_lines} lines)\n")


if __name__ == "__main__":
    main()

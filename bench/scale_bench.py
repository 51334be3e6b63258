#!/usr/bin/env python3
"""Counts what size costs where it used to cost more than its share.

keston-check over a chain of sources, each including the next and each
making the same label names (so every file clashes with the one before it):
instructions for a chain of 1,000 files against a chain of 250. Linear work
gives 4; the bound is 6.

keston-map's filter over the same messages, naming destinations that all
share their last component: instructions with 2,000 such pairs against one
pair. A lookup that costs the same whatever the number of pairs gives about
1 (the 2,000 small maps are built once each); the bound is 2.

Instructions are counted under valgrind's callgrind, which does not depend
on the machine's load.

    python3 bench/scale_bench.py [--build build/default] [--short 250] [--long 1000]
                                 [--pairs 2000] [--messages 20000]
"""
import argparse
import os
import re
import subprocess
import tempfile

CHAIN_SWITCHES = ["-l@@"]
DESTINATION_LINES = 20


def instructions(argv, cwd, stdin=None):
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", *argv], cwd=cwd,
                            stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(re.search(r"Collected : (\d+)", result.stderr).group(1))


def write_chain(folder, count):
    """Sources f0000.asm ... each including the next; the names of the sources."""
    os.makedirs(folder)
    names = [f"f{i:04d}.asm" for i in range(count)]
    for i, name in enumerate(names):
        include = f"\tinclude\t{names[i + 1]}\n" if i + 1 < count else ""
        with open(os.path.join(folder, name), "w") as out:
            out.write(f"f{i}:\n{include}@@loop:\tdec\tcx\n\tjnz\t@@loop\n@@done:\tret\n")
    return names


def chain_instructions(build, work, count):
    folder = os.path.join(work, f"chain{count}")
    names = write_chain(folder, count)
    return instructions([os.path.abspath(os.path.join(build, "keston-check")), *CHAIN_SWITCHES, *names], folder)


def write_pairs(folder, count):
    """count pairs dNNNN/src.asm dNNNN/out.asm, each destination keston's output of its source."""
    os.makedirs(folder)
    arguments = []
    source = "".join(f"\tmov\tax,{line}\n" for line in range(DESTINATION_LINES))
    destination = source.replace("\n", "\r\n")
    for i in range(count):
        os.makedirs(os.path.join(folder, f"d{i:04d}"))
        for name, text in (("src.asm", source), ("out.asm", destination)):
            with open(os.path.join(folder, f"d{i:04d}", name), "w", newline="") as out:
                out.write(text)
        arguments += [f"d{i:04d}/src.asm", f"d{i:04d}/out.asm"]
    return arguments


def map_instructions(build, work, pairs, messages):
    """keston-map over messages that name each pair in turn."""
    folder = os.path.join(work, f"pairs{pairs}")
    arguments = write_pairs(folder, pairs)
    with open(os.path.join(folder, "messages"), "w") as out:
        for i in range(messages):
            pair = i % pairs
            out.write(f"d{pair:04d}/out.asm:{i % DESTINATION_LINES + 1}: error: "
                      f"symbol `x{i}' undefined (first use in d{pair:04d}/out.asm)\n")
    with open(os.path.join(folder, "messages")) as stdin:
        return instructions([os.path.abspath(os.path.join(build, "keston-map")), *arguments], folder, stdin)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--short", type=int, default=250)
    parser.add_argument("--long", type=int, default=1000)
    parser.add_argument("--pairs", type=int, default=2000)
    parser.add_argument("--messages", type=int, default=20000)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="keston-scale-bench-") as work:
        short = chain_instructions(args.build, work, args.short)
        long = chain_instructions(args.build, work, args.long)
        one = map_instructions(args.build, work, 1, args.messages)
        many = map_instructions(args.build, work, args.pairs, args.messages)

    print("instructions (callgrind)")
    print(f"keston-check {' '.join(CHAIN_SWITCHES)}, chain of {args.short}: {short:>14,}")
    print(f"keston-check {' '.join(CHAIN_SWITCHES)}, chain of {args.long}: {long:>14,}"
          f"   ratio {long / short:.2f} (bound 6)")
    print(f"keston-map, {args.messages} messages, 1 pair:        {one:>14,}")
    print(f"keston-map, {args.messages} messages, {args.pairs} pairs:    {many:>14,}"
          f"   ratio {many / one:.2f} (bound 2)")


if __name__ == "__main__":
    main()

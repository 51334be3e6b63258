#!/usr/bin/env python3
"""Peak memory of keston-check -x against keston-check's own, per source shape.

-x holds the source whole (so that what it plans and what it rewrites are
the same bytes) and what its plan needs; the check without -x holds what it
reports. For each shape, a source of about --megabytes is checked with -l@@,
once as it is and once with -x on a copy, and the peak resident sizes of the
two runs are compared. The bound is 2.

  names    one invalid name (@@1) in every block of seven lines, no procedures
  dense    three names a block to rename or respell, no procedures
  masm     PROC ... ENDP blocks, one invalid name each
  joined   PROC ... ENDP blocks, each split by a label that -x indents
  unique   PROC ... ENDP blocks, each with a name of its own

    python3 bench/fix_memory_bench.py [--build build/default] [--megabytes 50]
"""
import argparse
import os
import shutil
import subprocess
import tempfile

BLOCKS = {
    "names": "proc{n}:\n@@loop: dec cx\n jnz @@loop\n@@1: ret\n mov ax,bx ; plain code\n mov cx,dx\n add ax,1\n",
    "dense": "proc{n}:\n@@1: mov ax,@@loop ; counter\n@@loop: dec cx\n jnz @@1\n@@2x: db 'text',0\n jmp @@2x\n ret\n",
    "masm": "proc{n} PROC\n@@loop: dec cx\n jnz @@loop\n@@1: ret\n mov ax,bx ; plain code\n mov cx,dx\nproc{n} ENDP\n",
    "joined": "proc{n} PROC\n@@loop: dec cx\nmid{n}:\n jnz @@loop\n@@1: ret\n mov ax,bx ; plain code\nproc{n} ENDP\n",
    "unique": "proc{n} PROC\n@@L{n}: dec cx\n jnz @@L{n}\n mov ax,bx\nproc{n} ENDP\n",
}


def write_source(path, block, size):
    with open(path, "w") as out:
        written = 0
        n = 0
        while written < size:
            text = block.format(n=n)
            out.write(text)
            written += len(text)
            n += 1


def peak_kilobytes(argv):
    """The peak resident size of one run, from the kernel's account of that child."""
    process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(process.pid, 0)
    return usage.ru_maxrss


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--megabytes", type=int, default=50)
    args = parser.parse_args()
    check = os.path.abspath(os.path.join(args.build, "keston-check"))
    print(f"keston-check -l@@, sources of about {args.megabytes} MB; peak resident size")
    print(f"{'shape':8} {'without -x':>12} {'with -x':>12} {'ratio':>7}  (bound 2)")
    worst = 0.0
    with tempfile.TemporaryDirectory() as work:
        for shape, block in BLOCKS.items():
            source = os.path.join(work, f"{shape}.asm")
            write_source(source, block, args.megabytes * 1_000_000)
            alone = peak_kilobytes([check, "-l@@", source])
            copy = os.path.join(work, f"{shape}-x.asm")
            shutil.copyfile(source, copy)
            fixing = peak_kilobytes([check, "-l@@", "-x", copy])
            ratio = fixing / alone
            worst = max(worst, ratio)
            print(f"{shape:8} {alone / 1024:9.1f} MB {fixing / 1024:9.1f} MB {ratio:7.2f}")
            os.remove(source)
            os.remove(copy)
    print(f"worst ratio {worst:.2f}")


if __name__ == "__main__":
    main()

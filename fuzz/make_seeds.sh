#!/usr/bin/env bash
# Writes seed corpora for the fuzz targets into <folder>/cmdline and
# <folder>/chain: the bundled sample with several switch sets, and lines at the
# length limits, where the off-by-one mistakes live.
#   make_seeds.sh <folder>
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
sample="$here/../examples/sample.asm"
mkdir -p "$out/cmdline" "$out/chain"

printf -- '-a\0-c\0-t4\0in.asm\0out' >"$out/cmdline/switches"
printf -- '-l@@\0-s2\0/t8\0-#\0a\0b' >"$out/cmdline/labels"
printf -- '-?\0-h\0--\0-t1234567890' >"$out/cmdline/refused"

# Header bytes: switches (-a -c -e -f -s -t -l as bits 0-6), -t width, -s width, prefix.
seed() { printf "$1" | cat - "$3" >"$out/chain/$2"; }
seed '\x7f\x08\x00@@' all "$sample"
seed '\x30\x04\x02@@' tabs "$sample"
seed '\x43\x08\x00@@' labels "$sample"
long=$(head -c 1014 /dev/zero | tr '\0' x)
printf '%s\tx\n\t%sxx\n%s@@ab\n' "$long" "$long" "$long" >"$out/long.txt"
seed '\x70\x08\x00@@' long "$out/long.txt"
seed '\x58\x01\x40@@' long-wide "$out/long.txt"
rm "$out/long.txt"
# Tab-aligned lines and the lines next to them that re-tabbing changes; and
# the line ends that a run without switches copies or leaves to the line reader.
printf '\tmov\tax, bx\n\t\t   x\nabcdefg x\na \tb\n\tjmp\t@@x\nx\t@@y \t\n\tdb\t"a\tb"\n' >"$out/tabbed.txt"
seed '\x20\x08\x00@@' tabbed "$out/tabbed.txt"
seed '\x67\x04\x00@@' tabbed-labels "$out/tabbed.txt"
rm "$out/tabbed.txt"
printf 'a\r\nb\nc\rd\n\re\0f\r\n\r' >"$out/ends.txt"
seed '\x00\x08\x00@@' ends "$out/ends.txt"
seed '\x08\x08\x00@@' ends-whole "$out/ends.txt"
rm "$out/ends.txt"

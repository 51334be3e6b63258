#!/bin/sh
# Preprocesses every .asm of a folder into another folder with keston.
#   preprocess.sh <keston> <source folder> <destination folder>
# keston exits non-zero on a command-line or file-open failure, which stops the
# loop; a line it cannot process is reported and the run still counts as done.
set -e
keston=$1
source_dir=$2
destination_dir=$3
mkdir -p "$destination_dir"
for file in "$source_dir"/*.asm; do
    "$keston" -a -c -t -l@@ -e "$file" "$destination_dir/${file##*/}"
done

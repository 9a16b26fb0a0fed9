#!/bin/sh
# Runs one example program on a fresh copy of example.ldif and checks that it succeeds and
# prints a line matching each pattern: run_example.sh PROGRAM LDIF DIR PATTERN...
set -e
program=$1 ldif=$2 dir=$3
shift 3
rm -rf "$dir" && mkdir -p "$dir" && cp "$ldif" "$dir/example.ldif" && cd "$dir"
"$program" "FILE:///example.ldif" >output.txt
cat output.txt
for pattern in "$@"; do
  grep -Eq -- "$pattern" output.txt || { echo "no line matches: $pattern" >&2; exit 1; }
done

#!/usr/bin/env bash
# Times ldifmigrate against the I/O ceiling (cat) and python-ldap's ldif round trip on the
# same generated file, in one run, and measures its peak memory at two file sizes.
# Usage: bench/ldifmigrate_bench.sh [path/to/ldifmigrate] [size in MB, default 100]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/release/bin/ldifmigrate}
size=${2:-100}
data=$here/data
mkdir -p "$data"

generate() {  # generate MB -> path
  local file=$data/bench-$1mb.ldif
  [ -s "$file" ] || python3 "$here/ldif_generate.py" "$file" "$1" >&2
  echo "$file"
}

# wall seconds, CPU seconds (user + system) and peak resident kilobytes of one command:
# "WALL CPU KB". CPU time is the steadier figure on a machine shared with other work.
measure() {
  local report
  report=$(mktemp)
  /usr/bin/time -f '%e %U %S %M' -o "$report" "$@" >/dev/null
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$report"
  rm -f "$report"
}

mbps() { awk -v b="$1" -v s="$2" 'BEGIN { if (s < 0.001) s = 0.001; printf "%.1f", b / 1048576 / s }'; }

small=$(generate 10)
file=$(generate "$size")
bytes=$(stat -c %s "$file")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cat "$file" >/dev/null  # warm the page cache for every contender alike
read -r cat_s cat_cpu _ < <(measure cat "$file")
read -r mig_s mig_cpu mig_kb < <(measure "$program" "$file" "$out/migrated.ldif")
read -r py_s py_cpu py_kb < <(measure /usr/bin/python3 "$here/python_ldif_roundtrip.py" "$file" "$out/python.ldif")
read -r _ _ small_kb < <(measure "$program" "$small" "$out/small.ldif")

records=$(grep -c '^dn:' "$file" || true)
printf 'input: %s (%d records, %.1f MB)\n' "$file" "$records" "$(awk -v b="$bytes" 'BEGIN{print b/1048576}')"
printf '%-28s %8s %10s %8s %10s\n' "" "wall s" "wall MB/s" "CPU s" "CPU MB/s"
row() { printf '%-28s %8s %10s %8s %10s\n' "$1" "$2" "$(mbps "$bytes" "$2")" "$3" "$(mbps "$bytes" "$3")"; }
row "cat (I/O ceiling)" "$cat_s" "$cat_cpu"
row "ldifmigrate" "$mig_s" "$mig_cpu"
row "python-ldap ldif round trip" "$py_s" "$py_cpu"
ratios() {
  awk -v c="$2" -v m="$3" -v p="$4" -v what="$1" 'BEGIN {
    if (m < 0.01) m = 0.01; if (c < 0.01) c = 0.01
    printf "%s: ldifmigrate is %.1fx as fast as python-ldap and takes %.1fx the time of cat\n", what, p / m, m / c }'
}
ratios "wall time" "$cat_s" "$mig_s" "$py_s"
ratios "CPU time" "$cat_cpu" "$mig_cpu" "$py_cpu"
printf 'peak memory of ldifmigrate: %d KB at 10 MB, %d KB at %s MB (python-ldap: %d KB)\n' \
  "$small_kb" "$mig_kb" "$size" "$py_kb"

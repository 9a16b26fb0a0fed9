#!/usr/bin/env bash
# Times ldifmigrate against the I/O ceilings (cat, cp) and python-ldap's ldif round trip on the
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

# Best of three runs of one command: "WALL CPU KB", wall and CPU (user + system) seconds and
# peak resident kilobytes. Wall time comes from the nanosecond clock: /usr/bin/time rounds
# to hundredths, too coarse for cat. CPU time is the steadier figure on a shared machine.
measure() {
  local report best="" start end
  report=$(mktemp)
  for _ in 1 2 3; do
    start=$(date +%s%N)
    /usr/bin/time -f '%U %S %M' -o "$report" "$@" >/dev/null
    end=$(date +%s%N)
    line=$(awk -v ns=$((end - start)) '{ printf "%.3f %.2f %s\n", ns / 1e9, $1 + $2, $3 }' "$report")
    if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN { split(a, x); split(b, y); exit !(x[1] < y[1]) }'; then
      best=$line
    fi
  done
  rm -f "$report"
  echo "$best"
}

mbps() { awk -v b="$1" -v s="$2" 'BEGIN { if (s < 0.001) s = 0.001; printf "%.1f", b / 1048576 / s }'; }

small=$(generate 10)
file=$(generate "$size")
bytes=$(stat -c %s "$file")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cat "$file" >/dev/null  # warm the page cache for every contender alike
read -r cat_s cat_cpu _ < <(measure cat "$file")
read -r copy_s copy_cpu _ < <(measure cp "$file" "$out/copy.ldif")
read -r mig_s mig_cpu mig_kb < <(measure "$program" "$file" "$out/migrated.ldif")
read -r py_s py_cpu py_kb < <(measure /usr/bin/python3 "$here/python_ldif_roundtrip.py" "$file" "$out/python.ldif")
read -r _ _ small_kb < <(measure "$program" "$small" "$out/small.ldif")

records=$(grep -c '^dn:' "$file" || true)
printf 'input: %s (%d records, %.1f MB)\n' "$file" "$records" "$(awk -v b="$bytes" 'BEGIN{print b/1048576}')"
printf '%-28s %8s %10s %8s %10s\n' "" "wall s" "wall MB/s" "CPU s" "CPU MB/s"
row() { printf '%-28s %8s %10s %8s %10s\n' "$1" "$2" "$(mbps "$bytes" "$2")" "$3" "$(mbps "$bytes" "$3")"; }
row "cat (read ceiling)" "$cat_s" "$cat_cpu"
row "cp (read and write ceiling)" "$copy_s" "$copy_cpu"
row "ldifmigrate" "$mig_s" "$mig_cpu"
row "python-ldap ldif round trip" "$py_s" "$py_cpu"
ratios() {
  awk -v c="$2" -v k="$3" -v m="$4" -v p="$5" -v what="$1" 'BEGIN {
    if (m < 0.001) m = 0.001; if (c < 0.001) c = 0.001; if (k < 0.001) k = 0.001
    printf "%s: ldifmigrate is %.1fx as fast as python-ldap; it takes %.1fx the time of cat, %.1fx that of cp\n", what, p / m, m / c, m / k }'
}
ratios "wall time" "$cat_s" "$copy_s" "$mig_s" "$py_s"
ratios "CPU time" "$cat_cpu" "$copy_cpu" "$mig_cpu" "$py_cpu"
printf 'peak memory of ldifmigrate: %d KB at 10 MB, %d KB at %s MB (python-ldap: %d KB)\n' \
  "$small_kb" "$mig_kb" "$size" "$py_kb"

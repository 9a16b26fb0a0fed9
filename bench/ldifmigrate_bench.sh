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

# seconds and peak resident kilobytes of one command: "SECONDS KB"
measure() {
  local report
  report=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$report" "$@" >/dev/null
  cat "$report"
  rm -f "$report"
}

mbps() { awk -v b="$1" -v s="$2" 'BEGIN { if (s < 0.001) s = 0.001; printf "%.1f", b / 1048576 / s }'; }

small=$(generate 10)
file=$(generate "$size")
bytes=$(stat -c %s "$file")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cat "$file" >/dev/null  # warm the page cache for every contender alike
read -r cat_s _ < <(measure cat "$file")
read -r mig_s mig_kb < <(measure "$program" "$file" "$out/migrated.ldif")
read -r py_s py_kb < <(measure /usr/bin/python3 "$here/python_ldif_roundtrip.py" "$file" "$out/python.ldif")
read -r _ small_kb < <(measure "$program" "$small" "$out/small.ldif")

records=$(grep -c '^dn:' "$file" || true)
printf 'input: %s (%d records, %.1f MB)\n' "$file" "$records" "$(awk -v b="$bytes" 'BEGIN{print b/1048576}')"
printf '%-28s %8s s %9s MB/s\n' "cat (I/O ceiling)" "$cat_s" "$(mbps "$bytes" "$cat_s")"
printf '%-28s %8s s %9s MB/s\n' "ldifmigrate" "$mig_s" "$(mbps "$bytes" "$mig_s")"
printf '%-28s %8s s %9s MB/s\n' "python-ldap ldif round trip" "$py_s" "$(mbps "$bytes" "$py_s")"
awk -v c="$cat_s" -v m="$mig_s" -v p="$py_s" 'BEGIN {
  if (m < 0.001) m = 0.001; if (c < 0.001) c = 0.001
  printf "ldifmigrate is %.1fx python-ldap and %.1fx slower than cat\n", p / m, m / c }'
printf 'peak memory of ldifmigrate: %d KB at 10 MB, %d KB at %s MB (python-ldap: %d KB)\n' \
  "$small_kb" "$mig_kb" "$size" "$py_kb"

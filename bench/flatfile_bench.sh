#!/usr/bin/env bash
# The flat-file directory against a local slapd (mdb back end) holding the same file, in
# one run: our load against slapadd, and 100,000 reads by DN (ours in process, slapd's
# through OpenLDAP's C API); plus our subtree search with a substring filter, one-level
# search under a wide parent, save, and resident memory against the file size.
# Usage: bench/flatfile_bench.sh [path/to/flatfile_bench] [entry counts...]
#        (default counts: 10000 100000 1000000; shapes: wide and deep)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
driver=$(realpath "${1:-$here/../build/release/bin/flatfile_bench}")
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10000 100000 1000000)
data=$here/data
mkdir -p "$data"
work=$(mktemp -d)
slapd_pid=""
cleanup() {
  [ -n "$slapd_pid" ] && kill "$slapd_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

generate() {  # count shape -> path
  local file=$data/flatfile-$2-$1.ldif
  [ -s "$file.dns" ] || python3 "$here/flatfile_generate.py" "$1" "$2" "$file" >&2
  echo "$file"
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# "WALL CPU" seconds of one command.
measure() {
  local report
  report=$(mktemp)
  /usr/bin/time -f '%e %U %S' -o "$report" "$@" >/dev/null 2>&1
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$report"
  rm -f "$report"
}

slapd_conf() {  # folder -> writes folder/slapd.conf
  cat >"$1/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
modulepath /usr/lib/ldap
moduleload back_mdb
pidfile $1/slapd.pid
database mdb
suffix "dc=bench"
rootdn "cn=admin,dc=bench"
rootpw secret
directory $1/db
maxsize 17179869184
CONF
}

start_slapd() {  # folder port
  slapd -f "$1/slapd.conf" -h "ldap://127.0.0.1:$2/"
  for _ in $(seq 1 100); do
    if ldapsearch -x -H "ldap://127.0.0.1:$2/" -b "" -s base >/dev/null 2>&1; then
      slapd_pid=$(cat "$1/slapd.pid")
      return 0
    fi
    sleep 0.1
  done
  echo "slapd did not start" >&2
  return 1
}

stop_slapd() {
  [ -n "$slapd_pid" ] || return 0
  kill "$slapd_pid" 2>/dev/null || true
  while kill -0 "$slapd_pid" 2>/dev/null; do sleep 0.1; done
  slapd_pid=""
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b < 0.0005) b = 0.0005; printf "%.1f", a / b }'; }

declare -A load_of
printf '%-5s %8s %7s | %7s %7s %6s | %9s %9s %6s | %8s %8s %7s | %7s %5s\n' \
  shape entries "MB" "load s" slapadd "x" "reads/s" "slapd/s" "x" "subtr s" "1-lvl s" "save s" \
  "RSS MB" "xfile"
for shape in wide deep; do
  for count in "${counts[@]}"; do
    file=$(generate "$count" "$shape")
    run=$work/$shape-$count
    mkdir -p "$run/db"
    cp "$file" "$run/dir.ldif"
    slapd_conf "$run"
    read -r add_s add_cpu < <(measure slapadd -q -f "$run/slapd.conf" -l "$file")
    port=$(free_port)
    start_slapd "$run" "$port"
    wide_parent="ou=wide,dc=bench"
    [ "$shape" = deep ] && wide_parent="dc=bench"
    declare -A r=()
    while read -r name value; do r[$name]=$value; done < <(
      cd "$run" && "$driver" dir.ldif "$file.dns" dc=bench "$wide_parent" "ldap://127.0.0.1:$port/")
    stop_slapd
    rm -rf "$run"
    mb=$(awk -v b="${r[file_bytes]}" 'BEGIN { printf "%.1f", b / 1048576 }')
    ours_rate=$(awk -v n="${r[reads]}" -v s="${r[read_s]}" 'BEGIN { printf "%.0f", n / s }')
    slapd_rate=$(awk -v n="${r[reads]}" -v s="${r[ldap_read_s]}" 'BEGIN { printf "%.0f", n / s }')
    rss_mb=$(awk -v k="${r[rss_kb]}" 'BEGIN { printf "%.0f", k / 1024 }')
    printf '%-5s %8s %7s | %7s %7s %6s | %9s %9s %6s | %8s %8s %7s | %7s %5s\n' \
      "$shape" "$count" "$mb" "${r[load_s]}" "$add_s" "$(ratio "$add_s" "${r[load_s]}")" \
      "$ours_rate" "$slapd_rate" "$(ratio "${r[ldap_read_s]}" "${r[read_s]}")" \
      "${r[subtree_s]}" "${r[onelevel_s]}" "${r[save_s]}" "$rss_mb" \
      "$(ratio "${r[rss_kb]}" "$(awk -v b="${r[file_bytes]}" 'BEGIN { print b / 1024 }')")"
    load_of[$shape-$count]=${r[load_s]}
    unset r
  done
done
echo "x: slapadd time / our load time; slapd read time / our read time; our RSS / file size"
for shape in wide deep; do
  if [ -n "${load_of[$shape-100000]:-}" ] && [ -n "${load_of[$shape-1000000]:-}" ]; then
    echo "$shape: load time grows $(ratio "${load_of[$shape-1000000]}" "${load_of[$shape-100000]}")x from 100k to 1M entries"
  fi
done

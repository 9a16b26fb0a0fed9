#!/usr/bin/env bash
# dirtool against OpenLDAP's tools on one private slapd, in one run: a search streamed to
# /dev/null (time and peak memory against ldapsearch -LLL), a bulk add (against ldapadd)
# and a subtree delete (against ldapdelete -r), of BULK entries each.
# Usage: bench/dirtool_ldap_bench.sh [path/to/dirtool] [SEARCH entries, default 100000] [BULK, default 30000]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dirtool=${1:-$here/../build/dev/bin/dirtool}
count=${2:-100000}
bulk=${3:-30000}
work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && sleep 0.5
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
suffix=dc=example,dc=com
admin=cn=admin,$suffix
url=ldap://127.0.0.1:$port
mkdir -p "$work/db"
cat >"$work/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
pidfile $work/slapd.pid
moduleload back_mdb
sizelimit 500
database mdb
maxsize 4294967296
# The server writes without waiting for the disk, so that the figures measure the clients.
dbnosync
suffix "$suffix"
rootdn "$admin"
rootpw secret
directory $work/db
CONF

# N people below ou=NAME as LDIF, the unit first.
people() {
  python3 - "$1" "$2" <<'PY'
import sys
unit, n = sys.argv[1], int(sys.argv[2])
out = [f"dn: ou={unit},dc=example,dc=com\nobjectClass: organizationalUnit\nou: {unit}\n"]
for i in range(n):
    out.append(f"dn: uid=u{i},ou={unit},dc=example,dc=com\nobjectClass: inetOrgPerson\n"
               f"uid: u{i}\ncn: User {i}\nsn: Number{i}\nmail: u{i}@example.com\n"
               f"description: bench entry {i} of {n}\n")
print("\n".join(out))
PY
}
{ printf 'dn: %s\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n' "$suffix"
  people read "$count"; } >"$work/seed.ldif"
people add "$bulk" >"$work/add.ldif"
people add2 "$bulk" >"$work/add2.ldif"
slapadd -q -f "$work/slapd.conf" -l "$work/seed.ldif"
slapd -f "$work/slapd.conf" -h "$url/"
for _ in $(seq 50); do
  ldapsearch -x -H "$url" -b "" -s base >/dev/null 2>&1 && break
  sleep 0.2
done
pid=$(cat "$work/slapd.pid")

# "WALL KB": wall seconds (nanosecond clock) and peak resident kilobytes of one run.
measure() {
  local report start end
  report=$(mktemp)
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$report" "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) '{ printf "%.3f %s\n", ns / 1e9, $1 }' "$report"
  rm -f "$report"
}
# Best of three searches.
best() {
  local best="" line
  for _ in 1 2 3; do
    line=$(measure "$@")
    if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN { split(a,x); split(b,y); exit !(x[1] < y[1]) }'; then best=$line; fi
  done
  echo "$best"
}

base=ou=read,$suffix
read -r ls_s ls_kb < <(best ldapsearch -LLL -x -H "$url" -D "$admin" -w secret -b "$base")
read -r dt_s dt_kb < <(best "$dirtool" -H "127.0.0.1:$port" -D "$admin" -w secret search "$base" sub)
read -r pg_s pg_kb < <(best "$dirtool" -H "127.0.0.1:$port" -D "$admin" -w secret search "$base" sub --page 500)

read -r la_s _ < <(measure ldapadd -x -H "$url" -D "$admin" -w secret -f "$work/add.ldif")
read -r da_s _ < <(measure "$dirtool" -H "127.0.0.1:$port" -D "$admin" -w secret add "$work/add2.ldif")
read -r ld_s _ < <(measure ldapdelete -x -H "$url" -D "$admin" -w secret -r "ou=add,$suffix")
read -r dd_s _ < <(measure "$dirtool" -H "127.0.0.1:$port" -D "$admin" -w secret delete -r "ou=add2,$suffix")

left=$(ldapsearch -LLL -x -H "$url" -D "$admin" -w secret -b "$suffix" -s one dn | grep -c '^dn:' || true)
printf 'search: %d entries; add and delete -r: %d entries; slapd mdb on 127.0.0.1\n' "$count" "$bulk"
printf '%-34s %8s %10s\n' "" "wall s" "peak MB"
row() { printf '%-34s %8s %10s\n' "$1" "$2" "$(awk -v k="${3:-0}" 'BEGIN { printf "%.1f", k / 1024 }')"; }
row "ldapsearch -LLL" "$ls_s" "$ls_kb"
row "dirtool search" "$dt_s" "$dt_kb"
row "dirtool search --page 500" "$pg_s" "$pg_kb"
row "ldapadd" "$la_s"
row "dirtool add" "$da_s"
row "ldapdelete -r" "$ld_s"
row "dirtool delete -r" "$dd_s"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf 'search time dirtool/ldapsearch: %s (target <= 1.2)\n' "$(ratio "$dt_s" "$ls_s")"
printf 'add throughput dirtool/ldapadd: %s (target >= 1.5)\n' "$(ratio "$la_s" "$da_s")"
printf 'delete -r throughput dirtool/ldapdelete: %s (target >= 1.5)\n' "$(ratio "$ld_s" "$dd_s")"
printf 'units left below the suffix (expect ou=read only): %s\n' "$((left - 0))"

#!/bin/sh
# Runs a test program in private mount and network namespaces whose /etc/resolv.conf names
# 127.0.0.1, so that DNS tests can serve records on port 53 and the program's resolver
# (res_search) really asks them. Where namespaces are not permitted the program still runs,
# told so through DIRCLIENT_DNS_NAMESPACE, and its DNS tests skip with the reason.
program=$1
shift
if [ ! -e /etc/resolv.conf ] || ! unshare -m -n true 2>/dev/null; then
  DIRCLIENT_DNS_NAMESPACE=unavailable exec "$program" "$@"
fi
exec unshare -m -n sh -c '
  set -e
  ip link set lo up
  conf=$(mktemp)
  trap "rm -f \"$conf\"" EXIT
  echo "nameserver 127.0.0.1" > "$conf"
  mount --bind "$conf" /etc/resolv.conf
  DIRCLIENT_DNS_NAMESPACE=private "$@"
' sh "$program" "$@"

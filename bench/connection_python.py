#!/usr/bin/python3
"""The base search loop of connection_bench in python-ldap: prints microseconds per search.

Usage: connection_python.py URL BASE_DN COUNT
"""
import sys
import time

import ldap


def main():
    url, base, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    conn = ldap.initialize(url)
    conn.protocol_version = 3
    conn.simple_bind_s("", "")
    start = time.perf_counter()
    for _ in range(count):
        # search_s returns the entries as (dn, {name: [values]}): every value read.
        found = conn.search_s(base, ldap.SCOPE_BASE, "(objectClass=*)")
        if not found:
            sys.exit("nothing found")
    elapsed = time.perf_counter() - start
    conn.unbind_s()
    print("%.3f" % (elapsed * 1e6 / count))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Generates a directory in LDIF for the flat-file benchmark.

Usage: flatfile_generate.py COUNT wide|deep OUT.ldif

wide: dc=bench, ou=wide,dc=bench and COUNT-2 people directly under ou=wide.
deep: a balanced tree of fan-out 10 under dc=bench (organizational units inside, people at
      the leaves), written depth first.
Every tenth block of 1,000 records is written in reverse, so part of the file names
children before their parents. Beside OUT.ldif the generator writes:
  OUT.ldif.dns     100,000 DNs drawn at random (with repetition) for the reads
  OUT.ldif.sorted  the same records with every parent before its children (for slapadd)
"""
import random
import sys

BASE = "dc=bench"


def person(dn, n):
    return (f"dn: {dn}\n"
            "objectClass: inetOrgPerson\n"
            f"cn: user{n:07d}\n"
            f"sn: Surname{n % 5000}\n"
            f"givenName: Given{n % 700}\n"
            f"uid: u{n:07d}\n"
            f"mail: user{n:07d}@bench.example\n"
            f"telephoneNumber: +1 555 {n % 10000:04d}\n"
            f"description: Benchmark entry number {n} of the directory\n\n")


def unit(dn, name):
    return (f"dn: {dn}\n"
            "objectClass: organizationalUnit\n"
            f"ou: {name}\n"
            f"description: Unit {name}\n\n")


def top():
    return (f"dn: {BASE}\n"
            "objectClass: dcObject\n"
            "objectClass: organization\n"
            "dc: bench\n"
            "o: Benchmark\n\n")


def wide(count):
    parent = f"ou=wide,{BASE}"
    yield BASE, top()
    yield parent, unit(parent, "wide")
    for n in range(count - 2):
        dn = f"cn=user{n:07d},{parent}"
        yield dn, person(dn, n)


def deep(count, fanout=10):
    # Node i of a breadth-first numbering has the children fanout*i+1 .. fanout*i+fanout;
    # node 0 is the base entry. Records come depth first, each subtree after its root.
    size = count - 1
    dn_of = {0: BASE}
    walk = [0]
    while walk:
        i = walk.pop()
        if i == 0:
            yield BASE, top()
        else:
            parent = dn_of[(i - 1) // fanout]
            if fanout * i + 1 <= size:
                dn = f"ou=n{i},{parent}"
                yield dn, unit(dn, f"n{i}")
            else:
                dn = f"cn=user{i:07d},{parent}"
                yield dn, person(dn, i)
            dn_of[i] = dn
        kids = [c for c in range(fanout * i + 1, fanout * i + fanout + 1) if c <= size]
        walk.extend(reversed(kids))


def main():
    count, shape, path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    records = list(wide(count) if shape == "wide" else deep(count))
    with open(path + ".sorted", "w") as sorted_out:
        for _, text in records:
            sorted_out.write(text)
    with open(path, "w") as out:
        for start in range(0, len(records), 1000):
            block = records[start:start + 1000]
            if (start // 1000) % 10 == 0:
                block = block[::-1]
            for _, text in block:
                out.write(text)
    rng = random.Random(4)
    dns = [dn for dn, _ in records]
    with open(path + ".dns", "w") as out:
        for _ in range(100000):
            out.write(rng.choice(dns) + "\n")


if __name__ == "__main__":
    main()

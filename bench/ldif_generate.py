#!/usr/bin/env python3
"""Writes a realistic release-310 LDIF export for benchmarking ldifmigrate.

Usage: ldif_generate.py OUTPUT SIZE_MB

The mix: person entries (some with base64 UTF-8 names, photos, folded long
descriptions), MetaDataEntry records with map and non-map definitions (base64,
as exports write values that start with "<"), MessageMap records and comments.
The output is the same for the same arguments.
"""
import base64
import random
import sys

WORDS = ("order invoice shipment customer warehouse route queue message archive report "
         "daily weekly north south east west batch priority review signed approved").split()
NAMES = ["Anna", "Björn", "Chloé", "Dmitri", "Eva", "François", "Grace", "Håkon", "Ines", "José"]


def fold(line):
    out = [line[:76]]
    rest = line[76:]
    while rest:
        out.append(" " + rest[:75])
        rest = rest[75:]
    return "\n".join(out) + "\n"


def attr(name, value):
    safe = value and value.isascii() and value[0] not in " :<" and value[-1] != " "
    if safe:
        return fold(f"{name}: {value}")
    return fold(f"{name}:: {base64.b64encode(value.encode()).decode()}")


def person(rng, i):
    first = rng.choice(NAMES)
    last = rng.choice(WORDS).capitalize()
    rec = f"dn: uid=user{i},ou=people,o=northwind\n"
    rec += "objectClass: top\nobjectClass: person\nobjectClass: inetOrgPerson\n"
    rec += f"uid: user{i}\n" + attr("cn", f"{first} {last}") + f"sn: {last}\n"
    rec += f"mail: user{i}@northwind.example\ntelephoneNumber: +1 555 {i % 10000:04d}\n"
    if rng.random() < 0.8:
        rec += attr("description", " ".join(rng.choice(WORDS) for _ in range(rng.randint(20, 70))))
    if rng.random() < 0.15:
        photo = bytes(rng.getrandbits(8) for _ in range(rng.randint(200, 900)))
        rec += fold("jpegPhoto:: " + base64.b64encode(photo).decode())
    return rec


def definition(rng, i):
    kind = rng.random()
    if kind < 0.5:
        q = rng.choice("'\"")
        user = f" type={q}user{q}" if rng.random() < 0.5 else ""
        text = (f"<map source={q}DB{i % 7}:SCHEMA:T{i}{q} target={q}Q.{rng.choice(WORDS).upper()}.{i}{q}"
                f"{user} format={q}fixed{q}>")
    elif kind < 0.75:
        text = f"<FunctionLibrary name='lib{i}' path='/opt/axt/lib/libfn{i}.so'>"
    else:
        fields = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 12)))
        text = f"<Form name='form{i}' fields='{fields}'>"
    return attr("definition", text)


def metadata(rng, i):
    rec = f"dn: cn=meta#{i},ou=meta,o=northwind\n"
    rec += f"objectClass: top\nobjectClass: MetaDataEntry\ncn: meta#{i}\n"
    rec += f"version: {rng.choice([300, 310, 310, 330])}\n"
    for _ in range(rng.randint(1, 2)):
        rec += definition(rng, i)
    return rec


def message_map(rng, i):
    rec = f"dn: cn=map{i},ou=maps,o=northwind\nobjectClass: top\nobjectClass: MessageMap\n"
    return rec + f"cn: map{i}\nversion: 300\nmapdesc: T{i};Q.{i};DB;\n"


def main():
    out_path, size_mb = sys.argv[1], float(sys.argv[2])
    target = int(size_mb * 1024 * 1024)
    rng = random.Random(310)
    written = 0
    i = 0
    with open(out_path, "w", encoding="utf-8", newline="\n") as out:
        out.write("# release 310 export (generated)\nversion: 1\n\n")
        while written < target:
            r = rng.random()
            if r < 0.70:
                rec = person(rng, i)
            elif r < 0.90:
                rec = metadata(rng, i)
            else:
                rec = message_map(rng, i)
            if i % 1000 == 0:
                rec = f"# batch {i // 1000}\n" + rec
            rec += "\n"
            out.write(rec)
            written += len(rec.encode())
            i += 1
    print(f"{out_path}: {i} records, {written / 1048576:.1f} MB")


if __name__ == "__main__":
    main()

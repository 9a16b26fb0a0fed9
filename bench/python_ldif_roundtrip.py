#!/usr/bin/python3
"""Parse-and-write round trip of an LDIF file with python-ldap's ldif module: the script a
user would otherwise write. Usage: python_ldif_roundtrip.py INPUT OUTPUT"""
import sys

import ldif


class RoundTrip(ldif.LDIFParser):
    def __init__(self, input_file, output_file):
        super().__init__(input_file)
        self.writer = ldif.LDIFWriter(output_file, cols=76)

    def handle(self, dn, entry):
        self.writer.unparse(dn, entry)


with open(sys.argv[1], "rb") as source, open(sys.argv[2], "w") as target:
    RoundTrip(source, target).parse()

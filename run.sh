#!/usr/bin/env bash
# The main job on the bundled sample: installs what is missing, builds, migrates a
# release-310 LDIF file to release 320, then opens the result as a flat-file directory
# with dirtool (no server needed): searches and sorts it, changes it, shows the saved file.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B build/release "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j 2 --target ldifmigrate dirtool >/dev/null

mkdir -p out
input=samples/release310.ldif
output=out/release320.ldif
build/release/bin/ldifmigrate "$input" "$output"
echo "migrated $input -> $output"
echo "--- $output"
cat "$output"

# The migrated file is the directory. The path after FILE:/// is relative to this folder
# (FILE:////abs/path names an absolute one). Each run loads the file and writes it back
# when it changed something, keeping the previous contents as $output.txt.
dirtool() { build/release/bin/dirtool -H "FILE:///$output" "$@"; }
step() { printf '\n=== %s\n' "$1"; }
show() {
    local line='$ dirtool' arg
    for arg in "$@"; do
        if [[ $arg =~ ^[A-Za-z0-9=,.:_/@+-]+$ ]]; then line+=" $arg"; else line+=" '$arg'"; fi
    done
    echo "$line"
    dirtool "$@"
}

step "The metadata entries, sorted by name"
show search ou=meta,o=northwind one '(objectclass=MetaDataEntry)' cn version --sort cn

step "The LDAP tools' habits: -b, -s and -LLL search; -n shows what a change file would do"
show -x -b o=northwind -s one -LLL '(ou=*)' ou
show -n -f samples/changes.ldif

step "Add two people from an LDIF file"
show add samples/people.ldif

step "Everyone, sorted by surname, last first (non-ASCII values come out in base64)"
show search ou=people,o=northwind one '(objectclass=person)' cn sn title --sort sn:desc

step "Change an entry: the changes come on standard input"
printf 'replace: title\ntitle: Head dispatcher\n-\nadd: mail\nmail: jchen@northwind.example\n' |
    show modify uid=jchen,ou=people,o=northwind
show read uid=jchen,ou=people,o=northwind

step "Rename one entry, move another below ou=meta, delete a third"
show rename uid=jchen,ou=people,o=northwind uid=jiachen
show rename uid=aokafor,ou=people,o=northwind uid=aokafor ou=meta,o=northwind
show delete uid=mlopez,ou=people,o=northwind
show compare uid=jiachen,ou=people,o=northwind title 'Head dispatcher'

step "A failure names what failed, why, and the LDAP result"
show read uid=mlopez,ou=people,o=northwind || echo "(exit status $?)"

step "The saved file"
cat "$output"

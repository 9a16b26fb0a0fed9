#!/usr/bin/env bash
# The main job on the bundled sample: installs what is missing, builds, and migrates a
# release-310 LDIF file to release 320.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B build/release "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j 2 --target ldifmigrate >/dev/null

mkdir -p out
input=samples/release310.ldif
output=out/release320.ldif
build/release/bin/ldifmigrate "$input" "$output"
echo "migrated $input -> $output"
echo "--- $output"
cat "$output"

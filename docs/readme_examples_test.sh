#!/usr/bin/env bash
# Runs the README's flat-file examples ("## dirtool in ten examples", first ```sh block)
# exactly as written, in a scratch folder holding a copy of the samples, with the built
# programs first on the PATH. Any command that fails fails the test.
set -euo pipefail
readme=$1 bin=$2 samples=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$samples" "$work/samples"
awk '/^## dirtool in ten examples/ { section = 1 }
     section && /^```/ { if (block) exit; block = 1; next }
     block { print }' "$readme" >"$work/examples.sh"
count=$(grep -c '^dirtool\|| *dirtool' "$work/examples.sh" || true)
if [ "$count" -lt 10 ]; then
    echo "expected ten dirtool examples in $readme, found $count" >&2
    exit 1
fi
cd "$work"
unset DIRTOOL_HOST
PATH="$bin:$PATH" bash -euo pipefail -x examples.sh

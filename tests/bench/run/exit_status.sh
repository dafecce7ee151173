#!/usr/bin/env bash
# How often the program ends as it should: RUNS headless runs over the bundled gallery, each
# expected to exit 0 with the portrait written; prints the count of each exit status seen.
#   tests/bench/run/exit_status.sh [RUNS [PROGRAM]]
set -u
runs="${1:-200}"
program="${2:-$(dirname "$0")/../../../build/bin/norvo}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
declare -A seen=()
start=$SECONDS
for ((i = 1; i <= runs; i++)); do
    "$program" --offline --body "Grace Hopper" --face "Eileen Collins" \
        --output "$out/portrait.jpg" --force >/dev/null 2>"$out/stderr"
    status=$?
    [ -s "$out/portrait.jpg" ] || status="$status (no portrait)"
    seen["$status"]=$((${seen["$status"]:-0} + 1))
    rm -f "$out/portrait.jpg"
done
echo "$runs runs in $((SECONDS - start)) s"
for status in "${!seen[@]}"; do
    echo "  exit $status: ${seen[$status]}"
done
[ "${seen[0]:-0}" -eq "$runs" ]

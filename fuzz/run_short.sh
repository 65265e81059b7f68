#!/usr/bin/env bash
# Builds every fuzz target and runs each for a short while from the seed
# corpus. Exits non-zero when a build fails or a target reports a finding;
# the crashing inputs are kept under build-fuzz/artifacts.
# Usage: fuzz/run_short.sh [seconds-per-target]
set -euo pipefail

fuzz_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$fuzz_dir")"
seconds="${1:-10}"
out="$root/build-fuzz"
artifacts="$out/artifacts"

"$fuzz_dir/build.sh" "$out"
mkdir -p "$artifacts"

status=0
for target in expression annotation ortholog parameter number decoding; do
    corpus="$(mktemp -d)"
    cp "$fuzz_dir/corpus/$target"/* "$corpus"/
    log="$out/${target}_fuzz.log"
    if "$out/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$artifacts/${target}_" "$corpus" >"$log" 2>&1; then
        runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)"
        echo "${target}_fuzz: ${seconds} s, ${runs:-?} runs, no finding"
    else
        echo "${target}_fuzz: FINDING (log $log, input under $artifacts)"
        tail -n 40 "$log"
        status=1
    fi
    rm -rf "$corpus"
done
exit "$status"

#!/usr/bin/env bash
# The standard benchmark: generates whole-transcriptome-sized datasets with the
# example generator (fixed seeds), runs the tool's phases on them with a time
# report, in the exact mode and with fastDensity = yes, then the E-step kernel
# benchmark. Usage: bench/run_benchmark.sh [build-folder]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-bench}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORTHOMIX_BUILD_BENCHMARKS=ON -DORTHOMIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target orthomix orthomix_generate orthomix_profile \
    orthomix_bench_estep orthomix_bench_gzip >/dev/null

run_size() {
    local k="$1"
    local data="$build/bench-data-k$k"
    if [ ! -f "$data/ParameterSetting.txt" ]; then
        mkdir -p "$data"
        "$build/tools/orthomix_generate" --out "$data" --seed 7 --k "$k" --human-genes 20000 --mouse-genes 18000 \
            --human-samples 80 --mouse-samples 60 --pairs 15000 --parameter-file --runs 3 >/dev/null
    fi
    mkdir -p "$data/out"
    for mode in exact fast; do
        local parameters="$data/ParameterSetting-$mode.txt"
        sed '/^fastDensity/d' "$data/ParameterSetting.txt" > "$parameters"
        [ "$mode" = fast ] && echo "fastDensity = yes" >> "$parameters"
        echo
        echo "== 20,000 x 80 human, 18,000 x 60 mouse, 15,000 pairs, k = $k, nMaxAlgRun = 3, $mode mode"
        (cd "$data" && "$build/bench/orthomix_profile" "$(basename "$parameters")")
    done
}

run_size 20
run_size 50

echo
echo "== E-step of one pair at k = 20 (80 and 60 columns), densities included"
"$build/bench/orthomix_bench_estep"

echo
echo "== Reading a 20,000 x 80 expression matrix gzipped and plain"
"$build/bench/orthomix_bench_gzip"

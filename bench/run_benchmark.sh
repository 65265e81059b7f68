#!/usr/bin/env bash
# The standard benchmark. Generates two transcriptome-sized datasets with the
# example generator (fixed seeds, planted k = 20 and k = 50) and, on each,
# times the tool in the exact and the fast mode with one thread and with every
# thread, against the peer (scikit-learn's diagonal Gaussian mixture per
# organism, bench/peer_gmm.py) fitted in the same run to the same standardised
# matrices with the same k and number of starts; prints each time over the
# peer's. Then a k scan in the fast mode (k = 20, 50, 100, 200, one
# repetition, each on a dataset of the same size with k planted clusters) and
# the E-step kernel benchmark. Installs nothing: without
# scikit-learn the peer is skipped with a message.
# Usage: bench/run_benchmark.sh [build-folder]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-bench}"
threads_all="$(nproc 2>/dev/null || echo 2)"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORTHOMIX_BUILD_BENCHMARKS=ON -DORTHOMIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$threads_all" --target orthomix orthomix_generate orthomix_profile orthomix_bench_estep \
    orthomix_bench_gzip >/dev/null

# The first Python that has scikit-learn (Debian's python3-sklearn installs into /usr/bin/python3).
peer_python=""
for candidate in python3 /usr/bin/python3; do
    if command -v "$candidate" >/dev/null 2>&1 && "$candidate" -c "import sklearn" 2>/dev/null; then
        peer_python="$candidate"
        break
    fi
done
[ -n "$peer_python" ] || echo "scikit-learn is not installed (Debian: python3-sklearn): the peer is skipped"

field() { sed -n "s/.*[ ]$1=\([^ ]*\).*/\1/p" <<<"$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

# A copy of the dataset's parameter file with other settings and its own output folder.
parameters() {
    local data="$1" name="$2"
    shift 2
    mkdir -p "$data/out-$name"
    sed -e '/^fastDensity/d' -e '/^threads/d' -e "s#= out/#= out-$name/#" "$data/ParameterSetting.txt" > "$data/P-$name.txt"
    for line in "$@"; do
        sed -i "/^${line%% =*} =/d" "$data/P-$name.txt"
        echo "$line" >> "$data/P-$name.txt"
    done
    echo "P-$name.txt"
}

# The summary line of a profiled run; a run that fails says why on its own line.
profile() {
    local data="$1" file="$2" summary
    summary="$( (cd "$data" && "$build/bench/orthomix_profile" "$file" 2> "${file%.txt}.log") | tail -1)" || true
    if ! grep -q "^summary" <<<"$summary"; then
        echo "run of $data/$file failed: $(head -1 "$data/${file%.txt}.log")" >&2
    fi
    echo "$summary"
}

generate() {
    local k="$1" data="$build/bench-data-k$1"
    if [ ! -f "$data/ParameterSetting.txt" ]; then
        mkdir -p "$data"
        "$build/tools/orthomix_generate" --out "$data" --seed 7 --k "$k" --human-genes 20000 --mouse-genes 18000 \
            --human-samples 80 --mouse-samples 60 --pairs 15000 --parameter-file --runs 3 >/dev/null
    fi
    echo "$data"
}

compare_size() {
    local k="$1" data
    data="$(generate "$k")"
    echo
    echo "== 20,000 x 80 human, 18,000 x 60 mouse, 15,000 pairs, k = $k, nMaxAlgRun = 3"
    local peer_seconds=0
    if [ -n "$peer_python" ]; then
        local peer
        peer="$(cd "$data" && "$peer_python" "$root/bench/peer_gmm.py" ParameterSetting.txt)"
        peer_seconds="$(field seconds "$peer")"
        echo "peer (scikit-learn GaussianMixture, diagonal, each organism, $(field fits "$peer") fits):" \
            "$peer_seconds s, $(field iterations "$peer") iterations"
    fi
    printf "%-6s %-8s %8s %8s %9s %8s %10s %10s %8s %8s %8s %8s %7s %7s %7s\n" mode threads "run s" "fit s" attempts \
        iter "s/iter" "floor" "table" "E-step" "M-step" "reassign" "MB" "run/pr" "fit/pr"
    for mode in exact fast; do
        local switch="fastDensity = no"
        [ "$mode" = fast ] && switch="fastDensity = yes"
        for threads in 1 "$threads_all"; do
            local summary
            summary="$(profile "$data" "$(parameters "$data" "$mode-$threads" "$switch" "threads = $threads")")"
            printf "%-6s %-8s %8s %8s %4s (%s) %8s %10s %10s %8s %8s %8s %8s %7s %7s %7s\n" "$mode" "$threads" \
                "$(field run "$summary")" "$(field fitting "$summary")" "$(field attempts "$summary")" \
                "$(field accepted "$summary")" "$(field iterations "$summary")" "$(field perIteration "$summary")" \
                "$(field floor "$summary")" "$(field pairTable "$summary")" "$(field eStep "$summary")" \
                "$(field mStep "$summary")" "$(field reassignment "$summary")" "$(field peakMB "$summary")" \
                "$(ratio "$(field run "$summary")" "$peer_seconds")" "$(ratio "$(field fitting "$summary")" "$peer_seconds")"
        done
    done
    local same=yes
    for file in human_clusters.txt mouse_clusters.txt; do
        cmp -s "$data/out-exact-1/$file" "$data/out-fast-1/$file" || same=no
        cmp -s "$data/out-exact-1/$file" "$data/out-exact-$threads_all/$file" || same="no (threads differ!)"
    done
    echo "memberships of the fast mode identical to the exact mode's: $same"
    echo "(s/iter and the phases: mean seconds per EM iteration, summed over attempts that run at once;"
    echo " floor: one exp per kept gene, cluster and column; run/pr and fit/pr: whole run and fitting over the peer)"
}

compare_size 20
compare_size 50

# Each k on a dataset of the same size with k planted clusters: with far
# fewer clusters than planted, every pair can end in scatter, with far more,
# clusters are left without ortholog weight.
echo
echo "== k scan, fast mode, one repetition, each k on a dataset of the same size with k planted clusters, $threads_all threads"
printf "%-5s %9s %8s %10s %10s %8s %8s %8s %8s\n" k "fit s" iter "s/iter" "vs k=50" table E-step M-step reassign
base=""
scan=()
for k in 20 50 100 200; do
    data="$(generate "$k")"
    scan+=("$k $(profile "$data" "$(parameters "$data" "scan" "fastDensity = yes" "nMaxAlgRun = 1")")")
done
for entry in "${scan[@]}"; do
    [ "${entry%% *}" = 50 ] && base="$(field perIteration "$entry")"
done
for entry in "${scan[@]}"; do
    printf "%-5s %9s %8s %10s %10s %8s %8s %8s %8s\n" "${entry%% *}" "$(field fitting "$entry")" \
        "$(field iterations "$entry")" "$(field perIteration "$entry")" "$(ratio "$(field perIteration "$entry")" "$base")" \
        "$(field pairTable "$entry")" "$(field eStep "$entry")" "$(field mStep "$entry")" "$(field reassignment "$entry")"
done

echo
echo "== E-step of one pair at k = 20 (80 and 60 columns), densities included"
"$build/bench/orthomix_bench_estep"

echo
echo "== Reading a 20,000 x 80 expression matrix gzipped and plain"
"$build/bench/orthomix_bench_gzip"

#!/usr/bin/env bash
# The standard benchmark. Generates three transcriptome-sized datasets with
# the example generator (fixed seeds; 80 and 60 samples with planted k = 20
# and k = 50, and 16 and 6 samples, the size of real data, with k = 20) and,
# on each, times the tool in the exact and the fast mode with one thread and
# with every thread, against the peer (scikit-learn's diagonal Gaussian
# mixture per organism, bench/peer_gmm.py) fitted in the same run to the same
# standardised matrices with the same k and number of starts; prints each
# time over the peer's, and each fast-mode phase with one thread over its
# floor (the dense products of its shapes, timed in the same run by
# orthomix_profile). Then a k scan in the fast mode (k = 20, 50, 100, 200, one
# repetition, each on a dataset of the same size with k planted clusters) and
# the E-step kernel benchmark. Installs nothing: without
# scikit-learn the peer is skipped with a message.
# With --wide, only the wide-data benchmark (see wide() below; about five
# minutes, most of them the peer's, and 550 MB of generated text).
# Usage: bench/run_benchmark.sh [--wide] [build-folder]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
only_wide=""
if [ "${1:-}" = --wide ]; then
    only_wide=yes
    shift
fi
build="${1:-$root/build-bench}"
mkdir -p "$build" && build="$(cd "$build" && pwd)"  # the runs below change folder
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

# A generated dataset in the build folder, made once and reused: 15,000
# ortholog pairs, fixed seed. Arguments: folder name, planted k, human and
# mouse genes, human and mouse samples, nMaxAlgRun.
dataset() {
    local data="$build/$1"
    # The generator writes the parameter file last: its presence marks a complete dataset.
    if [ ! -f "$data/ParameterSetting.txt" ]; then
        mkdir -p "$data"
        "$build/tools/orthomix_generate" --out "$data" --seed 7 --k "$2" --human-genes "$3" --mouse-genes "$4" \
            --human-samples "$5" --mouse-samples "$6" --pairs 15000 --parameter-file --runs "$7" >/dev/null
    fi
    echo "$data"
}

# The standard size: 20,000 x 80 human, 18,000 x 60 mouse, k planted clusters.
generate() { dataset "bench-data-k$1" "$1" 20000 18000 80 60 3; }

# The peer's line on a dataset, its k-means starts timed apart, or nothing
# when scikit-learn is missing.
peer_line() {
    [ -n "$peer_python" ] || return 0
    (cd "$1" && "$peer_python" "$root/bench/peer_gmm.py" --time-starts ParameterSetting.txt)
}

print_peer() {
    echo "peer (scikit-learn GaussianMixture, diagonal, each organism, $(field fits "$1") fits):" \
        "$(field seconds "$1") s, $(field iterations "$1") iterations"
    local starts
    starts="$(field kmeans "$1")"
    [ -n "$starts" ] || return 0
    echo "  of which about $starts s its k-means starts (the same k-means fits timed apart) and" \
        "$(awk -v s="$(field seconds "$1")" -v k="$starts" 'BEGIN { printf "%.3f", s - k }') s its EM iterations"
}

# A phase's time over its fast-mode floor, from a summary line.
floor_ratio() { field "${1}Ratio" "$2"; }

# Both modes with one thread and with every thread against the peer on one dataset.
compare() {
    local data="$1" title="$2"
    echo
    echo "== $title"
    local peer_seconds=0 peer fast_one="" fast_all=""
    peer="$(peer_line "$data")"
    if [ -n "$peer" ]; then
        peer_seconds="$(field seconds "$peer")"
        print_peer "$peer"
    fi
    printf "%-6s %-8s %8s %8s %9s %8s %10s %10s %8s %8s %8s %8s %7s %7s %7s %6s %6s %6s %6s\n" mode threads "run s" \
        "fit s" attempts iter "s/iter" "floor" "table" "E-step" "M-step" "reassign" "MB" "run/pr" "fit/pr" \
        "E/fl" "M/fl" "R/fl" "it/fl"
    for mode in exact fast; do
        local switch="fastDensity = no"
        [ "$mode" = fast ] && switch="fastDensity = yes"
        for threads in 1 "$threads_all"; do
            local summary floors="- - - -"
            summary="$(profile "$data" "$(parameters "$data" "$mode-$threads" "$switch" "threads = $threads")")"
            [ "$mode" = fast ] && fast_all="$summary"
            if [ "$mode" = fast ] && [ "$threads" = 1 ]; then
                fast_one="$summary"
                floors="$(floor_ratio eStep "$summary") $(floor_ratio mStep "$summary")"
                floors="$floors $(floor_ratio reassignment "$summary") $(floor_ratio iteration "$summary")"
            fi
            # shellcheck disable=SC2086  # the four ratios are four columns
            printf "%-6s %-8s %8s %8s %4s (%s) %8s %10s %10s %8s %8s %8s %8s %7s %7s %7s %6s %6s %6s %6s\n" "$mode" \
                "$threads" "$(field run "$summary")" "$(field fitting "$summary")" "$(field attempts "$summary")" \
                "$(field accepted "$summary")" "$(field iterations "$summary")" "$(field perIteration "$summary")" \
                "$(field floor "$summary")" "$(field pairTable "$summary")" "$(field eStep "$summary")" \
                "$(field mStep "$summary")" "$(field reassignment "$summary")" "$(field peakMB "$summary")" \
                "$(ratio "$(field run "$summary")" "$peer_seconds")" \
                "$(ratio "$(field fitting "$summary")" "$peer_seconds")" $floors
        done
    done
    local same=yes
    for file in human_clusters.txt mouse_clusters.txt; do
        cmp -s "$data/out-exact-1/$file" "$data/out-fast-1/$file" || same=no
        cmp -s "$data/out-exact-1/$file" "$data/out-exact-$threads_all/$file" || same="no (threads differ!)"
    done
    echo "memberships of the fast mode identical to the exact mode's: $same"
    if [ -n "$(field kmeans "$peer")" ]; then
        # The peer's EM time over its iterations: its fits are one organism each.
        local peer_iteration
        peer_iteration="$(awk -v s="$peer_seconds" -v k="$(field kmeans "$peer")" -v n="$(field iterations "$peer")" \
            'BEGIN { if (n > 0) printf "%.5f", (s - k) / n; else printf "-" }')"
        echo "one EM iteration: the fast mode with $threads_all threads $(field perIteration "$fast_all") s" \
            "(both organisms and the pairs, $(field iterations "$fast_all") iterations in all)," \
            "the peer $peer_iteration s (one organism, $(field iterations "$peer") iterations in all)"
    fi
    echo "fast-mode floors per iteration (dense products of the run's shapes, Eigen, one thread, best of a few rounds):"
    echo "  E-step $(field floorEStep "$fast_one") s (densities $(field floorDensities "$fast_one") s + pairs" \
        "$(field floorPairs "$fast_one") s), M-step $(field floorMStep "$fast_one") s, reassignment" \
        "$(field floorReassignment "$fast_one") s, iteration $(field floorIteration "$fast_one") s"
    echo "(s/iter: the fitting's phases over its EM iterations, every attempt; the phases: mean seconds per"
    echo " iteration of the accepted attempts, the M-step per M-step (one more than iterations); both summed over"
    echo " attempts that run at once;"
    echo " floor: one exp per kept gene, cluster and column; run/pr and fit/pr: whole run and fitting over the peer;"
    echo " E/fl, M/fl, R/fl, it/fl: E-step, M-step, reassignment and whole iteration over their fast-mode floors,"
    echo " shown for the fast mode with threads = 1 only: with more threads the phase times are summed over"
    echo " attempts running at once, and the floors are timed on one thread)"
}

compare_size() {
    compare "$(generate "$1")" "20,000 x 80 human, 18,000 x 60 mouse, 15,000 pairs, k = $1, nMaxAlgRun = 3"
}

# Seconds since a time taken with `date +%s.%N`.
elapsed() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# Wide data, as pseudo-bulk from single-cell studies gives: 20,000 genes x
# 2,000 samples per organism, k = 50, the fast mode with every thread, one
# repetition. The peer gets at most peer_limit seconds, its reading included.
wide() {
    local peer_limit=600 data began summary
    echo
    echo "== wide data: 20,000 x 2,000 human and mouse, 15,000 pairs, k = 50, nMaxAlgRun = 1, fast mode," \
        "$threads_all threads"
    began="$(date +%s.%N)"
    if [ ! -f "$build/bench-data-wide/ParameterSetting.txt" ]; then
        data="$(dataset bench-data-wide 50 20000 20000 2000 2000 1)"
        echo "generated in $(elapsed "$began") s ($(du -sh "$data" | cut -f1) of text, kept for the next run)"
    fi
    data="$(dataset bench-data-wide 50 20000 20000 2000 2000 1)"
    began="$(date +%s.%N)"
    summary="$(profile "$data" "$(parameters "$data" wide "fastDensity = yes" "threads = $threads_all")")"
    local per_iteration floor shared
    per_iteration="$(field iterationOfSteps "$summary")"
    floor="$(field floorIteration "$summary")"
    shared="$(awk -v f="$floor" -v t="$threads_all" 'BEGIN { printf "%.5f", f / t }')"
    echo "run $(field run "$summary") s (fitting $(field fitting "$summary") s), $(field attempts "$summary") attempts" \
        "($(field accepted "$summary") accepted), $(field iterations "$summary") iterations;" \
        "profile with floors $(elapsed "$began") s"
    echo "per iteration of the accepted attempt, $(field acceptedIterations "$summary") iterations, steps summed:" \
        "$per_iteration s: E-step $(field eStep "$summary") s, M-step $(field mStep "$summary") s (per M-step," \
        "$(field mSteps "$summary") of them), reassignment $(field reassignment "$summary") s, pair table" \
        "$(field pairTable "$summary") s; the fitting over every attempt's iterations: $(field perIteration "$summary") s"
    echo "matrix-product floor per iteration, one thread: $floor s (E-step $(field floorEStep "$summary") s," \
        "M-step $(field floorMStep "$summary") s, reassignment $(field floorReassignment "$summary") s)"
    echo "iteration over the floor: $(ratio "$per_iteration" "$floor");" \
        "over the floor shared by $threads_all threads ($shared s): $(ratio "$per_iteration" "$shared")"
    echo "peak resident memory $(field peakMB "$summary") MB = $(ratio "$(field peakMB "$summary")" \
        "$(field matrixMB "$summary")") x the two expression matrices as doubles ($(field matrixMB "$summary") MB)"
    if [ -n "$peer_python" ]; then
        local peer status=0
        began="$(date +%s.%N)"
        peer="$(cd "$data" && timeout "$peer_limit" "$peer_python" "$root/bench/peer_gmm.py" ParameterSetting.txt)" ||
            status=$?
        if [ "$status" = 124 ]; then
            echo "peer skipped: it did not finish within $peer_limit s (reading the text included)"
        elif [ "$status" != 0 ]; then
            echo "peer failed (exit status $status)"
        else
            print_peer "$peer"
            echo "peer's whole run with reading $(elapsed "$began") s; the tool's run over the peer's fitting:" \
                "$(ratio "$(field run "$summary")" "$(field seconds "$peer")"), fitting over fitting:" \
                "$(ratio "$(field fitting "$summary")" "$(field seconds "$peer")")"
        fi
    fi
}

if [ -n "$only_wide" ]; then
    wide
    exit 0
fi

compare_size 20
compare_size 50
compare "$(dataset bench-data-real-size 20 20000 18000 16 6 3)" \
    "real-data size: 20,000 x 16 human, 18,000 x 6 mouse, 15,000 pairs, k = 20, nMaxAlgRun = 3"

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

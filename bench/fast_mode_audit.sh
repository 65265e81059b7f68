#!/usr/bin/env bash
# Runs the exact and the fast mode on many small generated datasets (varied
# seeds, gene counts, sample counts and k) and counts those where the fast
# mode's memberships equal the exact mode's, both files byte for byte. With a
# second binary, also counts where each mode writes the same membership files
# as the first's (an arithmetic change must leave the exact mode alone; one
# meant to keep the fast mode's bits must leave that too). For each
# dataset where the memberships differ, prints the first progress line where
# the two modes part: an exact-mode attempt rejected there (its parameters no
# longer numbers) means its densities left the range of numbers, which the
# fast mode's do not; otherwise look for a collapsed variance.
# Usage: bench/fast_mode_audit.sh ORTHOMIX GENERATOR [COUNT] [OTHER_ORTHOMIX]
set -euo pipefail
tool="$1" generator="$2" count="${3:-40}" other="${4:-}"
# The runs start in each dataset's folder: a binary given by a relative path
# is found from here.
absolute() { if [[ "$1" == */* ]]; then realpath "$1"; else command -v "$1"; fi; }
tool="$(absolute "$tool")" generator="$(absolute "$generator")"
[ -z "$other" ] || other="$(absolute "$other")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

run() {  # binary folder mode
    local binary="$1" folder="$2" mode="$3"
    mkdir -p "$folder/out-$mode"
    sed -e "s#= out/#= out-$mode/#" "$folder/ParameterSetting.txt" > "$folder/P-$mode.txt"
    echo "fastDensity = $([[ "$mode" == *fast ]] && echo yes || echo no)" >> "$folder/P-$mode.txt"
    echo "verbose = yes" >> "$folder/P-$mode.txt"
    (cd "$folder" && "$binary" "P-$mode.txt" > "out-$mode/console.txt" 2> "out-$mode/progress.txt") ||
        echo "failed" > "$folder/out-$mode/status"
}

# The progress lines of a run without their seconds.
progress() { { grep '^repetition' "$1/out-$2/progress.txt" || true; } | cut -d, -f1; }

# The first progress line where the exact and the fast run part: "exact line | fast line".
parting() {
    paste -d'|' <(progress "$1" exact) <(progress "$1" fast) |
        awk -F'|' '!found && $1 != $2 { print $1 " | " $2; found = 1 }'
}

same() {  # folder modeA modeB
    for file in human_clusters.txt mouse_clusters.txt; do
        [ -f "$1/out-$2/$file" ] && cmp -s "$1/out-$2/$file" "$1/out-$3/$file" || return 1
    done
}

ks=(3 5 8 12 20)
agree=0 exactSame=0 fastSame=0 failed=0 exactRejected=0
for ((i = 1; i <= count; i++)); do
    k="${ks[$((i % ${#ks[@]}))]}"
    folder="$work/d$i"
    "$generator" --out "$folder" --seed "$i" --k "$k" --human-genes $((1500 + 97 * i % 1500)) \
        --mouse-genes $((1400 + 89 * i % 1400)) --human-samples $((6 + 7 * i % 35)) \
        --mouse-samples $((4 + 5 * i % 27)) --parameter-file --runs 3 > /dev/null
    run "$tool" "$folder" exact
    run "$tool" "$folder" fast
    [ -f "$folder/out-exact/status" ] || [ -f "$folder/out-fast/status" ] && failed=$((failed + 1))
    if same "$folder" exact fast; then
        agree=$((agree + 1))
    else
        where="$(parting "$folder")"
        echo "dataset $i (k = $k): memberships differ; the modes part at: $where"
        exactLine="${where%% | *}" fastLine="${where#* | }"
        if [[ "$exactLine" == *rejected:* && "$fastLine" != *rejected:* ]]; then
            exactRejected=$((exactRejected + 1))
        fi
    fi
    if [ -n "$other" ]; then
        run "$other" "$folder" other-exact
        run "$other" "$folder" other-fast
        if same "$folder" exact other-exact; then exactSame=$((exactSame + 1)); else echo "dataset $i: exact modes differ"; fi
        if same "$folder" fast other-fast; then fastSame=$((fastSame + 1)); else echo "dataset $i: fast modes differ"; fi
    fi
done
echo "fast mode memberships equal to the exact mode's on $agree of $count datasets ($failed with a failed run)"
echo "of the $((count - agree)) that differ, $exactRejected part where the exact mode rejects an attempt the fast mode keeps"
[ -z "$other" ] || echo "exact mode identical to the other binary's on $exactSame of $count datasets," \
    "fast mode on $fastSame"

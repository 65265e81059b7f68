#!/usr/bin/env bash
# The Python module against the command line on a transcriptome-sized dataset
# (20,000 x 80 human, 18,000 x 60 mouse, 15,000 pairs, planted k = 20, fit at
# k = 20, three repetitions, fast mode): median wall seconds of five rounds.
# The interpreter is $PYTHON (default python3); it needs NumPy and pandas.
# Usage: bench/python_timing.sh [build-folder]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-bench}"
mkdir -p "$build" && build="$(cd "$build" && pwd)"
python="$(command -v "${PYTHON:-python3}")"
threads="$(nproc 2>/dev/null || echo 2)"

if ! "$python" -c "import numpy, pandas" 2>/dev/null; then
    echo "$python cannot import numpy and pandas: the Python timing is skipped (set PYTHON)"
    exit 0
fi
# A folder that is already configured (such as build/) is used as it is.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORTHOMIX_BUILD_TESTS=OFF \
        -DPython_EXECUTABLE="$python" >/dev/null
fi
cmake --build "$build" -j "$threads" --target orthomix orthomix_generate _core >/dev/null

data="$build/bench-data-k20"
if [ ! -f "$data/ParameterSetting.txt" ]; then
    mkdir -p "$data"
    "$build/tools/orthomix_generate" --out "$data" --seed 7 --k 20 --human-genes 20000 --mouse-genes 18000 \
        --human-samples 80 --mouse-samples 60 --pairs 15000 --parameter-file --runs 3 >/dev/null
fi
sed -e '/^fastDensity/d' -e '/^threads/d' "$data/ParameterSetting.txt" > "$data/P-python.txt"
printf 'fastDensity = yes\nthreads = %s\n' "$threads" >> "$data/P-python.txt"

echo
echo "== Python module against the command line: k = 20, 3 repetitions, fast mode, $threads threads"
(cd "$data" && PYTHONPATH="$build/python" "$python" "$root/bench/python_timing.py" "$build/orthomix" P-python.txt 5)

#!/usr/bin/env bash
# Builds the libFuzzer targets with the address and undefined-behaviour
# sanitisers, outside the CMake build. Usage: fuzz/build.sh [output-directory]
set -euo pipefail

fuzz_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$fuzz_dir")"
out="${1:-$root/build-fuzz}"
mkdir -p "$out"

probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer - -o "$out/probe" >/dev/null 2>&1; then
    echo "fuzz/build.sh: clang++ with the libFuzzer runtime is needed (Debian: clang, libclang-rt-dev)" >&2
    exit 1
fi
rm -f "$out/probe"

flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined,float-cast-overflow -fno-sanitize-recover=all
       -ffp-contract=off -Wall -Wextra -Wpedantic -Werror -I"$root/src" -isystem /usr/include/eigen3 -pthread
       -DORTHOMIX_VERSION='"fuzz"')
common=("$root/src/io/tab_separated_text.cpp" "$root/src/io/number_parsing.cpp" "$root/src/io/input_decoding.cpp"
        "$root/src/support/message_text.cpp" "$root/src/support/huge_pages.cpp" "$root/src/records/identifiers.cpp"
        "$root/src/records/missing_values.cpp" "$root/src/support/thread_pool.cpp")

build() {
    local name="$1"
    shift
    echo "building $name"
    clang++ "${flags[@]}" "$fuzz_dir/$name.cpp" "$@" "${common[@]}" -lz -o "$out/$name"
}

# Two at a time: the machine is shared.
pending=()
finish() {
    local pid
    for pid in "${pending[@]}"; do wait "$pid"; done
    pending=()
}
build expression_fuzz "$root/src/io/expression_reader.cpp" & pending+=($!)
build annotation_fuzz "$root/src/io/annotation_reader.cpp" & pending+=($!)
finish
build ortholog_fuzz "$root/src/io/ortholog_reader.cpp" "$root/src/records/orthologs.cpp" & pending+=($!)
build parameter_fuzz "$root/src/io/parameter_file.cpp" "$root/src/driver/settings/settings.cpp" "$root/src/io/k_value_list.cpp" \
    "$root/src/support/json_writer.cpp" & pending+=($!)
finish
build number_fuzz & pending+=($!)
build decoding_fuzz & pending+=($!)
finish
# The whole run in memory: every source but the entry point and command line,
# the phases that read and write files (run.cpp, merge_run.cpp, result_files.cpp) and the report, whose page
# the CMake build compiles in (and those in common).
mapfile -t core < <(find "$root/src" -name '*.cpp' ! -path '*/driver/main.cpp' ! -path '*/driver/command_line.cpp' \
    ! -path '*/driver/run.cpp' ! -path '*/driver/merge_run.cpp' ! -path '*/driver/results/report.cpp' ! -path '*/driver/results/result_files.cpp' \
    ! -name tab_separated_text.cpp \
    ! -name number_parsing.cpp ! -name input_decoding.cpp ! -name message_text.cpp ! -name huge_pages.cpp \
    ! -name identifiers.cpp ! -name missing_values.cpp ! -name thread_pool.cpp | sort)
build pipeline_fuzz "${core[@]}" & pending+=($!)
finish

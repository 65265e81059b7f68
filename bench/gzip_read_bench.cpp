// Reading a gzipped expression matrix against the same matrix as plain text:
// 20,000 genes by 80 samples, both files read in turn in the same run, so
// that the ratio holds on a machine whose load changes.
// Usage: orthomix_bench_gzip [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#define ZLIB_CONST
#include <zlib.h>

#include "io/expression_reader.h"
#include "numeric/random_generator.h"

namespace {

constexpr int kGeneCount = 20000;
constexpr int kSampleCount = 80;

// Log-scale values with four decimals, as expression tables usually hold them.
std::string matrixText() {
    orthomix::RandomGenerator random(2024);
    std::string text = "ID";
    for (int s = 0; s < kSampleCount; ++s) text += "\tS" + std::to_string(s);
    text += '\n';
    char value[32];
    for (int g = 0; g < kGeneCount; ++g) {
        text += "gene_" + std::to_string(g);
        for (int s = 0; s < kSampleCount; ++s) {
            std::snprintf(value, sizeof value, "\t%.4f", 2.0 + random.draw() / 2730.0);
            text += value;
        }
        text += '\n';
    }
    return text;
}

// What gzip writes at its default level.
std::string gzipped(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<const Bytef*>(text.data());
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

double secondsToRead(const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    const auto read = orthomix::readExpressionFile(path);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!read || read->data.geneCount() != kGeneCount) {
        std::fprintf(stderr, "reading %s failed\n", path.c_str());
        std::exit(1);
    }
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orthomix_gzip_bench_" + std::to_string(stamp));
    std::filesystem::create_directories(folder);
    const std::string plainPath = (folder / "expression.txt").string();
    const std::string gzipPath = (folder / "expression.txt.gz").string();
    const std::string text = matrixText();
    const std::string archive = gzipped(text);
    std::ofstream(plainPath, std::ios::binary) << text;
    std::ofstream(gzipPath, std::ios::binary) << archive;

    secondsToRead(plainPath);  // warm the page cache for both
    secondsToRead(gzipPath);
    std::vector<double> plain, compressed, ratios;
    for (int r = 0; r < rounds; ++r) {
        plain.push_back(secondsToRead(plainPath));
        compressed.push_back(secondsToRead(gzipPath));
        ratios.push_back(compressed.back() / plain.back());
    }
    std::printf("%d x %d matrix: plain %.1f MB, gzip %.1f MB (%.0f %%)\n", kGeneCount, kSampleCount,
                text.size() / 1e6, archive.size() / 1e6, 100.0 * archive.size() / text.size());
    std::printf("median of %d rounds: plain %.3f s, gzip %.3f s, gzip / plain %.2f\n", rounds, median(plain),
                median(compressed), median(ratios));
    std::filesystem::remove_all(folder);
    return 0;
}

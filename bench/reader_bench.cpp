// Throughput of the expression reader on a file of the size the tool meets:
// 20,000 genes by 100 samples.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/expression_reader.h"
#include "io/number_parsing.h"
#include "numeric/random_generator.h"

namespace {

constexpr int kGeneCount = 20000;
constexpr int kSampleCount = 100;

// Values of the form expression arrays give: a few digits, a point, a sign now and then.
std::string makeValue(orthomix::RandomGenerator& random) {
    char text[32];
    const double value = (random.draw() - 2000) / 7.0;
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

class ExpressionFile {
public:
    ExpressionFile() {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        directory_ = std::filesystem::temp_directory_path() / ("orthomix_reader_bench_" + std::to_string(stamp));
        std::filesystem::create_directories(directory_);
        path_ = (directory_ / "expression.txt").string();
        orthomix::RandomGenerator random(12345);
        std::ofstream out(path_, std::ios::binary);
        out << "ID";
        for (int s = 0; s < kSampleCount; ++s) out << "\tS" << s;
        out << '\n';
        for (int g = 0; g < kGeneCount; ++g) {
            out << "gene_" << g;
            for (int s = 0; s < kSampleCount; ++s) out << '\t' << makeValue(random);
            out << '\n';
        }
        out.close();
        size_ = static_cast<std::int64_t>(std::filesystem::file_size(path_));
    }
    ~ExpressionFile() {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    const std::string& path() const { return path_; }
    std::int64_t size() const { return size_; }

private:
    std::filesystem::path directory_;
    std::string path_;
    std::int64_t size_ = 0;
};

void BM_ReadExpressionFile(benchmark::State& state) {
    static const ExpressionFile file;
    for (auto _ : state) {
        const auto read = orthomix::readExpressionFile(file.path());
        if (!read || read->data.geneCount() != kGeneCount) state.SkipWithError("wrong gene count");
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(state.iterations() * file.size());
}
BENCHMARK(BM_ReadExpressionFile)->Unit(benchmark::kMillisecond);

void BM_ParseDecimalPrefix(benchmark::State& state) {
    orthomix::RandomGenerator random(7);
    std::vector<std::string> fields;
    std::int64_t bytes = 0;
    for (int i = 0; i < 4096; ++i) {
        fields.push_back(makeValue(random));
        bytes += static_cast<std::int64_t>(fields.back().size());
    }
    for (auto _ : state) {
        double sum = 0.0;
        for (const std::string& field : fields) sum += orthomix::parseDecimalPrefix(field);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_ParseDecimalPrefix);

}  // namespace

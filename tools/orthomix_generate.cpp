// Writes a synthetic human/mouse dataset with planted clusters linked by
// ortholog pairs, for examples, end-to-end tests and benchmarks. The output
// depends only on the options: the generator, the normal deviates, the
// shuffles and the number formatting are all written out here, because the
// standard library's distributions differ between implementations.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// ---------------------------------------------------------------- options

struct Options {
    std::string outputFolder = ".";
    std::uint64_t seed = 1;
    long humanGenes = 2000;
    long mouseGenes = 2000;
    long humanSamples = 12;
    long mouseSamples = 10;
    long k = 6;
    long pairs = -1;  // -1: three quarters of the smaller organism's gene count
    bool writeParameterFile = false;
    long runs = 3;
};

const char* const kUsage =
    "Usage: orthomix_generate [OPTIONS]\n"
    "\n"
    "Writes a synthetic dataset with k planted clusters per organism, linked by\n"
    "ortholog pairs: human_expression.txt, mouse_expression.txt,\n"
    "human_annotation.txt, mouse_annotation.txt, orthologs.txt, and the planted\n"
    "truth in truth_hm.txt and truth_ms.txt (gene, cluster or -1).\n"
    "\n"
    "  --out DIR             output folder (default .)\n"
    "  --seed N              random seed (default 1)\n"
    "  --human-genes N       number of human genes (default 2000)\n"
    "  --mouse-genes N       number of mouse genes (default 2000)\n"
    "  --human-samples N     human sample columns (default 12)\n"
    "  --mouse-samples N     mouse sample columns (default 10)\n"
    "  --k N                 planted clusters per organism (default 6)\n"
    "  --pairs N             ortholog pairs (default 3/4 of the smaller gene count)\n"
    "  --parameter-file      also write ParameterSetting.txt (results under out/)\n"
    "  --runs N              nMaxAlgRun written to ParameterSetting.txt (default 3)\n"
    "  -h, --help            show this text\n";

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "orthomix_generate: %s\n", message.c_str());
    std::exit(1);
}

template <typename Number>
Number parseNumber(std::string_view option, std::string_view text, Number minimum) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < minimum) {
        fail("option " + std::string(option) + " needs a whole number of at least " + std::to_string(minimum) +
             ", not \"" + std::string(text) + "\"");
    }
    return value;
}

struct CountOption {
    std::string_view name;
    long Options::*field;
    long minimum;
};

constexpr CountOption kCountOptions[] = {{"--human-genes", &Options::humanGenes, 1},
                                         {"--mouse-genes", &Options::mouseGenes, 1},
                                         {"--human-samples", &Options::humanSamples, 2},
                                         {"--mouse-samples", &Options::mouseSamples, 2},
                                         {"--k", &Options::k, 1},
                                         {"--pairs", &Options::pairs, 0},
                                         {"--runs", &Options::runs, 1}};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "-h" || option == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (option == "--parameter-file") {
            options.writeParameterFile = true;
            continue;
        }
        if (i + 1 >= argc) fail("option " + std::string(option) + " needs a value (see --help)");
        const std::string_view value = argv[++i];
        if (option == "--out") {
            options.outputFolder = value;
            continue;
        }
        if (option == "--seed") {
            options.seed = parseNumber<std::uint64_t>(option, value, 0);
            continue;
        }
        const auto known = std::find_if(std::begin(kCountOptions), std::end(kCountOptions),
                                        [&](const CountOption& count) { return option == count.name; });
        if (known == std::end(kCountOptions)) fail("unknown option " + std::string(option) + " (see --help)");
        options.*(known->field) = parseNumber<long>(option, value, known->minimum);
    }
    if (options.pairs < 0) options.pairs = std::min(options.humanGenes, options.mouseGenes) * 3 / 4;
    return options;
}

// ---------------------------------------------------------------- randomness

// SplitMix64: a 64-bit counter passed through a fixed mixing function; the
// same sequence on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // 53 random bits: [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    // 0..n-1; the modulo bias is far below anything a dataset of this size shows.
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

    // Box-Muller: two uniforms give two independent standard normals; the
    // second is kept for the next call.
    double normal() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        const double u1 = 1.0 - uniform();  // (0, 1]: the logarithm stays finite
        const double u2 = uniform();
        const double radius = std::sqrt(-2.0 * std::log(u1));
        const double angle = 6.283185307179586 * u2;
        spare_ = radius * std::sin(angle);
        hasSpare_ = true;
        return radius * std::cos(angle);
    }

    // Fisher-Yates.
    template <typename T>
    void shuffle(std::vector<T>& items) {
        for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(i)]);
    }

private:
    std::uint64_t state_;
    bool hasSpare_ = false;
    double spare_ = 0.0;
};

// ---------------------------------------------------------------- planting

// Values are on a log2 expression scale; the preprocessing thresholds written
// to ParameterSetting.txt (kCvThreshold, kMaxExprThreshold) drop the
// low-variance and the low-expression genes and keep all others.
constexpr double kMinValue = 2.0;
constexpr double kMaxValue = 14.0;
constexpr double kCvThreshold = 0.02;
constexpr double kMaxExprThreshold = 6.0;
constexpr double kNoise = 0.3;                  // per-sample noise of a clustered gene
constexpr double kLowVarianceNoise = 0.04;      // CV about 0.005: below kCvThreshold
constexpr double kMaxProfileCorrelation = 0.3;  // planted profiles are kept this far apart

// Shares of the genes of each organism that are planted outside the clusters.
constexpr double kScatterShare = 0.08;
constexpr double kLowVarianceShare = 0.04;
constexpr double kLowExpressionShare = 0.04;

// Shares of the ortholog pairs; the rest are pairs of matching clusters.
constexpr double kOffDiagonalShare = 0.08;
constexpr double kScatterPairShare = 0.07;
constexpr double kFilteredPairShare = 0.02;   // one gene is dropped by preprocessing
constexpr double kHumanOneToTwoShare = 0.04;  // a human gene with a second mouse ortholog
constexpr double kMouseOneToTwoShare = 0.04;  // a mouse gene with a second human ortholog

enum class Kind { Clustered, Scatter, LowVariance, LowExpression };

struct Gene {
    Kind kind = Kind::Clustered;
    int cluster = -1;  // planted cluster of a clustered gene
};

struct Organism {
    const char* idPrefix;      // "H", "M"
    const char* samplePrefix;  // "H_S", "M_S"
    const char* name;          // "human", "mouse"
    const char* truthFile;
    long sampleCount;
    std::vector<Gene> genes;
    std::vector<std::vector<double>> profiles;  // per cluster, centred, unit spread
    std::vector<double> values;                 // gene-major, sampleCount per gene
    std::vector<std::string> symbols;
};

// A random profile scaled to mean 0 and population standard deviation 1.
std::vector<double> randomProfile(Random& random, long samples) {
    std::vector<double> profile(static_cast<std::size_t>(samples));
    double sum = 0.0;
    for (double& x : profile) {
        x = random.normal();
        sum += x;
    }
    const double mean = sum / static_cast<double>(samples);
    double squares = 0.0;
    for (double& x : profile) {
        x -= mean;
        squares += x * x;
    }
    const double spread = std::sqrt(squares / static_cast<double>(samples));
    for (double& x : profile) x /= spread;
    return profile;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    double product = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) product += a[i] * b[i];
    return product / static_cast<double>(a.size());
}

// Cluster profiles that are pairwise far from each other, so that clusters
// stay apart after each gene is standardised; with few samples and many
// clusters the bar is lowered until a set is found.
std::vector<std::vector<double>> plantProfiles(Random& random, long k, long samples) {
    std::vector<std::vector<double>> profiles;
    double limit = kMaxProfileCorrelation;
    int attempts = 0;
    while (static_cast<long>(profiles.size()) < k) {
        std::vector<double> candidate = randomProfile(random, samples);
        bool farEnough = true;
        for (const auto& other : profiles) farEnough = farEnough && correlation(candidate, other) < limit;
        if (farEnough) {
            profiles.push_back(std::move(candidate));
            attempts = 0;
        } else if (++attempts == 1000) {
            limit += 0.05;
            attempts = 0;
        }
    }
    return profiles;
}

long share(long total, double fraction) {
    return std::lround(static_cast<double>(total) * fraction);
}

void plantGenes(Random& random, Organism& organism, long geneCount, long k) {
    const long scatter = share(geneCount, kScatterShare);
    const long lowVariance = share(geneCount, kLowVarianceShare);
    const long lowExpression = share(geneCount, kLowExpressionShare);
    const long clustered = geneCount - scatter - lowVariance - lowExpression;
    if (clustered < k) {
        fail("too few " + std::string(organism.name) + " genes for " + std::to_string(k) + " planted clusters");
    }

    // Unequal cluster sizes, every cluster at least one gene.
    std::vector<double> weights(static_cast<std::size_t>(k));
    double weightSum = 0.0;
    for (double& w : weights) weightSum += (w = random.uniform(0.6, 1.4));
    std::vector<Gene> genes;
    genes.reserve(static_cast<std::size_t>(geneCount));
    long assigned = 0;
    for (long c = 0; c < k; ++c) {
        const long remainingClusters = k - c - 1;
        long size =
            c + 1 == k ? clustered - assigned
                       : std::lround(static_cast<double>(clustered) * weights[static_cast<std::size_t>(c)] / weightSum);
        size = std::max(1L, std::min(size, clustered - assigned - remainingClusters));
        for (long i = 0; i < size; ++i) genes.push_back({Kind::Clustered, static_cast<int>(c)});
        assigned += size;
    }
    for (long i = 0; i < scatter; ++i) genes.push_back({Kind::Scatter, -1});
    for (long i = 0; i < lowVariance; ++i) genes.push_back({Kind::LowVariance, -1});
    for (long i = 0; i < lowExpression; ++i) genes.push_back({Kind::LowExpression, -1});
    random.shuffle(genes);
    organism.genes = std::move(genes);
    organism.profiles = plantProfiles(random, k, organism.sampleCount);

    const std::size_t samples = static_cast<std::size_t>(organism.sampleCount);
    organism.values.resize(organism.genes.size() * samples);
    for (std::size_t g = 0; g < organism.genes.size(); ++g) {
        double* row = organism.values.data() + g * samples;
        const Gene& gene = organism.genes[g];
        switch (gene.kind) {
            case Kind::Clustered:
            case Kind::Scatter: {
                const double level = random.uniform(6.5, 9.5);
                const double amplitude = random.uniform(0.8, 1.4);
                const std::vector<double> own =
                    gene.kind == Kind::Scatter ? randomProfile(random, organism.sampleCount) : std::vector<double>();
                const std::vector<double>& profile =
                    gene.kind == Kind::Scatter ? own : organism.profiles[static_cast<std::size_t>(gene.cluster)];
                for (std::size_t s = 0; s < samples; ++s)
                    row[s] = level + amplitude * profile[s] + kNoise * random.normal();
                break;
            }
            case Kind::LowVariance: {
                const double level = random.uniform(6.5, 9.5);
                for (std::size_t s = 0; s < samples; ++s) row[s] = level + kLowVarianceNoise * random.normal();
                break;
            }
            case Kind::LowExpression: {
                // Varies like a clustered gene, but never reaches kMaxExprThreshold.
                const double level = random.uniform(3.0, 4.0);
                const std::vector<double>& profile = organism.profiles[random.below(static_cast<std::size_t>(k))];
                for (std::size_t s = 0; s < samples; ++s) {
                    row[s] = std::min(level + 0.5 * profile[s] + kNoise * random.normal(), kMaxExprThreshold - 0.5);
                }
                break;
            }
        }
        for (std::size_t s = 0; s < samples; ++s) row[s] = std::min(kMaxValue, std::max(kMinValue, row[s]));
    }
}

// ---------------------------------------------------------------- orthologs

struct Pair {
    std::size_t human, mouse;
};

// Genes not yet in a pair, drawn from at random.
class Pool {
public:
    void add(std::size_t gene) { genes_.push_back(gene); }
    void shuffle(Random& random) { random.shuffle(genes_); }
    bool empty() const { return genes_.empty(); }
    std::size_t take() {
        const std::size_t gene = genes_.back();
        genes_.pop_back();
        return gene;
    }

private:
    std::vector<std::size_t> genes_;
};

struct Pools {
    std::vector<Pool> clusters;
    Pool scatter, filtered;

    Pools(Random& random, const Organism& organism, long k) : clusters(static_cast<std::size_t>(k)) {
        for (std::size_t g = 0; g < organism.genes.size(); ++g) {
            const Gene& gene = organism.genes[g];
            if (gene.kind == Kind::Clustered) clusters[static_cast<std::size_t>(gene.cluster)].add(g);
            if (gene.kind == Kind::Scatter) scatter.add(g);
            if (gene.kind == Kind::LowVariance || gene.kind == Kind::LowExpression) filtered.add(g);
        }
        for (Pool& pool : clusters) pool.shuffle(random);
        scatter.shuffle(random);
        filtered.shuffle(random);
    }
};

class PairPlanter {
public:
    PairPlanter(Random& random, const Organism& human, const Organism& mouse, long k)
        : random_(random),
          human_(human),
          mouse_(mouse),
          k_(static_cast<std::size_t>(k)),
          humanPools_(random, human, k),
          mousePools_(random, mouse, k) {}

    std::vector<Pair> plant(long target) {
        const long offDiagonal = share(target, kOffDiagonalShare);
        const long scatter = share(target, kScatterPairShare);
        const long filtered = share(target, kFilteredPairShare);
        const long humanOneToTwo = share(target, kHumanOneToTwoShare);
        const long mouseOneToTwo = share(target, kMouseOneToTwoShare);
        const long diagonal = target - offDiagonal - scatter - filtered - humanOneToTwo - mouseOneToTwo;

        repeat(diagonal, [this] { return clusterPair(true); });
        repeat(offDiagonal, [this] { return clusterPair(false); });
        repeat(scatter, [this] { return scatterPair(); });
        repeat(filtered, [this] { return filteredPair(); });
        repeat(humanOneToTwo, [this] { return secondOrtholog(true); });
        repeat(mouseOneToTwo, [this] { return secondOrtholog(false); });
        // Pools that ran dry leave a shortfall: fill it with more matching pairs of genes already used.
        for (long attempts = 0; static_cast<long>(pairs_.size()) < target && attempts < 50 * target; ++attempts) {
            const std::size_t h = random_.below(human_.genes.size());
            const std::size_t m = random_.below(mouse_.genes.size());
            if (human_.genes[h].kind == Kind::Clustered && human_.genes[h].cluster == mouse_.genes[m].cluster)
                add(h, m);
        }
        random_.shuffle(pairs_);
        return pairs_;
    }

private:
    template <typename Planter>
    void repeat(long count, Planter planter) {
        for (long i = 0; i < count; ++i) {
            if (!planter()) return;
        }
    }

    bool add(std::size_t h, std::size_t m) {
        if (!seen_.insert(static_cast<std::uint64_t>(h) * mouse_.genes.size() + m).second) return false;
        pairs_.push_back({h, m});
        return true;
    }

    // A cluster with a free gene on both sides (same cluster, or different ones),
    // searched from a random start.
    bool clusterPair(bool matching) {
        const std::size_t start = random_.below(k_);
        const std::size_t shift = matching || k_ == 1 ? 0 : 1 + random_.below(k_ - 1);
        for (std::size_t step = 0; step < k_; ++step) {
            const std::size_t c = (start + step) % k_;
            const std::size_t d = (c + shift) % k_;
            if (humanPools_.clusters[c].empty() || mousePools_.clusters[d].empty()) continue;
            const std::size_t h = humanPools_.clusters[c].take();
            const std::size_t m = mousePools_.clusters[d].take();
            add(h, m);
            if (matching) matchingPairs_.push_back({h, m});
            return true;
        }
        return false;
    }

    bool scatterPair() {
        if (humanPools_.scatter.empty() || mousePools_.scatter.empty()) return false;
        return add(humanPools_.scatter.take(), mousePools_.scatter.take());
    }

    // A dropped gene on one side, alternately human and mouse, with a free clustered gene.
    bool filteredPair() {
        const bool humanDropped = (pairs_.size() & 1) == 0;
        Pools& dropped = humanDropped ? humanPools_ : mousePools_;
        Pools& kept = humanDropped ? mousePools_ : humanPools_;
        if (dropped.filtered.empty()) return false;
        const std::size_t start = random_.below(k_);
        for (std::size_t step = 0; step < k_; ++step) {
            Pool& pool = kept.clusters[(start + step) % k_];
            if (pool.empty()) continue;
            const std::size_t d = dropped.filtered.take();
            const std::size_t g = pool.take();
            return humanDropped ? add(d, g) : add(g, d);
        }
        return false;
    }

    // A gene of a matching pair gets a second ortholog from the matching cluster.
    bool secondOrtholog(bool humanGetsTwo) {
        for (int attempt = 0; attempt < 20 && !matchingPairs_.empty(); ++attempt) {
            const Pair base = matchingPairs_[random_.below(matchingPairs_.size())];
            if (humanGetsTwo) {
                Pool& pool = mousePools_.clusters[static_cast<std::size_t>(human_.genes[base.human].cluster)];
                if (!pool.empty()) return add(base.human, pool.take());
            } else {
                Pool& pool = humanPools_.clusters[static_cast<std::size_t>(mouse_.genes[base.mouse].cluster)];
                if (!pool.empty()) return add(pool.take(), base.mouse);
            }
        }
        return false;
    }

    Random& random_;
    const Organism& human_;
    const Organism& mouse_;
    std::size_t k_;
    Pools humanPools_, mousePools_;
    std::vector<Pair> pairs_, matchingPairs_;
    std::unordered_set<std::uint64_t> seen_;
};

// ---------------------------------------------------------------- annotation

std::string randomSymbol(Random& random) {
    std::string symbol;
    const std::size_t letters = 3 + random.below(3);
    for (std::size_t i = 0; i < letters; ++i) symbol += static_cast<char>('A' + random.below(26));
    symbol += std::to_string(1 + random.below(40));
    return symbol;
}

// Mouse symbols are written with one capital, as mouse gene symbols are.
std::string mouseStyle(std::string symbol) {
    for (std::size_t i = 1; i < symbol.size(); ++i) {
        if (symbol[i] >= 'A' && symbol[i] <= 'Z') symbol[i] = static_cast<char>(symbol[i] - 'A' + 'a');
    }
    return symbol;
}

// Orthologs share a symbol, as they usually do; about 3% of the genes have no annotation line.
void plantSymbols(Random& random, Organism& human, Organism& mouse, const std::vector<Pair>& pairs) {
    human.symbols.resize(human.genes.size());
    mouse.symbols.resize(mouse.genes.size());
    for (std::string& symbol : human.symbols) symbol = randomSymbol(random);
    for (std::string& symbol : mouse.symbols) symbol = mouseStyle(randomSymbol(random));
    std::vector<bool> named(mouse.genes.size(), false);
    for (const Pair& pair : pairs) {
        if (named[pair.mouse]) continue;
        named[pair.mouse] = true;
        mouse.symbols[pair.mouse] = mouseStyle(human.symbols[pair.human]);
    }
    for (Organism* organism : {&human, &mouse}) {
        for (std::string& symbol : organism->symbols) {
            if (random.below(100) < 3) symbol.clear();
        }
    }
}

// ---------------------------------------------------------------- writing

// Collects text in a large buffer and writes it in few system calls.
class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& path) : path_(path.string()) {
        file_ = std::fopen(path_.c_str(), "wb");
        if (!file_) fail("cannot create " + path_);
        buffer_.reserve(kBufferSize + 4096);
    }
    ~OutputFile() {
        if (file_) std::fclose(file_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    OutputFile& operator<<(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kBufferSize) flush();
        return *this;
    }
    OutputFile& operator<<(char c) {
        buffer_.push_back(c);
        return *this;
    }
    OutputFile& operator<<(long value) { return *this << std::string_view(std::to_string(value)); }

    // Four decimals, rounded half away from zero, without the C library's formatting.
    void writeFixed4(double value) {
        long long scaled = std::llround(value * 10000.0);
        if (scaled < 0) {
            buffer_.push_back('-');
            scaled = -scaled;
        }
        char digits[32];
        const auto whole = std::to_chars(digits, digits + sizeof digits, scaled / 10000).ptr;
        buffer_.append(digits, whole);
        const long long fraction = scaled % 10000;
        const char decimals[5] = {'.', static_cast<char>('0' + fraction / 1000),
                                  static_cast<char>('0' + fraction / 100 % 10),
                                  static_cast<char>('0' + fraction / 10 % 10), static_cast<char>('0' + fraction % 10)};
        buffer_.append(decimals, sizeof decimals);
    }

    void close() {
        flush();
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!closed) fail("cannot write " + path_);
    }

private:
    static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

    void flush() {
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) fail("cannot write " + path_);
        buffer_.clear();
    }

    std::string path_;
    std::FILE* file_ = nullptr;
    std::string buffer_;
};

std::string geneId(const Organism& organism, std::size_t gene) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%05zu", organism.idPrefix, gene + 1);
    return text;
}

void writeExpression(const std::filesystem::path& folder, const Organism& organism) {
    OutputFile out(folder / (std::string(organism.name) + "_expression.txt"));
    out << "ID";
    char name[32];
    for (long s = 1; s <= organism.sampleCount; ++s) {
        std::snprintf(name, sizeof name, "\t%s%02ld", organism.samplePrefix, s);
        out << std::string_view(name);
    }
    out << '\n';
    const std::size_t samples = static_cast<std::size_t>(organism.sampleCount);
    for (std::size_t g = 0; g < organism.genes.size(); ++g) {
        out << geneId(organism, g);
        for (std::size_t s = 0; s < samples; ++s) {
            out << '\t';
            out.writeFixed4(organism.values[g * samples + s]);
        }
        out << '\n';
    }
    out.close();
}

void writeAnnotation(const std::filesystem::path& folder, const Organism& organism) {
    OutputFile out(folder / (std::string(organism.name) + "_annotation.txt"));
    out << "ProbeID\tSymbol\n";
    for (std::size_t g = 0; g < organism.genes.size(); ++g) {
        if (organism.symbols[g].empty()) continue;
        out << geneId(organism, g) << '\t' << organism.symbols[g] << '\n';
    }
    out.close();
}

void writeTruth(const std::filesystem::path& folder, const Organism& organism) {
    OutputFile out(folder / organism.truthFile);
    out << "gene\tplanted_cluster\n";
    for (std::size_t g = 0; g < organism.genes.size(); ++g) {
        out << geneId(organism, g) << '\t' << static_cast<long>(organism.genes[g].cluster) << '\n';
    }
    out.close();
}

void writeOrthologs(const std::filesystem::path& folder, const Organism& human, const Organism& mouse,
                    const std::vector<Pair>& pairs) {
    OutputFile out(folder / "orthologs.txt");
    for (const Pair& pair : pairs) out << geneId(human, pair.human) << '\t' << geneId(mouse, pair.mouse) << '\n';
    out.close();
}

void writeParameterFile(const std::filesystem::path& folder, const Options& options) {
    std::error_code error;
    std::filesystem::create_directories(folder / "out", error);
    if (error) fail("cannot create " + (folder / "out").string() + ": " + error.message());
    OutputFile out(folder / "ParameterSetting.txt");
    char thresholds[96];
    std::snprintf(thresholds, sizeof thresholds, "CVThr = %g\nmaxExpr = %g\n", kCvThreshold, kMaxExprThreshold);
    out << "dataFile_hm = human_expression.txt\n"
           "dataFile_ms = mouse_expression.txt\n"
           "annotFile_hm = human_annotation.txt\n"
           "annotFile_ms = mouse_annotation.txt\n"
           "orthologFile = orthologs.txt\n"
           "outputFile_hm = out/human_clusters.txt\n"
           "outputFile_ms = out/mouse_clusters.txt\n"
           "k_by_k_output_clusters = out/pair_clusters.txt\n"
           "gene_pair_result = out/gene_pairs.txt\n"
           "prep = yes\n"
        << std::string_view(thresholds) << "k = " << options.k << "\nnMaxAlgRun = " << options.runs
        << "\nstoppingThr = 1e-4\npsudo_uniform_counts = 10\n"
        // The tool reads the seed as a signed 32-bit number.
        << "seed = " << static_cast<long>(options.seed % 2147483648ULL) << '\n';
    out.close();
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    const std::filesystem::path folder = options.outputFolder;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) fail("cannot create " + folder.string() + ": " + error.message());

    Random random(options.seed);
    Organism human{"H", "H_S", "human", "truth_hm.txt", options.humanSamples, {}, {}, {}, {}};
    Organism mouse{"M", "M_S", "mouse", "truth_ms.txt", options.mouseSamples, {}, {}, {}, {}};
    plantGenes(random, human, options.humanGenes, options.k);
    plantGenes(random, mouse, options.mouseGenes, options.k);
    const std::vector<Pair> pairs = PairPlanter(random, human, mouse, options.k).plant(options.pairs);
    if (static_cast<long>(pairs.size()) < options.pairs) {
        std::fprintf(stderr, "orthomix_generate: warning: only %zu of %ld ortholog pairs could be planted\n",
                     pairs.size(), options.pairs);
    }
    plantSymbols(random, human, mouse, pairs);

    writeExpression(folder, human);
    writeExpression(folder, mouse);
    writeAnnotation(folder, human);
    writeAnnotation(folder, mouse);
    writeOrthologs(folder, human, mouse, pairs);
    writeTruth(folder, human);
    writeTruth(folder, mouse);
    if (options.writeParameterFile) writeParameterFile(folder, options);
    std::printf(
        "wrote %zu human genes x %ld samples, %zu mouse genes x %ld samples, %zu ortholog pairs, k = %ld to %s\n",
        human.genes.size(), options.humanSamples, mouse.genes.size(), options.mouseSamples, pairs.size(), options.k,
        folder.string().c_str());
    return 0;
}

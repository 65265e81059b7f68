// The run record's JSON text, the failure reporter, the seed key and the assignment tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "driver/assignment_tables.h"
#include "driver/fatal.h"
#include "driver/parameters.h"
#include "driver/run_record.h"
#include "io/json_writer.h"

namespace orthomix {
namespace {

std::string jsonString(std::string_view text) {
    std::string out;
    appendJsonString(out, text);
    return out;
}

std::string jsonNumber(double value) {
    std::string out;
    appendJsonNumber(out, value);
    return out;
}

TEST(JsonString, EscapesQuotesBackslashesAndControlsAndKeepsValidUtf8) {
    EXPECT_EQ(jsonString("plain id"), "\"plain id\"");
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString(std::string("t\tn\nr\rz\0e\x1f", 10)), "\"t\\u0009n\\u000ar\\u000dz\\u0000e\\u001f\"")
        << "every control character as \\u00XX, NUL included";
    EXPECT_EQ(jsonString("del\x7f"), "\"del\x7f\"") << "DEL is not a control character in JSON";
    EXPECT_EQ(jsonString("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\xa7\xac \xf4\x8f\xbf\xbf"),
              "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\xa7\xac \xf4\x8f\xbf\xbf\"")
        << "two-, three- and four-byte sequences up to U+10FFFF pass through";
}

TEST(JsonString, EachByteOfInvalidUtf8BecomesALoneSurrogate) {
    EXPECT_EQ(jsonString("x\xffy"), "\"x\\udcffy\"");
    EXPECT_EQ(jsonString("\x80"), "\"\\udc80\"") << "a continuation byte without a lead";
    EXPECT_EQ(jsonString("\xc0\xaf"), "\"\\udcc0\\udcaf\"") << "overlong two-byte form of /";
    EXPECT_EQ(jsonString("\xe0\x80\xaf"), "\"\\udce0\\udc80\\udcaf\"") << "overlong three-byte form";
    EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\udced\\udca0\\udc80\"") << "an encoded surrogate";
    EXPECT_EQ(jsonString("\xf4\x90\x80\x80"), "\"\\udcf4\\udc90\\udc80\\udc80\"") << "beyond U+10FFFF";
    EXPECT_EQ(jsonString("ab\xe2\x82"), "\"ab\\udce2\\udc82\"") << "a sequence cut off by the end of the text";
    EXPECT_EQ(jsonString("\xe2\x82z\xc3\xa9"), "\"\\udce2\\udc82z\xc3\xa9\"")
        << "a cut-off sequence does not swallow the valid text after it";
}

TEST(JsonNumber, SeventeenSignificantDigitsAndNullForNonFiniteValues) {
    EXPECT_EQ(jsonNumber(5.0), "5");
    EXPECT_EQ(jsonNumber(0.1), "0.10000000000000001");
    EXPECT_EQ(jsonNumber(-0.0), "-0");
    EXPECT_EQ(jsonNumber(1e300), "1.0000000000000001e+300");
    EXPECT_EQ(jsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(jsonNumber(-std::numeric_limits<double>::infinity()), "null");
    for (const double value : {-8787.2564053828719, 1.0 / 3.0, 4.9406564584124654e-324, 1.7976931348623157e308}) {
        EXPECT_EQ(std::strtod(jsonNumber(value).c_str(), nullptr), value) << jsonNumber(value) << " does not read back";
    }
}

TEST(FailureReporterDeathTest, RunsAfterTheMessageWhichItCannotHide) {
    const auto reportToStderr = [](const char* tag) {
        return [tag](std::string_view message) {
            std::fprintf(stderr, "%s saw %.*s\n", tag, static_cast<int>(message.size()), message.data());
        };
    };
    EXPECT_EXIT(
        {
            const ScopedFailureReporter reporter(reportToStderr("reporter"));
            fatalError("boom");
        },
        ::testing::ExitedWithCode(1), "^boom\nreporter saw boom\n$");
    EXPECT_EXIT(
        {
            const ScopedFailureReporter reporter([](std::string_view) { throw std::runtime_error("reporter broke"); });
            fatalError("boom");
        },
        ::testing::ExitedWithCode(1), "^boom\n$")
        << "an exception from the reporter is swallowed";
    EXPECT_EXIT(
        {
            const ScopedFailureReporter reporter([](std::string_view) { fatalError("again"); });
            fatalError("boom");
        },
        ::testing::ExitedWithCode(1), "^boom\nagain\n$")
        << "a reporter that fails fatally does not run a second time";
    EXPECT_EXIT(
        {
            const ScopedFailureReporter outer(reportToStderr("outer"));
            { const ScopedFailureReporter inner(reportToStderr("inner")); }
            fatalError("late");
        },
        ::testing::ExitedWithCode(1), "^late\nouter saw late\n$")
        << "the inner reporter is gone with its scope and the outer one is back";
}

TEST(ParameterSeed, TheWholeUnsignedRangeIsAcceptedBack) {
    const auto seedOf = [](const std::string& value) {
        return parameterSettingFrom(parseParameterText("seed = " + value + "\n")).seed;
    };
    EXPECT_EQ(seedOf("4294967295"), 4294967295u) << "a clock seed above 2^31 - 1 survives";
    EXPECT_EQ(seedOf("2147483648"), 2147483648u);
    EXPECT_EQ(seedOf("99 apples"), 99u) << "the atoi prefix rule";
    EXPECT_EQ(seedOf("-1"), 4294967295u) << "a negative seed counts modulo 2^32, as before";
    EXPECT_EQ(seedOf("-2147483648"), 2147483648u);
    EXPECT_EQ(seedOf(""), 0u);
}

TEST(ParameterSeedDeathTest, ASeedBeyond32BitsIsRejected) {
    const std::string complete =
        "dataFile_hm = h\ndataFile_ms = m\nannotFile_hm = a\nannotFile_ms = b\northologFile = o\n"
        "outputFile_hm = x\noutputFile_ms = y\nk_by_k_output_clusters = z\ngene_pair_result = w\nk = 3\n"
        "nMaxAlgRun = 2\n";
    const auto check = [&](const std::string& seed) {
        const auto table = parseParameterText(complete + "seed = " + seed + "\n");
        checkParameters(parameterSettingFrom(table), table, "p.txt");
    };
    EXPECT_EXIT(check("4294967296"), ::testing::ExitedWithCode(1), "seed must be a whole number from 0 to 4294967295");
    EXPECT_EXIT(check("-2147483649"), ::testing::ExitedWithCode(1), "p.txt \\(it is -2147483649\\)");
    EXPECT_EXIT(
        {
            check("4294967295");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

struct SnapshotClusters {
    GeneStore genes;
    ClusterStore store;
    std::vector<GeneCluster*> list;

    void add(std::vector<std::pair<std::string, std::vector<double>>> members) {
        store.push_back(std::make_unique<GeneCluster>(static_cast<std::int32_t>(store.size()), 2));
        for (auto& [name, values] : members) {
            genes.push_back(std::make_unique<GeneRecord>(std::move(values), name));
            store.back()->appendMember(genes.back().get());
        }
        store.back()->recomputeCenter();
        list.push_back(store.back().get());
    }
};

struct KeptGenes {
    GeneStore store;
    std::vector<GeneRecord*> list;

    void add(const std::string& name, std::vector<double> values, const std::string& annotation = "") {
        store.push_back(std::make_unique<GeneRecord>(std::move(values), name));
        store.back()->annotation = annotation;
        list.push_back(store.back().get());
    }
};

// Centroids (1, 0), (10, 0), (20, 0), and a fourth cluster without members or centre.
SnapshotClusters threeClustersAndAnEmptyOne() {
    SnapshotClusters clusters;
    clusters.add({{"A", {0.0, 0.0}}, {"B", {2.0, 0.0}}});
    clusters.add({{"C", {10.0, 0.0}}});
    clusters.add({{"A", {20.0, 0.0}}});
    clusters.add({});
    return clusters;
}

TEST(AssignmentTable, ClusterByNameAndNearestCentroidForEveryGene) {
    const SnapshotClusters clusters = threeClustersAndAnEmptyOne();
    KeptGenes genes;
    genes.add("A", {0.0, 0.0});
    genes.add("D", {5.5, 0.0});
    genes.add("A", {19.0, 0.0});
    genes.add("C", {10.0, 3.0});
    const std::vector<GeneAssignment> assignments = assignGenes(genes.list, clusters.list);
    ASSERT_EQ(assignments.size(), 4u) << "one assignment per gene, duplicates included";

    EXPECT_EQ(assignments[0].cluster, 0);
    EXPECT_EQ(assignments[0].nearestCluster, 0);
    EXPECT_EQ(assignments[0].nearestDistance, 1.0);
    EXPECT_EQ(assignments[1].cluster, -1) << "a name in no cluster is scatter";
    EXPECT_EQ(assignments[1].nearestCluster, 0) << "4.5 from the first two centroids: the tie goes to the first";
    EXPECT_EQ(assignments[1].nearestDistance, 4.5);
    EXPECT_EQ(assignments[2].cluster, 0) << "a shared identifier maps to the first cluster holding it";
    EXPECT_EQ(assignments[2].nearestCluster, 2) << "the nearest centroid is the gene's own, by its values";
    EXPECT_EQ(assignments[2].nearestDistance, 1.0);
    EXPECT_EQ(assignments[3].cluster, 1);
    EXPECT_EQ(assignments[3].nearestCluster, 1);
    EXPECT_EQ(assignments[3].nearestDistance, 3.0);
}

TEST(AssignmentTableDeathTest, UnwritablePathIsFatal) {
    const SnapshotClusters clusters = threeClustersAndAnEmptyOne();
    KeptGenes genes;
    genes.add("A", {0.0, 0.0});
    EXPECT_EXIT(writeAssignmentTable("no/such/folder/a.tsv", genes.list, clusters.list), ::testing::ExitedWithCode(1),
                "^Cannot open file no/such/folder/a.tsv\n$");
}

TEST(IsoUtcTime, SecondsSinceTheEpochInUtc) {
    EXPECT_EQ(isoUtcTime(std::chrono::system_clock::from_time_t(0)), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoUtcTime(std::chrono::system_clock::from_time_t(4294967295)), "2106-02-07T06:28:15Z");
}

}  // namespace
}  // namespace orthomix

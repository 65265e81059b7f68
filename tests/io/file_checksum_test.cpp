#include "io/file_checksum.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/test_support.h"

namespace orthomix {
namespace {

using testing::TempDir;
using testing::writeFile;

TEST(FileChecksum, GivesThePublishedFnv1a64Values) {
    EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(fnv1a64("foobar"), 0x85944171f73967e8ull);
    EXPECT_EQ(fnv1a64("bar", fnv1a64("foo")), fnv1a64("foobar")) << "hashing goes on from a state";
}

TEST(FileChecksum, HashesAFileOfSeveralBlocksAsOneText) {
    const TempDir work;
    std::string text;
    for (int i = 0; text.size() < (3u << 20) + 17; ++i) text += std::to_string(i) + "\t";
    writeFile(work.file("big.txt"), text);
    char expected[32];
    std::snprintf(expected, sizeof expected, "fnv1a64:%016llx", static_cast<unsigned long long>(fnv1a64(text)));
    const Result<std::optional<std::string>> checksum = fileChecksum(work.file("big.txt"));
    ASSERT_TRUE(checksum) << checksum.error().message;
    EXPECT_EQ(*checksum, std::optional<std::string>(expected));

    writeFile(work.file("empty.txt"), "");
    EXPECT_EQ(*fileChecksum(work.file("empty.txt")), std::optional<std::string>("fnv1a64:cbf29ce484222325"));
}

TEST(FileChecksum, GivesNoneForAPipeAndAnErrorForAMissingFile) {
    const TempDir work;
    ASSERT_EQ(::mkfifo(work.file("pipe").c_str(), 0600), 0);
    const Result<std::optional<std::string>> pipe = fileChecksum(work.file("pipe"));
    ASSERT_TRUE(pipe) << "a pipe is not opened, so nothing waits for a writer";
    EXPECT_FALSE(pipe->has_value());
    EXPECT_EQ(fileChecksum(work.file("missing")).error().message, "Cannot open " + work.file("missing"));
}

}  // namespace
}  // namespace orthomix

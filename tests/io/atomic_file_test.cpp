#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "io/atomic_file.h"
#include "io_test_support.h"
#include "support/number_format.h"

namespace orthomix {
namespace {

namespace fs = std::filesystem;
using testing::readWholeFile;
using testing::TemporaryDirectory;

using Names = std::vector<std::string>;

TEST(AtomicOutputFile, TheTargetChangesOnlyAtCommit) {
    const TemporaryDirectory directory;
    const std::string path = directory.write("result.txt", "an older, longer file that must disappear entirely\n");
    {
        AtomicOutputFile out(path);
        out.write("first ");
        out.write('|');
        out.writeNumber(0.5);
        out.write('\n');
        EXPECT_EQ(readWholeFile(path), "an older, longer file that must disappear entirely\n")
            << "before the commit the old file is untouched";
        EXPECT_EQ(directory.entries().size(), 2u) << "the text goes to a temporary file beside the target";
        const Status committed = out.commit();
        ASSERT_TRUE(committed.ok()) << committed.error().message;
    }
    EXPECT_EQ(readWholeFile(path), "first |0.5\n");
    EXPECT_EQ(directory.entries(), Names{"result.txt"}) << "no temporary file is left";
}

TEST(AtomicOutputFile, AnAbandonedFileLeavesTheOldTargetAndNoTemporary) {
    const TemporaryDirectory directory;
    const std::string path = directory.write("result.txt", "old\n");
    {
        AtomicOutputFile out(path);
        out.write(std::string(200000, 'x'));  // beyond the buffer, so part of it reached the disk
    }
    EXPECT_EQ(readWholeFile(path), "old\n");
    EXPECT_EQ(directory.entries(), Names{"result.txt"});

    { AtomicOutputFile unused(directory.pathOf("never.txt")); }
    EXPECT_EQ(directory.entries(), Names{"result.txt"}) << "a file never committed never appears";
}

TEST(AtomicOutputFile, LongTextCrossesTheBufferIntact) {
    const TemporaryDirectory directory;
    const std::string path = directory.pathOf("long.txt");
    std::string expected;
    AtomicOutputFile out(path);
    for (int i = 0; i < 40000; ++i) {
        const std::string piece = "line " + std::to_string(i);
        out.write(piece);
        out.write('\t');
        out.writeNumber(i + 0.25);
        out.write('\n');
        expected += piece + "\t" + formatNumber(i + 0.25) + "\n";
    }
    ASSERT_GT(expected.size(), std::size_t{1} << 19);
    const Status committed = out.commit();
    ASSERT_TRUE(committed.ok()) << committed.error().message;
    EXPECT_TRUE(readWholeFile(path) == expected) << "the text differs from what was written";
}

TEST(AtomicOutputFile, NumbersAreWrittenWithSixSignificantDigits) {
    const TemporaryDirectory directory;
    const std::string path = directory.pathOf("numbers.txt");
    const double infinity = std::numeric_limits<double>::infinity();
    const Status status = [&] {
        AtomicOutputFile out(path);
        for (const double value : {0.1, -2.5, 1.0 / 3.0, 15000000.0, 123456.0, 1234567.0, 0.0001, 0.00001, 0.0, -0.0,
                                   1e300, 5e-324, infinity, -infinity}) {
            out.writeNumber(value);
            out.write(' ');
        }
        return out.commit();
    }();
    ASSERT_TRUE(status.ok()) << status.error().message;
    EXPECT_EQ(readWholeFile(path),
              "0.1 -2.5 0.333333 1.5e+07 123456 1.23457e+06 0.0001 1e-05 0 -0 1e+300 4.94066e-324 inf -inf ");
}

TEST(AtomicOutputFile, AnUnusablePathFailsAtCommitWithoutLeavingAFile) {
    const TemporaryDirectory directory;
    const std::string missingFolder = directory.pathOf("absent/result.txt");
    {
        AtomicOutputFile out(missingFolder);
        out.write(std::string(100000, 'x'));
        const Status status = out.commit();
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error().message, "Cannot open file " + missingFolder);
    }
    EXPECT_TRUE(directory.entries().empty());

    // The text is written in full, then the rename cannot take the path.
    fs::create_directory(directory.path() / "taken");
    const std::string taken = directory.pathOf("taken");
    const Status status = writeFileAtomically(taken, "text\n");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().message, "Cannot open file " + taken);
    EXPECT_EQ(directory.entries(), Names{"taken"}) << "the temporary file is removed";
    EXPECT_TRUE(fs::is_empty(directory.path() / "taken"));
}

TEST(WriteFileAtomically, ReplacesTheWholeFileAndCreatesEmptyOnes) {
    const TemporaryDirectory directory;
    const std::string path = directory.write("a.txt", "a much longer old content\n");
    ASSERT_TRUE(writeFileAtomically(path, "new\n").ok());
    EXPECT_EQ(readWholeFile(path), "new\n");
    const std::string empty = directory.pathOf("empty.txt");
    ASSERT_TRUE(writeFileAtomically(empty, "").ok());
    EXPECT_TRUE(fs::exists(empty));
    EXPECT_EQ(fs::file_size(empty), 0u);
    EXPECT_EQ(directory.entries(), (Names{"a.txt", "empty.txt"}));
}

// Restores the working folder when the test ends, however it ends.
class WorkingFolder {
public:
    explicit WorkingFolder(const fs::path& folder) : previous_(fs::current_path()) { fs::current_path(folder); }
    ~WorkingFolder() { fs::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    fs::path previous_;
};

TEST(CheckOutputLocation, AcceptsExistingFoldersAndNamesThePathOtherwise) {
    const TemporaryDirectory directory;
    EXPECT_TRUE(checkOutputLocation(directory.pathOf("new.txt")).ok());
    EXPECT_TRUE(checkOutputLocation(directory.write("existing.txt", "x")).ok()) << "an existing file may be replaced";

    const std::string missing = directory.pathOf("absent/out.txt");
    const Status missingFolder = checkOutputLocation(missing);
    ASSERT_FALSE(missingFolder.ok());
    EXPECT_EQ(missingFolder.error().message, "Cannot open file " + missing);

    const std::string underFile = directory.pathOf("existing.txt/out.txt");
    const Status fileAsFolder = checkOutputLocation(underFile);
    ASSERT_FALSE(fileAsFolder.ok()) << "a file is no folder";
    EXPECT_EQ(fileAsFolder.error().message, "Cannot open file " + underFile);

    {
        const WorkingFolder inside(directory.path());
        EXPECT_TRUE(checkOutputLocation("bare.txt").ok()) << "a bare name lies in the working folder";
        const Status relative = checkOutputLocation("absent/out.txt");
        ASSERT_FALSE(relative.ok());
        EXPECT_EQ(relative.error().message, "Cannot open file absent/out.txt") << "the path as given, not resolved";
    }
    EXPECT_EQ(directory.entries(), (Names{"existing.txt"})) << "checking creates nothing";
}

}  // namespace
}  // namespace orthomix

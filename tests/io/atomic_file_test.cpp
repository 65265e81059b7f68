#include <gtest/gtest.h>

#include <unistd.h>

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
using testing::WorkingFolder;

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

TEST(AtomicOutputFile, RowsOfNumbersAreWrittenAsNumberAfterNumber) {
    // Rows around the block of values written at once, long enough together
    // to cross the buffer, with every form a number takes.
    const TemporaryDirectory directory;
    const std::string path = directory.pathOf("rows.txt");
    const double forms[] = {0.1, -2.5, 1.0 / 3.0, 15000000.0, 1234567.0, 0.00001, 0.0, -0.0, 5e-324,
                            std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    std::string expected;
    const Status status = [&] {
        AtomicOutputFile out(path);
        for (const std::size_t length : {0u, 1u, 63u, 64u, 65u, 129u, 3000u, 9000u}) {
            std::vector<double> row(length);
            for (std::size_t i = 0; i < length; ++i) row[i] = forms[i % std::size(forms)] * static_cast<double>(i + 1);
            out.write("row");
            out.writeNumbers(row, '\t');
            out.write('\n');
            expected += "row";
            for (const double value : row) expected += "\t" + formatNumber(value);
            expected += "\n";
        }
        return out.commit();
    }();
    ASSERT_TRUE(status.ok()) << status.error().message;
    ASSERT_GT(expected.size(), std::size_t{1} << 16);
    EXPECT_TRUE(readWholeFile(path) == expected) << "the rows differ from the numbers written one by one";
}

TEST(AtomicOutputFile, AnUnusablePathFailsAtCommitWithTheSystemsReasonAndLeavesNoFile) {
    const TemporaryDirectory directory;
    const std::string missingFolder = directory.pathOf("absent/result.txt");
    {
        AtomicOutputFile out(missingFolder);
        out.write(std::string(100000, 'x'));
        const Status status = out.commit();
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error().message, "Cannot open file " + missingFolder + ": No such file or directory");
    }
    EXPECT_TRUE(directory.entries().empty());

    // The text is written in full, then the rename cannot take the path.
    fs::create_directory(directory.path() / "taken");
    fs::create_directory(directory.path() / "taken" / "inside");
    const std::string taken = directory.pathOf("taken");
    const Status status = writeFileAtomically(taken, "text\n");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().message, "Cannot open file " + taken + ": Is a directory");
    EXPECT_EQ(directory.entries(), Names{"taken"}) << "the temporary file is removed";
}

TEST(AtomicOutputFile, ALinkIsWrittenThroughToItsTarget) {
    const TemporaryDirectory directory;
    fs::create_directory(directory.path() / "store");
    fs::create_directory(directory.path() / "results");
    const std::string stored = directory.write("store/human.txt", "old results\n");
    fs::create_symlink("../store/human.txt", directory.path() / "results" / "human.txt");
    fs::create_symlink("human.txt", directory.path() / "results" / "again.txt");  // a link to the link
    ASSERT_TRUE(writeFileAtomically(directory.pathOf("results/again.txt"), "new results\n").ok());
    EXPECT_TRUE(fs::is_symlink(directory.path() / "results" / "human.txt")) << "the link stays a link";
    EXPECT_TRUE(fs::is_symlink(directory.path() / "results" / "again.txt"));
    EXPECT_EQ(readWholeFile(stored), "new results\n");
    EXPECT_EQ(TemporaryDirectory::entriesOf(directory.path() / "store"), Names{"human.txt"})
        << "the temporary file was made beside the target and renamed onto it";

    fs::create_symlink("../store/mouse.txt", directory.path() / "results" / "mouse.txt");
    ASSERT_TRUE(writeFileAtomically(directory.pathOf("results/mouse.txt"), "mouse\n").ok());
    EXPECT_EQ(readWholeFile(directory.pathOf("store/mouse.txt")), "mouse\n") << "a dangling link gets its target";

    fs::create_symlink("loop.txt", directory.path() / "results" / "loop.txt");
    const Status loop = writeFileAtomically(directory.pathOf("results/loop.txt"), "x");
    ASSERT_FALSE(loop.ok()) << "a link to itself is no file";
    EXPECT_EQ(loop.error().message,
              "Cannot open file " + directory.pathOf("results/loop.txt") + ": Too many levels of symbolic links");
    EXPECT_TRUE(fs::is_symlink(directory.path() / "results" / "loop.txt")) << "and is not replaced by one";
    const Status prepared = prepareOutputLocation(directory.pathOf("results/loop.txt"));
    ASSERT_FALSE(prepared.ok()) << "found before any work";
    EXPECT_EQ(prepared.error().message, loop.error().message);
}

TEST(AtomicOutputFile, TheEmergencyRemovalTakesTheTemporaryFilesOfOpenFilesOnly) {
    const TemporaryDirectory directory;
    const std::string kept = directory.write("kept.txt", "kept\n");
    {
        AtomicOutputFile committed(directory.pathOf("done.txt"));
        committed.write("done\n");
        ASSERT_TRUE(committed.commit().ok());
        AtomicOutputFile open(kept);
        open.write(std::string(200000, 'x'));
        ASSERT_EQ(directory.entries().size(), 3u) << "kept.txt, done.txt and a temporary file";
        removeTemporaryFilesNow();  // what a second interrupting signal does before the process ends
        EXPECT_EQ(directory.entries(), (Names{"done.txt", "kept.txt"}));
    }
    EXPECT_EQ(readWholeFile(kept), "kept\n");
    EXPECT_EQ(readWholeFile(directory.pathOf("done.txt")), "done\n") << "a committed file is no temporary";
}

TEST(OutputSet, NothingChangesUntilTheCommitThenEveryFileAtOnce) {
    const TemporaryDirectory directory;
    const std::string first = directory.write("first.txt", "old first\n");
    const std::string third = directory.write("third.txt", "old third\n");
    const std::string second = directory.pathOf("second.txt");
    OutputSet set;
    set.add(first).write("new first\n");
    set.add(second).write(std::string(100000, 's'));
    set.add(third).write("new third\n");
    EXPECT_EQ(set.paths(), (Names{first, second, third}));
    ASSERT_TRUE(set.finish().ok());
    EXPECT_EQ(readWholeFile(first), "old first\n") << "written in full, not yet in place";
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(directory.entries().size(), 5u) << "two old files and three temporary ones";

    const Status committed = set.commit();
    ASSERT_TRUE(committed.ok()) << committed.error().message;
    EXPECT_EQ(readWholeFile(first), "new first\n");
    EXPECT_EQ(readWholeFile(second), std::string(100000, 's'));
    EXPECT_EQ(readWholeFile(third), "new third\n");
    EXPECT_EQ(directory.entries(), (Names{"first.txt", "second.txt", "third.txt"}))
        << "no temporary and no second name of an old file is left";

    {
        OutputSet abandoned;
        abandoned.add(first).write("never\n");
        ASSERT_TRUE(abandoned.finish().ok());
    }
    EXPECT_EQ(readWholeFile(first), "new first\n") << "a set that is never committed changes nothing";
    EXPECT_EQ(directory.entries(), (Names{"first.txt", "second.txt", "third.txt"}));
}

TEST(OutputSet, AFailingRenameTakesBackTheFilesRenamedBeforeIt) {
    const TemporaryDirectory directory;
    const std::string replaced = directory.write("replaced.txt", "old text\n");
    const std::string created = directory.pathOf("created.txt");
    const std::string blocked = directory.pathOf("blocked");
    const std::string after = directory.write("after.txt", "old after\n");
    OutputSet set;
    set.add(replaced).write("new text\n");
    set.add(created).write("new file\n");
    set.add(blocked).write("cannot go here\n");
    set.add(after).write("new after\n");
    ASSERT_TRUE(set.finish().ok());
    // Something takes the third name after the checks: the rename onto a folder that holds a file fails.
    fs::create_directory(blocked);
    directory.write("blocked/inside.txt", "");

    const Status status = set.commit();
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().message, "Cannot open file " + blocked + ": Is a directory");
    EXPECT_EQ(readWholeFile(replaced), "old text\n") << "the replaced file is back";
    EXPECT_FALSE(fs::exists(created)) << "the new file is gone again";
    EXPECT_EQ(readWholeFile(after), "old after\n") << "the files after the failure were never touched";
    EXPECT_EQ(directory.entries(), (Names{"after.txt", "blocked", "replaced.txt"}));
}

TEST(OutputSet, AFileThatCannotBeWrittenStopsTheSetBeforeAnyRename) {
    const TemporaryDirectory directory;
    const std::string existing = directory.write("existing.txt", "old\n");
    const std::string missing = directory.pathOf("absent/result.txt");
    OutputSet set;
    set.add(existing).write("new\n");
    set.add(missing).write("lost\n");
    const Status status = set.commit();
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().message, "Cannot open file " + missing + ": No such file or directory");
    EXPECT_EQ(readWholeFile(existing), "old\n");
    EXPECT_EQ(directory.entries(), Names{"existing.txt"});
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


TEST(PrepareOutputLocation, CreatesMissingFoldersAndNamesTheReasonOtherwise) {
    const TemporaryDirectory directory;
    EXPECT_TRUE(prepareOutputLocation(directory.pathOf("new.txt")).ok());
    EXPECT_TRUE(prepareOutputLocation(directory.write("existing.txt", "x")).ok()) << "an existing file may be replaced";
    EXPECT_EQ(directory.entries(), (Names{"existing.txt"})) << "no file is created, only folders";

    ASSERT_TRUE(prepareOutputLocation(directory.pathOf("a/b/c/out.txt")).ok());
    EXPECT_TRUE(fs::is_directory(directory.path() / "a" / "b" / "c")) << "like mkdir -p";
    EXPECT_TRUE(TemporaryDirectory::entriesOf(directory.path() / "a" / "b" / "c").empty());

    const std::string underFile = directory.pathOf("existing.txt/sub/out.txt");
    const Status fileAsFolder = prepareOutputLocation(underFile);
    ASSERT_FALSE(fileAsFolder.ok()) << "a file is no folder";
    EXPECT_EQ(fileAsFolder.error().message,
              "Cannot open file " + underFile + ": " + directory.pathOf("existing.txt") + " is a file, not a folder");

    fs::create_directory(directory.path() / "folder");
    const Status folderAsFile = prepareOutputLocation(directory.pathOf("folder"));
    ASSERT_FALSE(folderAsFile.ok());
    EXPECT_EQ(folderAsFile.error().message, "Cannot open file " + directory.pathOf("folder") + ": Is a directory");

    fs::create_symlink("x/y/target.txt", directory.path() / "a" / "deep.txt");
    ASSERT_TRUE(prepareOutputLocation(directory.pathOf("a/deep.txt")).ok());
    EXPECT_TRUE(fs::is_directory(directory.path() / "a" / "x" / "y")) << "the folder of a link's target is made";

    {
        const WorkingFolder inside(directory.path());
        EXPECT_TRUE(prepareOutputLocation("bare.txt").ok()) << "a bare name lies in the working folder";
        const Status relative = prepareOutputLocation("existing.txt/out.txt");
        ASSERT_FALSE(relative.ok());
        EXPECT_EQ(relative.error().message,
                  "Cannot open file existing.txt/out.txt: existing.txt is a file, not a folder")
            << "the path as given, not resolved";
    }
}

TEST(PrepareOutputLocation, AWriteProtectedFileOrFolderIsRefused) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the superuser may write any file; the end-to-end tests run this case as an unprivileged user";
    }
    const TemporaryDirectory directory;
    const std::string protectedFile = directory.write("protected.txt", "keep\n");
    fs::permissions(protectedFile, fs::perms::owner_read);
    const Status file = prepareOutputLocation(protectedFile);
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(file.error().message, "Cannot open file " + protectedFile + ": Permission denied");

    fs::create_directory(directory.path() / "closed");
    fs::permissions(directory.path() / "closed", fs::perms::owner_read | fs::perms::owner_exec);
    const Status folder = prepareOutputLocation(directory.pathOf("closed/out.txt"));
    fs::permissions(directory.path() / "closed", fs::perms::owner_all);
    ASSERT_FALSE(folder.ok());
    EXPECT_EQ(folder.error().message, "Cannot open file " + directory.pathOf("closed/out.txt") + ": Permission denied");
}

}  // namespace
}  // namespace orthomix

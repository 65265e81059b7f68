// Telling whether two paths name one file: the check that keeps a result
// from replacing an input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "io/file_location.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;
using testing::WorkingFolder;

bool same(const std::string& a, const std::string& b) { return sameFile(locateFile(a), locateFile(b)); }


TEST(FileLocation, PathsThatReachOneFileAreTheSameFile) {
    const TemporaryDirectory directory;
    const std::string data = directory.write("data.txt", "values\n");
    fs::create_directory(directory.path() / "out");
    EXPECT_TRUE(same(data, data));
    EXPECT_TRUE(same(data, directory.pathOf("out/../data.txt"))) << "through ..";
    EXPECT_TRUE(same(data, directory.pathOf("./out/./../data.txt"))) << "through . and ..";
    EXPECT_TRUE(same(data, directory.pathOf("absent/../data.txt")))
        << "a folder the run would create first leads back the same way";

    fs::create_symlink("../data.txt", directory.path() / "out" / "link.txt");
    EXPECT_TRUE(same(directory.pathOf("out/link.txt"), data)) << "a link leads to its target";
    fs::create_symlink(directory.path() / "out", directory.path() / "folder_link");
    EXPECT_TRUE(same(directory.pathOf("folder_link/../data.txt"), directory.pathOf("out/../data.txt")))
        << "a linked folder resolves before ..";
    fs::create_hard_link(data, directory.path() / "hard.txt");
    EXPECT_TRUE(same(directory.pathOf("hard.txt"), data)) << "a hard link is the same file under another name";

    EXPECT_TRUE(same(directory.pathOf("new/a.txt"), directory.pathOf("new/./a.txt")))
        << "two outputs not yet written can still name one file";
    {
        const WorkingFolder inside(directory.path());
        EXPECT_TRUE(same("absent/../data.txt", "data.txt")) << "relative, with a missing first folder";
        EXPECT_TRUE(same("absent/../new.txt", "new.txt")) << "relative, neither file there yet";
        EXPECT_TRUE(same("data.txt", data)) << "relative and absolute";
    }
    fs::create_symlink("../new/a.txt", directory.path() / "out" / "dangling.txt");
    EXPECT_TRUE(same(directory.pathOf("out/dangling.txt"), directory.pathOf("new/a.txt")))
        << "a dangling link leads to the file that writing through it creates";
}

TEST(FileLocation, DifferentFilesStayApart) {
    const TemporaryDirectory directory;
    const std::string data = directory.write("data.txt", "values\n");
    const std::string copy = directory.write("copy.txt", "values\n");
    EXPECT_FALSE(same(data, copy)) << "equal contents are not the same file";
    EXPECT_FALSE(same(data, directory.pathOf("data.txt.bak")));
    EXPECT_FALSE(same(directory.pathOf("a/x.txt"), directory.pathOf("b/x.txt")));
    fs::create_directory(directory.path() / "sub");
    EXPECT_FALSE(same(directory.pathOf("sub/data.txt"), data)) << "the same name in another folder";
}

TEST(FollowLinks, FollowsChainsFromEachLinksFolderAndStopsOnALoop) {
    const TemporaryDirectory directory;
    fs::create_directories(directory.path() / "a" / "b");
    fs::create_symlink("b/target.txt", directory.path() / "a" / "first.txt");
    fs::create_symlink("first.txt", directory.path() / "a" / "second.txt");
    EXPECT_EQ(followLinks(directory.pathOf("a/second.txt")), directory.path() / "a" / "b" / "target.txt");
    EXPECT_EQ(followLinks(directory.pathOf("plain.txt")), directory.path() / "plain.txt") << "no link, no change";
    fs::create_symlink("ping.txt", directory.path() / "pong.txt");
    fs::create_symlink("pong.txt", directory.path() / "ping.txt");
    const fs::path end = followLinks(directory.pathOf("ping.txt"));
    EXPECT_TRUE(fs::is_symlink(end)) << "a loop ends on a link, which no file lies behind";
}

}  // namespace
}  // namespace orthomix

// Outputs that must be written where they are, never replaced (devices,
// FIFOs, the process's own descriptors), and temporary names that a planted
// file or link cannot redirect.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "io/atomic_file.h"
#include "io/file_location.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

namespace fs = std::filesystem;
using testing::readWholeFile;
using testing::TemporaryDirectory;

std::string ownPid() { return std::to_string(::getpid()); }

bool isCharacterDevice(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

// Everything the descriptor gives until its writers close it.
std::string readAll(int descriptor) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(descriptor, buffer, sizeof buffer)) > 0;) text.append(buffer, buffer + got);
    return text;
}

TEST(TemporaryNames, LinksPlantedAtEveryNameARunMayUseLeaveTheirTargetsUntouched) {
    const TemporaryDirectory directory;
    const std::string victim = directory.write("victim.txt", "not yours\n");
    const std::string target = directory.write("out.txt", "old results\n");
    // The temporary and backup names, and the next few a taken name leads to.
    std::vector<std::string> planted;
    for (const char* marker : {".tmp", ".old"}) {
        for (const std::string& extra : {std::string(), std::string("1"), std::string("2")}) {
            planted.push_back(target + marker + ownPid() + extra);
            fs::create_symlink(victim, planted.back());
        }
    }
    const std::string plantedFile = directory.write("out.txt.tmp" + ownPid() + "3", "someone's file\n");

    OutputSet set;
    set.add(target).write("new results\n");
    const Status committed = set.commit();
    ASSERT_TRUE(committed.ok()) << committed.error().message;
    EXPECT_EQ(readWholeFile(target), "new results\n");
    EXPECT_EQ(readWholeFile(victim), "not yours\n") << "nothing was written through a planted link";
    EXPECT_EQ(readWholeFile(plantedFile), "someone's file\n") << "nor into a file that held a name before";
    for (const std::string& link : planted) EXPECT_TRUE(fs::is_symlink(link)) << link << " is left as it was";
    EXPECT_EQ(directory.entries().size(), planted.size() + 3) << "no temporary or backup file is left";
}

TEST(TemporaryNames, WhenEveryNameIsTakenTheFileFailsWithoutTouchingAny) {
    const TemporaryDirectory directory;
    const std::string victim = directory.write("victim.txt", "not yours\n");
    const std::string target = directory.pathOf("out.txt");
    fs::create_symlink(victim, target + ".tmp" + ownPid());
    for (int n = 1; n < 100; ++n) fs::create_symlink(victim, target + ".tmp" + ownPid() + std::to_string(n));
    const Status status = writeFileAtomically(target, "new\n");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().message, "Cannot open file " + target + ": File exists");
    EXPECT_EQ(readWholeFile(victim), "not yours\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
}

TEST(TemporaryNames, ANameOrPathWithoutRoomForTheSuffixIsRefusedBeforeAnyWork) {
    const TemporaryDirectory directory;
    const std::string longName = directory.pathOf(std::string(254, 'n'));
    const Status name = prepareOutputLocation(longName);
    ASSERT_FALSE(name.ok()) << "a 254-byte name is legal, but not with .tmp<pid> added";
    EXPECT_NE(name.error().message.find(": its name of 254 bytes is too long"), std::string::npos)
        << name.error().message;
    EXPECT_LT(name.error().message.size(), 1000u) << "the path is cut in the message";
    EXPECT_TRUE(prepareOutputLocation(directory.pathOf(std::string(230, 'n'))).ok()) << "room enough";

    std::string deep = directory.path().string();
    while (deep.size() < 4080) deep += "/d";
    deep += "/" + std::string(4090 - deep.size() - 1, 'x');
    ASSERT_EQ(deep.size(), 4090u);
    const Status path = prepareOutputLocation(deep);
    ASSERT_FALSE(path.ok());
    EXPECT_NE(path.error().message.find("the path of 4090 bytes is too long"), std::string::npos)
        << path.error().message;
    EXPECT_TRUE(directory.entries().empty()) << "no folder is made for a path that cannot be written";
}

TEST(SpecialOutputs, DescriptorPathsAreRecognisedAlsoThroughLinks) {
    EXPECT_EQ(descriptorOfPath("/dev/stdout"), 1);
    EXPECT_EQ(descriptorOfPath("/dev/stderr"), 2);
    EXPECT_EQ(descriptorOfPath("/dev/fd/12"), 12);
    EXPECT_EQ(descriptorOfPath("/proc/self/fd/7"), 7);
    EXPECT_EQ(descriptorOfPath("/proc/" + ownPid() + "/fd/3"), 3);
    EXPECT_EQ(descriptorOfPath("/proc/self/fd/x1"), -1);
    EXPECT_EQ(descriptorOfPath("/proc/self/fd/"), -1);
    EXPECT_EQ(descriptorOfPath("/dev/null"), -1);
    EXPECT_EQ(descriptorOfPath("results.txt"), -1);
    const TemporaryDirectory directory;
    fs::create_symlink("/dev/stderr", directory.path() / "errors");
    EXPECT_EQ(descriptorOfPath(directory.pathOf("errors")), 2) << "a link to /dev/stderr";
    EXPECT_TRUE(isSpecialOutput(directory.pathOf("errors")));
    EXPECT_FALSE(isSpecialOutput(directory.write("plain.txt", "x")));
    EXPECT_FALSE(isSpecialOutput(directory.pathOf("absent.txt")));
}

TEST(SpecialOutputs, ADescriptorPathIsWrittenToThatDescriptorAndOnlyAWritableOneIsAccepted) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const std::string writeEnd = "/proc/self/fd/" + std::to_string(pipeEnds[1]);
    const std::string readEnd = "/proc/self/fd/" + std::to_string(pipeEnds[0]);
    EXPECT_TRUE(prepareOutputLocation(writeEnd).ok());
    const Status readOnly = prepareOutputLocation(readEnd);
    ASSERT_FALSE(readOnly.ok()) << "the read end takes no results";
    EXPECT_EQ(readOnly.error().message, "Cannot open file " + readEnd + ": Bad file descriptor");

    std::string text;
    for (int i = 0; i < 2000; ++i) text += "pair " + std::to_string(i) + "\n";
    {
        AtomicOutputFile out(writeEnd);
        out.write(text);
        ASSERT_TRUE(out.commit().ok());
    }
    ::close(pipeEnds[1]);
    EXPECT_EQ(readAll(pipeEnds[0]), text) << "the text went through the pipe, as a result to standard output does";
    ::close(pipeEnds[0]);
    EXPECT_FALSE(prepareOutputLocation(writeEnd).ok()) << "a closed descriptor is refused before any work";
}

TEST(SpecialOutputs, AFifoIsWrittenAfterTheRegularFilesAndStaysAFifo) {
    const TemporaryDirectory directory;
    const std::string fifo = directory.pathOf("results.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string regular = directory.pathOf("regular.txt");
    std::string received;
    bool regularInPlaceFirst = false;
    std::thread reader([&] {
        const int descriptor = ::open(fifo.c_str(), O_RDONLY);
        regularInPlaceFirst = fs::exists(regular);  // the writer opens the FIFO only after the renames
        received = readAll(descriptor);
        ::close(descriptor);
    });
    ASSERT_TRUE(prepareOutputLocation(fifo).ok());
    OutputSet set;
    set.add(fifo).write(std::string(300000, 'f'));  // more than a pipe holds: written while read
    set.add(regular).write("regular\n");
    const Status committed = set.commit();
    reader.join();
    ASSERT_TRUE(committed.ok()) << committed.error().message;
    EXPECT_EQ(received, std::string(300000, 'f'));
    EXPECT_TRUE(regularInPlaceFirst);
    EXPECT_TRUE(fs::is_fifo(fifo)) << "not replaced by a regular file";
    EXPECT_EQ(directory.entries(), (std::vector<std::string>{"regular.txt", "results.fifo"}));
}

// Copies of the null and full devices, where this user may make device files.
class DeviceCopies : public ::testing::Test {
protected:
    void SetUp() override {
        null_ = directory_.pathOf("null");
        full_ = directory_.pathOf("full");
        if (::mknod(null_.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0 ||
            ::mknod(full_.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) != 0) {
            GTEST_SKIP() << "device files cannot be made here";
        }
    }
    TemporaryDirectory directory_;
    std::string null_, full_;
};

TEST_F(DeviceCopies, ADeviceIsWrittenNeverReplacedAndItsFailureIsReported) {
    ASSERT_TRUE(prepareOutputLocation(null_).ok());
    ASSERT_TRUE(writeFileAtomically(null_, "discarded\n").ok());
    EXPECT_TRUE(isCharacterDevice(null_)) << "still the device";

    const std::string regular = directory_.pathOf("regular.txt");
    OutputSet set;
    set.add(full_).write("no room\n");
    set.add(regular).write("in place\n");
    const Status full = set.commit();
    ASSERT_FALSE(full.ok());
    EXPECT_EQ(full.error().message, "Cannot open file " + full_ + ": No space left on device");
    EXPECT_TRUE(isCharacterDevice(full_));
    EXPECT_EQ(readWholeFile(regular), "in place\n") << "the regular files were in place before the device was written";
    EXPECT_EQ(directory_.entries(), (std::vector<std::string>{"full", "null", "regular.txt"}));
}

TEST_F(DeviceCopies, ABlockDeviceIsRefusedBeforeAnyWork) {
    const std::string disk = directory_.pathOf("disk");
    ASSERT_EQ(::mknod(disk.c_str(), S_IFBLK | 0600, ::makedev(7, 0)), 0);  // never opened by the check
    const Status status = prepareOutputLocation(disk);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().message,
              "Cannot open file " + disk + ": it is a block device (a disk or partition), which takes no results");
}

TEST_F(DeviceCopies, SeveralOutputsMayShareTheNullDeviceButNoOtherFile) {
    const FileLocation null = locateFile(null_);
    const FileLocation systemNull = locateFile("/dev/null");
    const FileLocation full = locateFile(full_);
    EXPECT_TRUE(null.nullDevice);
    EXPECT_TRUE(systemNull.nullDevice);
    EXPECT_FALSE(full.nullDevice);
    EXPECT_FALSE(outputsCollide(null, null));
    EXPECT_FALSE(outputsCollide(null, systemNull));
    EXPECT_TRUE(outputsCollide(full, full)) << "the full device is one file like any other";
    const FileLocation regular = locateFile(directory_.write("a.txt", "x"));
    EXPECT_TRUE(outputsCollide(regular, regular));
    EXPECT_FALSE(outputsCollide(regular, null));
}

}  // namespace
}  // namespace orthomix

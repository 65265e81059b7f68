// The installed tool, found on the PATH, as the README's command line uses it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/process_support.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

TEST(Install, PutsTheToolAndTheGeneratorInBinSoThatTheReadmesCommandWorks) {
    TempDir work;
    const fs::path prefix = work.path() / "prefix with space";
    const CommandResult install =
        runShell(work.path(), "\"" + std::string(ORTHOMIX_CMAKE) + "\" --install \"" + ORTHOMIX_BUILD_DIR +
                                  "\" --prefix \"" + prefix.string() + "\"");
    ASSERT_EQ(install.exitStatus, 0) << install.out << install.err;
    for (const char* program : {"orthomix", "orthomix_generate"}) {
        const fs::path path = prefix / "bin" / program;
        EXPECT_TRUE(fs::is_regular_file(path)) << path;
        EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::none) << path;
    }

    fs::create_directory(work.path() / "data");
    const CommandResult run = runShell(
        work.path() / "data", "export PATH=\"" + (prefix / "bin").string() +
                                  ":$PATH\"; orthomix_generate --out . --parameter-file --human-genes 200 "
                                  "--mouse-genes 180 --k 3 --runs 1 > /dev/null && orthomix ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("Final BIC:"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::is_regular_file(work.path() / "data" / "out" / "human_clusters.txt"));
    const CommandResult version = runShell(work.path(), "\"" + (prefix / "bin" / "orthomix").string() + "\" --version");
    EXPECT_EQ(version.out, "orthomix " ORTHOMIX_VERSION "\n");
}

}  // namespace
}  // namespace orthomix::testing

// The installed tool, found on the PATH, as the README's command line uses it,
// and its manual page, found by man.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/process_support.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

TEST(Install, PutsTheToolAndTheGeneratorInBinAndTheManualPageInManSoThatTheReadmesCommandsWork) {
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

    const fs::path page = prefix / ORTHOMIX_INSTALL_MANDIR / "man1" / "orthomix.1";
    ASSERT_TRUE(fs::is_regular_file(page)) << page;
    EXPECT_EQ(readFile(page.string()), readFile(std::string(ORTHOMIX_SOURCE_DIR) + "/docs/orthomix.1"));
    if (runShell(work.path(), "command -v man && command -v groff").exitStatus == 0) {
        // The reader's way: man finds the page by name under the installed prefix.
        const CommandResult man = runShell(work.path(), "MANPATH=\"" + (prefix / ORTHOMIX_INSTALL_MANDIR).string() +
                                                            "\" MANPAGER=cat MANWIDTH=80 man orthomix");
        EXPECT_EQ(man.exitStatus, 0) << man.err;
        EXPECT_NE(man.out.find("ORTHOMIX(1)"), std::string::npos) << man.out;
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

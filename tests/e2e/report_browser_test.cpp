// The HTML report of the example opened in headless Chromium: every chart
// draws, nothing is logged as an error or warning, no request leaves the
// page; a screenshot is kept in the build folder. The page reports on itself
// in #render-status (see src/driver/report_page.html).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

// The browser, or empty when it is not installed.
std::string chromium() {
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (fs::exists(path)) return path;
    }
    return "";
}

void copyExample(const fs::path& folder, const std::string& extra) {
    fs::create_directories(folder / "out");
    for (const auto& entry : fs::directory_iterator(ORTHOMIX_EXAMPLES)) {
        if (entry.is_regular_file()) fs::copy_file(entry.path(), folder / entry.path().filename());
    }
    writeFile((folder / "ParameterSetting.txt").string(), readFile((folder / "ParameterSetting.txt").string()) + extra);
}

// Runs the browser on the page with a fresh profile; `action` is --dump-dom or --screenshot=<file>.
std::string runBrowser(const TempDir& work, const fs::path& page, const std::string& action) {
    static int profiles = 0;
    const fs::path profile = work.path() / ("profile" + std::to_string(profiles++));
    const std::string output = work.file("browser.out");
    // The budget is virtual time: the page's own work is not cut short by it.
    const std::string command = "timeout 180 '" + chromium() +
                                "' --headless --no-sandbox --disable-gpu --disable-dev-shm-usage "
                                "--disable-background-networking --disable-component-update --disable-sync "
                                "--no-first-run --hide-scrollbars --user-data-dir='" +
                                profile.string() + "' --virtual-time-budget=30000 --window-size=1100,3000 " + action +
                                " 'file://" + page.string() + "' > '" + output + "' 2> '" + work.file("browser.err") +
                                "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command << "\n" << readFile(work.file("browser.err"));
    return readFile(output);
}

struct RenderStatus {
    std::string state;
    std::map<std::string, long> marks;  // per chart
    std::string problems;               // the JSON list
    std::string requests;
};

// Reads the status element of the dumped page: data-state="..." and its JSON text.
RenderStatus renderStatus(const std::string& dom) {
    RenderStatus status;
    const std::size_t element = dom.find("<div id=\"render-status\"");
    if (element == std::string::npos) return status;
    const std::size_t stateAt = dom.find("data-state=\"", element) + 12;
    status.state = dom.substr(stateAt, dom.find('"', stateAt) - stateAt);
    const std::size_t textAt = dom.find('>', element) + 1;
    const std::string text = dom.substr(textAt, dom.find('<', textAt) - textAt);
    const std::size_t charts = text.find("\"charts\":{");
    if (charts != std::string::npos) {
        const std::string list = text.substr(charts + 10, text.find('}', charts) - charts - 10);
        for (std::size_t at = 0; at < list.size();) {
            const std::size_t nameEnd = list.find('"', at + 1);
            const std::size_t colon = list.find(':', nameEnd);
            status.marks[list.substr(at + 1, nameEnd - at - 1)] = std::strtol(list.c_str() + colon + 1, nullptr, 10);
            const std::size_t comma = list.find(',', colon);
            at = comma == std::string::npos ? list.size() : comma + 1;
        }
    }
    const std::size_t problems = text.find("\"problems\":");
    if (problems != std::string::npos) {
        const std::size_t end = text.find("],\"requests\"", problems);
        status.problems = text.substr(problems + 11, end == std::string::npos ? 0 : end + 1 - problems - 11);
    }
    const std::size_t requests = text.find("\"requests\":");
    if (requests != std::string::npos) status.requests = text.substr(requests + 11, text.find(',', requests) - requests - 11);
    return status;
}

TEST(ReportInBrowser, EveryChartOfTheExampleDrawsWithoutErrorsOrRequests) {
    if (chromium().empty()) {
        if (std::getenv("CI")) FAIL() << "chromium is not installed (Debian: chromium)";
        GTEST_SKIP() << "chromium is not installed (Debian: chromium); the report is not checked in a browser";
    }
    TempDir work;
    const std::vector<std::string> single = {"heatmap", "profiles", "sizes", "likelihood"};
    std::vector<std::string> sweep = single;
    sweep.push_back("choice");
    const std::pair<std::string, std::vector<std::string>> runs[] = {{"", single}, {"kValues = 5-7\n", sweep}};
    for (const auto& [extra, charts] : runs) {
        const fs::path folder = work.path() / (extra.empty() ? "example" : "sweep");
        copyExample(folder, "reportFile = out/report.html\n" + extra);
        const CommandResult run = runTool(folder, "ParameterSetting.txt");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const fs::path page = folder / "out/report.html";
        EXPECT_LT(fs::file_size(page), 5u << 20);

        const RenderStatus status = renderStatus(runBrowser(work, page, "--dump-dom"));
        const std::string context = extra.empty() ? "the example" : "the example with " + extra;
        EXPECT_EQ(status.state, "drawn") << context << ": problems " << status.problems;
        EXPECT_EQ(status.problems, "[]") << context;
        EXPECT_EQ(status.requests, "0") << context << ": the page asked for a resource";
        EXPECT_EQ(status.marks.size(), charts.size()) << context;
        for (const std::string& chart : charts) {
            EXPECT_GT(status.marks.count(chart) ? status.marks.at(chart) : 0, 0) << context << ": " << chart;
        }
        if (extra.empty()) {
            // Six clusters each side: 36 cells, each with its count.
            EXPECT_EQ(status.marks.at("heatmap"), 72) << context;
        }
    }

    const fs::path screenshot = fs::path(ORTHOMIX_BUILD_DIR) / "report_screenshot.png";
    fs::remove(screenshot);
    runBrowser(work, work.path() / "sweep/out/report.html", "--screenshot='" + screenshot.string() + "'");
    ASSERT_TRUE(fs::exists(screenshot));
    const std::string png = readFile(screenshot.string());
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_GT(png.size(), 50000u) << "a blank page would compress to far less";
}

}  // namespace
}  // namespace orthomix::testing

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

#include "e2e/planted_dataset.h"
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

// Runs the browser on the page (with `fragment` after its address) with a
// fresh profile; `action` is --dump-dom or --screenshot=<file>.
std::string runBrowser(const TempDir& work, const fs::path& page, const std::string& action,
                       const std::string& windowSize = "1100,3000", const std::string& fragment = "") {
    static int profiles = 0;
    const fs::path profile = work.path() / ("profile" + std::to_string(profiles++));
    const std::string output = work.file("browser.out");
    // The budget is virtual time: the page's own work is not cut short by it.
    const std::string command = "timeout 180 '" + chromium() +
                                "' --headless --no-sandbox --disable-gpu --disable-dev-shm-usage "
                                "--disable-background-networking --disable-component-update --disable-sync "
                                "--no-first-run --hide-scrollbars --user-data-dir='" +
                                profile.string() + "' --virtual-time-budget=30000 --window-size=" + windowSize + " " + action +
                                " 'file://" + page.string() + fragment + "' > '" + output + "' 2> '" + work.file("browser.err") +
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

// The text of the JSON member `name` in the status's checks: a number, or a quoted string without its quotes.
std::string checked(const std::string& dom, const std::string& name) {
    const std::size_t checks = dom.find("\"checks\":");
    if (checks == std::string::npos) return "";
    const std::size_t at = dom.find("\"" + name + "\":", checks);
    if (at == std::string::npos) return "";
    std::size_t begin = at + name.size() + 3;
    const bool quoted = dom[begin] == '"';
    if (quoted) ++begin;
    const std::size_t end = dom.find_first_of(quoted ? "\"" : ",}", begin);
    return dom.substr(begin, end - begin);
}

TEST(ReportInBrowser, AReaderFindsAGeneSavesAListAndExportsAChartWithoutSidewaysScrolling) {
    if (chromium().empty()) {
        if (std::getenv("CI")) FAIL() << "chromium is not installed (Debian: chromium)";
        GTEST_SKIP() << "chromium is not installed (Debian: chromium); the report is not checked in a browser";
    }
    TempDir work;
    const fs::path folder = work.path() / "example";
    copyExample(folder, "reportFile = out/report.html\nassignmentFile_hm = out/human.tsv\nkValues = 5-7\n");
    const CommandResult run = runTool(folder, "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    // A gene in a cluster, and how many genes human cluster 0 holds, from the assignment table.
    std::string gene;
    std::string cluster;
    long inClusterZero = 0;
    const std::vector<std::string> rows = readLines((folder / "out/human.tsv").string());
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const std::vector<std::string> fields = splitText(rows[r], '\t');
        if (fields.size() < 3) continue;
        if (gene.empty() && fields[2] != "scatter") {
            gene = fields[0];
            cluster = fields[2];
        }
        inClusterZero += fields[2] == "0";
    }
    ASSERT_FALSE(gene.empty());

    const std::string dom = runBrowser(work, folder / "out/report.html", "--dump-dom", "1280,3000", "#check=" + gene);
    const RenderStatus status = renderStatus(dom);
    EXPECT_EQ(status.state, "drawn") << "problems " << status.problems;
    EXPECT_EQ(status.requests, "0") << "saving and exporting stay in the page";
    EXPECT_EQ(checked(dom, "identifier"), gene) << "the search finds the gene";
    EXPECT_EQ(checked(dom, "cluster"), cluster) << "and shows its cluster";
    EXPECT_EQ(checked(dom, "name"), "human_cluster_0.tsv");
    EXPECT_EQ(std::strtol(checked(dom, "lines").c_str(), nullptr, 10), inClusterZero + 1)
        << "the saved list holds a header and every gene of the cluster";
    const long scrollWidth = std::strtol(checked(dom, "scrollWidth").c_str(), nullptr, 10);
    const long windowWidth = std::strtol(checked(dom, "windowWidth").c_str(), nullptr, 10);
    EXPECT_GT(windowWidth, 0);
    EXPECT_LE(scrollWidth, windowWidth) << "no sideways scrolling at 1280 px";
    EXPECT_GT(std::strtol(checked(dom, "svgBytes").c_str(), nullptr, 10), 1000) << "a chart exports as SVG";
}

}  // namespace
}  // namespace orthomix::testing

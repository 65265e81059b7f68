// The documentation kept in step with the tool: every key that --help lists
// (the help is generated from the settings table) has a row in the parameter
// reference and an entry in the manual page, and neither names a key the tool
// does not know; the links between the pages lead somewhere; the manual page
// renders without warnings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = ORTHOMIX_SOURCE_DIR;
const char* const kParameterReference = "docs/parameters.md";
const char* const kManualPage = "docs/orthomix.1";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool isKeyCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool isKey(const std::string& word) {
    return !word.empty() && !std::isdigit(static_cast<unsigned char>(word[0])) &&
           std::all_of(word.begin(), word.end(), isKeyCharacter);
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string sourceText(const fs::path& relative) { return readFile((kSourceDir / relative).string()); }

// The keys in the help: lines "  <key>  <what it does>", two spaces in. The
// options' lines start with "-", and continuation lines are indented deeper.
std::vector<std::string> keysInHelp(const std::string& help) {
    std::vector<std::string> keys;
    for (const std::string& line : linesOf(help)) {
        if (line.size() < 3 || line.compare(0, 2, "  ") != 0 || line[2] == ' ') continue;
        const std::string word = line.substr(2, line.find(' ', 2) - 2);
        if (isKey(word) && line.size() > 2 + word.size()) keys.push_back(word);
    }
    return keys;
}

std::vector<std::string> keysTheToolLists() {
    TempDir work;
    const CommandResult help = runTool(work.path(), "--help");
    EXPECT_EQ(help.exitStatus, 0) << help.err;
    return keysInHelp(help.out);
}

// The first cell of every row of the table headed "| Key |": one key in
// backticks. A cell of another shape is returned as it stands, so that it
// shows up as a key the tool does not know.
std::vector<std::string> keysInReferenceTable(const std::string& markdown) {
    std::vector<std::string> keys;
    bool inTable = false;
    for (const std::string& line : linesOf(markdown)) {
        if (line.rfind("| Key |", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable) continue;
        if (line.rfind("|", 0) != 0) break;
        if (line.rfind("|---", 0) == 0) continue;
        std::string cell = trimmed(line.substr(1, line.find('|', 1) - 1));
        if (cell.size() > 2 && cell.front() == '`' && cell.back() == '`') cell = cell.substr(1, cell.size() - 2);
        keys.push_back(cell);
    }
    return keys;
}

// The keys of the manual page: the ".B <key>" tag of every ".TP" entry of its
// KEYS section.
std::vector<std::string> keysInManualPage(const std::string& roff) {
    std::vector<std::string> keys;
    const std::vector<std::string> lines = linesOf(roff);
    bool inKeys = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(".SH", 0) == 0) inKeys = trimmed(lines[i].substr(3)) == "KEYS";
        if (!inKeys || lines[i] != ".TP" || i + 1 == lines.size()) continue;
        const std::string& tag = lines[i + 1];
        keys.push_back(tag.rfind(".B ", 0) == 0 ? trimmed(tag.substr(3)) : tag);
    }
    return keys;
}

std::string missingFrom(const std::vector<std::string>& wanted, const std::vector<std::string>& present) {
    std::string missing;
    for (const std::string& key : wanted) {
        if (std::find(present.begin(), present.end(), key) == present.end()) missing += " " + key;
    }
    return missing;
}

std::string duplicatesIn(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    std::string duplicates;
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (keys[i] == keys[i - 1]) duplicates += " " + keys[i];
    }
    return duplicates;
}

// Each known key once among the keys a page describes, and no other.
void expectExactlyTheKnownKeys(const std::vector<std::string>& known, const std::vector<std::string>& described,
                               const char* page) {
    EXPECT_EQ(missingFrom(known, described), "") << "keys the tool knows but " << page << " does not describe";
    EXPECT_EQ(missingFrom(described, known), "") << "keys " << page << " describes but the tool does not know";
    EXPECT_EQ(duplicatesIn(described), "") << "keys described twice in " << page;
}

// The README and the reference pages, relative to the source tree.
std::vector<fs::path> markdownPages() {
    std::vector<fs::path> pages = {"README.md"};
    for (const auto& entry : fs::directory_iterator(kSourceDir / "docs")) {
        if (entry.path().extension() == ".md") pages.push_back(fs::relative(entry.path(), kSourceDir));
    }
    return pages;
}

TEST(Documentation, TheParameterReferenceAndTheManualPageHaveEveryKeyOfTheHelpAndNoOther) {
    const std::vector<std::string> known = keysTheToolLists();
    // The help is read right only if it yields the keys a run cannot do without.
    ASSERT_EQ(missingFrom({"dataFile_hm", "orthologFile", "k", "nMaxAlgRun", "seed"}, known), "");

    const std::string reference = sourceText(kParameterReference);
    ASSERT_FALSE(reference.empty()) << kParameterReference;
    expectExactlyTheKnownKeys(known, keysInReferenceTable(reference), kParameterReference);

    const std::string page = sourceText(kManualPage);
    ASSERT_FALSE(page.empty()) << kManualPage;
    expectExactlyTheKnownKeys(known, keysInManualPage(page), kManualPage);
}

// The "name = value" lines of the page's examples, one list per example:
// Markdown code blocks indented by four spaces, and the manual page's .EX blocks.
std::vector<std::vector<std::string>> exampleAssignments(const std::string& page) {
    std::vector<std::vector<std::string>> examples(1);
    bool inRoffExample = false;
    for (const std::string& line : linesOf(page)) {
        if (line == ".EX" || line == ".EE") inRoffExample = line == ".EX";
        const bool inExample = inRoffExample || line.rfind("    ", 0) == 0;
        if (!inExample && !examples.back().empty()) examples.emplace_back();
        const std::size_t equals = line.find(" = ");
        if (inExample && equals != std::string::npos && isKey(trimmed(line.substr(0, equals)))) {
            examples.back().push_back(line);
        }
    }
    return examples;
}

TEST(Documentation, ExampleParameterFilesUseOnlyKeysTheToolKnows) {
    const std::vector<std::string> known = keysTheToolLists();
    ASSERT_FALSE(known.empty());
    const auto isKnown = [&](const std::string& line) {
        const std::string key = trimmed(line.substr(0, line.find(" = ")));
        return std::find(known.begin(), known.end(), key) != known.end();
    };
    std::vector<fs::path> pages = markdownPages();
    pages.push_back(kManualPage);
    std::size_t parameterExamples = 0;
    for (const fs::path& page : pages) {
        for (const std::vector<std::string>& example : exampleAssignments(sourceText(page))) {
            // An example with no known key is not a parameter file (a formula, say).
            if (std::none_of(example.begin(), example.end(), isKnown)) continue;
            ++parameterExamples;
            for (const std::string& line : example) {
                EXPECT_TRUE(isKnown(line)) << page << ": \"" << line << "\" uses a key the tool does not know";
            }
        }
    }
    EXPECT_GT(parameterExamples, 3u) << "the example parameter files were not found";
}

// The anchor a heading gets: lower case, spaces to hyphens, punctuation other
// than hyphens and underscores dropped.
std::string anchorOf(const std::string& heading) {
    std::string anchor;
    for (const char c : heading) {
        if (c == ' ') {
            anchor += '-';
        } else if (isKeyCharacter(c) || c == '-' || static_cast<unsigned char>(c) >= 0x80) {
            anchor += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return anchor;
}

std::set<std::string> anchorsIn(const std::string& markdown) {
    std::set<std::string> anchors;
    for (const std::string& line : linesOf(markdown)) {
        const std::size_t hashes = line.find_first_not_of('#');
        if (hashes == 0 || hashes == std::string::npos || line[hashes] != ' ') continue;
        anchors.insert(anchorOf(trimmed(line.substr(hashes))));
    }
    return anchors;
}

// Every "](target)" of the page that is not a web address.
std::vector<std::string> localLinks(const std::string& markdown) {
    std::vector<std::string> links;
    for (std::size_t at = markdown.find("]("); at != std::string::npos; at = markdown.find("](", at + 2)) {
        const std::size_t end = markdown.find(')', at + 2);
        if (end == std::string::npos) break;
        const std::string target = markdown.substr(at + 2, end - at - 2);
        if (target.rfind("http://", 0) != 0 && target.rfind("https://", 0) != 0) links.push_back(target);
    }
    return links;
}

TEST(Documentation, LinksBetweenTheReadmeAndTheDocsLeadToPagesAndHeadingsThatExist) {
    const std::vector<fs::path> pages = markdownPages();
    ASSERT_GE(pages.size(), 2u) << "no pages in docs/";
    std::size_t checked = 0;
    for (const fs::path& page : pages) {
        for (const std::string& link : localLinks(sourceText(page))) {
            const std::size_t hash = link.find('#');
            const std::string file = link.substr(0, hash);
            const fs::path target = kSourceDir / (file.empty() ? page : page.parent_path() / file);
            ++checked;
            if (!fs::exists(target)) {
                ADD_FAILURE() << page << " links to " << link << ", which does not exist";
                continue;
            }
            if (hash == std::string::npos) continue;
            const std::set<std::string> anchors = anchorsIn(readFile(target.string()));
            EXPECT_TRUE(anchors.count(link.substr(hash + 1)))
                << page << " links to " << link << ", a heading that does not exist";
        }
    }
    EXPECT_GT(checked, 10u);
}

TEST(Documentation, TheManualPageAndTheCitationCarryTheVersionOfTheTool) {
    const std::string page = sourceText(kManualPage);
    const std::string title = page.substr(0, page.find('\n'));
    EXPECT_EQ(title.rfind(".TH ORTHOMIX 1 ", 0), 0u) << title;
    EXPECT_NE(title.find("\"orthomix " ORTHOMIX_VERSION "\""), std::string::npos) << title;
    const std::string citation = sourceText("CITATION.cff");
    EXPECT_NE(citation.find("\nversion: " ORTHOMIX_VERSION "\n"), std::string::npos) << citation;
}

bool onThePath(const std::string& program) {
    TempDir work;
    return runCaptured(work.path(), "command -v " + program).exitStatus == 0;
}

CommandResult renderManualPage(const fs::path& directory, const fs::path& page) {
    // "w" turns on every warning of the formatter, undefined macros included.
    return runCaptured(directory, "MANWIDTH=80 MANPAGER=cat man --warnings=w -l '" + page.string() + "'");
}

TEST(Documentation, TheManualPageRendersWithoutWarnings) {
    if (!onThePath("man") || !onThePath("groff")) GTEST_SKIP() << "man or groff is not installed";
    TempDir work;
    // A faulty page first, so that a silent formatter cannot pass the real one unseen.
    writeFile(work.file("faulty.1"), ".TH FAULTY 1\n.SH NAME\nfaulty \\- a page\n.NOSUCHMACRO\n");
    const CommandResult faulty = renderManualPage(work.path(), work.path() / "faulty.1");
    ASSERT_NE(faulty.err.find("NOSUCHMACRO"), std::string::npos) << "the formatter does not report warnings here";

    const CommandResult page = renderManualPage(work.path(), kSourceDir / kManualPage);
    EXPECT_EQ(page.exitStatus, 0);
    EXPECT_EQ(page.err, "");
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "KEYS", "FILES", "EXIT STATUS",
                                "EXAMPLES", "SEE ALSO"}) {
        EXPECT_NE(page.out.find("\n" + std::string(section) + "\n"), std::string::npos) << section;
    }
}

}  // namespace
}  // namespace orthomix::testing

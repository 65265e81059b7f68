#include "io/tab_separated_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "io/input_decoding.h"
#include "support/huge_pages.h"

namespace orthomix {
namespace {

constexpr std::size_t kMinimumBlock = std::size_t{1} << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool readFileContents(const std::string& path, std::string& contents) {
    contents.clear();
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    // The size is only a hint: pipes report none and a file may grow, so
    // reading goes on in blocks until a short read.
    std::error_code sizeError;
    const std::uintmax_t sizeHint = std::filesystem::file_size(path, sizeError);
    std::size_t block = sizeError ? kMinimumBlock : static_cast<std::size_t>(sizeHint) + 1;
    std::size_t used = 0;
    for (;;) {
        reserveWithHugePages(contents, used + block);
        contents.resize(used + block);
        const std::size_t got = std::fread(contents.data() + used, 1, block, file.get());
        used += got;
        if (got < block) break;
        block = std::max(block, kMinimumBlock);
    }
    contents.resize(used);
    // A directory opens but cannot be read.
    return std::ferror(file.get()) == 0;
}

Result<std::string> readInputFile(const std::string& path) {
    std::string contents;
    if (!readFileContents(path, contents)) return Error{"Cannot open " + path};
    return decodeInputText(std::move(contents), path);
}

bool LineCursor::next(std::string_view& line) {
    if (position_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', position_);
    const std::size_t following = end == std::string_view::npos ? text_.size() : end + 1;
    if (end == std::string_view::npos) end = text_.size();
    if (end > position_ && text_[end - 1] == '\r') --end;
    line = text_.substr(position_, end - position_);
    position_ = following;
    ++lineNumber_;
    return true;
}

Separator separatorForName(std::string_view name) {
    const auto endsWith = [&](std::string_view suffix) {
        if (name.size() < suffix.size()) return false;
        const std::string_view tail = name.substr(name.size() - suffix.size());
        return std::equal(tail.begin(), tail.end(), suffix.begin(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    };
    return endsWith(".csv") || endsWith(".csv.gz") ? Separator::Comma : Separator::Tab;
}

Status checkSeparatorFits(std::string_view text, Separator separator, std::string_view sourceName) {
    if (separator != Separator::Tab || text.find('\t') != std::string_view::npos ||
        text.find(',') == std::string_view::npos) {
        return okStatus();
    }
    return Error{std::string(sourceName) +
                 " has commas but no tab: it looks comma-separated, and files are read tab-separated unless their "
                 "name ends in .csv (or .csv.gz); rename it so, or save it tab-separated"};
}

bool FieldCursor::next(std::string_view& field) {
    doubledQuotes_ = false;
    if (separator_ == Separator::Tab) {
        while (position_ < line_.size() && line_[position_] == '\t') ++position_;
        if (position_ >= line_.size()) return false;
        std::size_t end = line_.find('\t', position_);
        if (end == std::string_view::npos) end = line_.size();
        field = line_.substr(position_, end - position_);
        position_ = end;
        return true;
    }
    if (finished_) return false;
    if (position_ < line_.size() && line_[position_] == '"') return nextQuoted(field);
    std::size_t end = line_.find(',', position_);
    if (end == std::string_view::npos) {
        end = line_.size();
        finished_ = true;
    }
    field = line_.substr(position_, end - position_);
    position_ = end + 1;
    return true;
}

bool FieldCursor::nextQuoted(std::string_view& field) {
    const std::size_t start = position_ + 1;
    std::size_t end = start;
    for (;;) {
        end = line_.find('"', end);
        if (end == std::string_view::npos) {
            end = line_.size();
            break;
        }
        if (end + 1 < line_.size() && line_[end + 1] == '"') {
            doubledQuotes_ = true;
            end += 2;
            continue;
        }
        break;
    }
    field = line_.substr(start, end - start);
    // Whatever stands between the closing quote and the next comma is not part of any field.
    const std::size_t comma = end < line_.size() ? line_.find(',', end) : std::string_view::npos;
    if (comma == std::string_view::npos) {
        finished_ = true;
    } else {
        position_ = comma + 1;
    }
    return true;
}

std::string FieldCursor::text(std::string_view field) const {
    if (!doubledQuotes_) return std::string(field);
    std::string single;
    single.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        single.push_back(field[i]);
        if (field[i] == '"' && i + 1 < field.size() && field[i + 1] == '"') ++i;
    }
    return single;
}

bool isBlankLine(std::string_view line, Separator separator) {
    return line.find_first_not_of(separator == Separator::Tab ? " \t" : " \t,\"") == std::string_view::npos;
}

bool leadingFieldPair(std::string_view line, Separator separator, std::string& first, std::string& second) {
    if (isTooShortLine(line)) return false;
    FieldCursor fields(line, separator);
    std::string_view field;
    if (!fields.next(field) || field.empty()) return false;
    first = fields.text(field);
    if (!fields.next(field) || field.empty()) return false;
    second = fields.text(field);
    return true;
}

}  // namespace orthomix

#include "io/tab_separated_text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "io/input_decoding.h"

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

bool FieldCursor::next(std::string_view& field) {
    while (position_ < line_.size() && line_[position_] == '\t') ++position_;
    if (position_ >= line_.size()) return false;
    std::size_t end = line_.find('\t', position_);
    if (end == std::string_view::npos) end = line_.size();
    field = line_.substr(position_, end - position_);
    position_ = end;
    return true;
}

bool leadingFieldPair(std::string_view line, std::string_view& first, std::string_view& second) {
    if (isTooShortLine(line)) return false;
    FieldCursor fields(line);
    return fields.next(first) && fields.next(second);
}

}  // namespace orthomix

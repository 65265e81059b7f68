#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "support/error.h"

namespace orthomix {

// A result file written under a temporary name in the same folder and renamed
// into place by commit(), so that a failed run never leaves a truncated file
// behind. Every failure, from creation to the rename, is reported by commit()
// as "Cannot open file <path>"; the temporary file is then removed.
class AtomicOutputFile {
public:
    explicit AtomicOutputFile(std::string path);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void write(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kFlushSize) flush();
    }
    void write(char c) { buffer_.push_back(c); }
    // %g with six significant digits, the form of every number in the result files.
    void writeNumber(double value);
    // Renames the finished file into place; a second call reports failure.
    Status commit();

private:
    static constexpr std::size_t kFlushSize = 1 << 16;
    void flush();
    Error failure();

    std::string path_;
    std::string temporaryPath_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
    std::string buffer_;
};

// Whether a file can be created at path: its folder exists and can be
// written; "Cannot open file <path>" otherwise.
Status checkOutputLocation(const std::string& path);

// The whole text as one atomically written file.
Status writeFileAtomically(const std::string& path, std::string_view text);

}  // namespace orthomix

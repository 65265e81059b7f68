#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace orthomix {

// A result file written under a temporary name in the same folder and renamed
// into place by commit(), so that a failed run never leaves a truncated file
// behind. Fatal "Cannot open file <path>" when it cannot be created or completed.
class AtomicOutputFile {
public:
    explicit AtomicOutputFile(std::string path);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void write(std::string_view text) { buffer_.append(text); if (buffer_.size() >= kFlushSize) flush(); }
    void write(char c) { buffer_.push_back(c); }
    // %g with six significant digits, the form of every number in the result files.
    void writeNumber(double value);
    void commit();

private:
    static constexpr std::size_t kFlushSize = 1 << 16;
    void flush();
    [[noreturn]] void fail();

    std::string path_;
    std::string temporaryPath_;
    std::FILE* file_ = nullptr;
    std::string buffer_;
};

}  // namespace orthomix

#include "io/atomic_file.h"

#include <unistd.h>

#include "driver/console.h"
#include "driver/fatal.h"

namespace orthomix {

AtomicOutputFile::AtomicOutputFile(std::string path)
    : path_(std::move(path)), temporaryPath_(path_ + ".tmp" + std::to_string(::getpid())) {
    file_ = std::fopen(temporaryPath_.c_str(), "wb");
    if (!file_) fatalError("Cannot open file " + path_);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (file_) {
        std::fclose(file_);
        std::remove(temporaryPath_.c_str());
    }
}

void AtomicOutputFile::writeNumber(double value) {
    char text[32];
    buffer_.append(text, formatGeneral6(value, text));
}

void AtomicOutputFile::flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) fail();
    buffer_.clear();
}

void AtomicOutputFile::fail() {
    std::fclose(file_);
    file_ = nullptr;
    std::remove(temporaryPath_.c_str());
    fatalError("Cannot open file " + path_);
}

void AtomicOutputFile::commit() {
    flush();
    if (std::fflush(file_) != 0) fail();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed || std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        std::remove(temporaryPath_.c_str());
        fatalError("Cannot open file " + path_);
    }
}

}  // namespace orthomix

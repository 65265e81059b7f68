#include "io/atomic_file.h"

#include <unistd.h>

#include <filesystem>

#include "support/number_format.h"

namespace orthomix {

AtomicOutputFile::AtomicOutputFile(std::string path)
    : path_(std::move(path)), temporaryPath_(path_ + ".tmp" + std::to_string(::getpid())) {
    file_ = std::fopen(temporaryPath_.c_str(), "wb");
    failed_ = file_ == nullptr;
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
    if (!failed_ && !buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
        failed_ = true;
    }
    buffer_.clear();
}

Error AtomicOutputFile::failure() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        std::remove(temporaryPath_.c_str());
    }
    return Error{"Cannot open file " + path_};
}

Status AtomicOutputFile::commit() {
    if (!file_) return Error{"Cannot open file " + path_};
    flush();
    if (failed_ || std::fflush(file_) != 0) return failure();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed || std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        std::remove(temporaryPath_.c_str());
        return Error{"Cannot open file " + path_};
    }
    return okStatus();
}

Status checkOutputLocation(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code error;
    if (std::filesystem::is_directory(folder, error) && ::access(folder.c_str(), W_OK | X_OK) == 0) return okStatus();
    return Error{"Cannot open file " + path};
}

Status writeFileAtomically(const std::string& path, std::string_view text) {
    AtomicOutputFile out(path);
    out.write(text);
    return out.commit();
}

}  // namespace orthomix

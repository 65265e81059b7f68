#include "io/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/file_location.h"
#include "support/number_format.h"

namespace orthomix {
namespace {

namespace fs = std::filesystem;

// The temporary files being written, kept as plain character arrays so that
// a signal handler can unlink them without allocating. A run has at most a
// handful open at once; a path that finds no slot is only left out of the
// emergency removal, not out of the ordinary one.
constexpr int kTemporarySlots = 32;
constexpr std::size_t kSlotBytes = 4096;
struct TemporarySlot {
    std::atomic<bool> used{false};
    char path[kSlotBytes];
};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler reads the slots");
TemporarySlot temporarySlots[kTemporarySlots];

// Claimed before the file is created and released after it is renamed or
// removed, so that whenever the file exists its slot names it.
int claimTemporarySlot(const std::string& path) {
    if (path.size() >= kSlotBytes) return -1;
    for (int i = 0; i < kTemporarySlots; ++i) {
        TemporarySlot& slot = temporarySlots[i];
        if (slot.used.load(std::memory_order_acquire)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void releaseTemporarySlot(int& slot) {
    if (slot >= 0) temporarySlots[slot].used.store(false, std::memory_order_release);
    slot = -1;
}

Error cannotOpen(const std::string& path, int reason) {
    return Error{"Cannot open file " + path + ": " + std::generic_category().message(reason)};
}

int lastError() { return errno != 0 ? errno : EIO; }

}  // namespace

void removeTemporaryFilesNow() noexcept {
    for (TemporarySlot& slot : temporarySlots) {
        if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.path);
    }
}

AtomicOutputFile::AtomicOutputFile(std::string path)
    : path_(std::move(path)),
      target_(followLinks(path_).string()),
      temporaryPath_(target_ + ".tmp" + std::to_string(::getpid())) {
    std::error_code ignored;
    if (fs::is_symlink(fs::symlink_status(target_, ignored))) {
        error_ = ELOOP;  // links that never reach a file
        return;
    }
    slot_ = claimTemporarySlot(temporaryPath_);
    errno = 0;
    file_ = std::fopen(temporaryPath_.c_str(), "wb");
    created_ = file_ != nullptr;
    if (!file_) error_ = lastError();
}

AtomicOutputFile::~AtomicOutputFile() {
    if (file_) std::fclose(file_);
    if (!committed_) removeTemporary();
}

void AtomicOutputFile::writeNumber(double value) {
    char text[32];
    buffer_.append(text, formatGeneral6(value, text));
}

void AtomicOutputFile::flush() {
    if (error_ == 0 && file_ && !buffer_.empty()) {
        errno = 0;
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) error_ = lastError();
    }
    buffer_.clear();
}

void AtomicOutputFile::removeTemporary() {
    if (created_) std::remove(temporaryPath_.c_str());
    created_ = false;
    releaseTemporarySlot(slot_);
}

Error AtomicOutputFile::failure(int reason) {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    removeTemporary();
    finished_ = false;
    return cannotOpen(path_, reason);
}

Status AtomicOutputFile::finish() {
    if (finished_) return okStatus();
    if (!file_) return failure(error_ != 0 ? error_ : EBADF);
    flush();
    errno = 0;
    if (error_ == 0 && std::fflush(file_) != 0) error_ = lastError();
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (error_ == 0 && !closed) error_ = lastError();
    if (error_ != 0) return failure(error_);
    finished_ = true;
    return okStatus();
}

Status AtomicOutputFile::commit() {
    if (committed_) return cannotOpen(path_, EALREADY);
    ORTHOMIX_TRY(finish());
    if (std::rename(temporaryPath_.c_str(), target_.c_str()) != 0) return failure(lastError());
    committed_ = true;
    created_ = false;
    releaseTemporarySlot(slot_);
    return okStatus();
}

AtomicOutputFile& OutputSet::add(std::string path) {
    files_.push_back(std::make_unique<AtomicOutputFile>(std::move(path)));
    return *files_.back();
}

std::vector<std::string> OutputSet::paths() const {
    std::vector<std::string> paths;
    for (const auto& file : files_) paths.push_back(file->path());
    return paths;
}

Status OutputSet::finish() {
    for (const auto& file : files_) {
        const Status finished = file->finish();
        if (!finished) {
            discard();
            return finished;
        }
    }
    return okStatus();
}

void OutputSet::discard() {
    for (const auto& file : files_) {
        if (file->file_) {
            std::fclose(file->file_);
            file->file_ = nullptr;
        }
        if (!file->committed_) file->removeTemporary();
    }
}

Status OutputSet::commit() {
    ORTHOMIX_TRY(finish());

    // A second name for every file about to be replaced keeps its old text
    // reachable until the whole set is in place. Where the file system has
    // no hard links the old file cannot be brought back, only the new one
    // removed.
    const std::string backupSuffix = ".old" + std::to_string(::getpid());
    std::vector<bool> backedUp(files_.size(), false);
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const std::string& target = files_[i]->target_;
        const std::string backup = target + backupSuffix;
        struct stat status {};
        if (::lstat(target.c_str(), &status) != 0) continue;
        ::unlink(backup.c_str());
        backedUp[i] = ::link(target.c_str(), backup.c_str()) == 0;
    }
    const auto dropBackups = [&] {
        for (std::size_t i = 0; i < files_.size(); ++i) {
            if (backedUp[i]) ::unlink((files_[i]->target_ + backupSuffix).c_str());
        }
    };

    for (std::size_t i = 0; i < files_.size(); ++i) {
        AtomicOutputFile& file = *files_[i];
        if (std::rename(file.temporaryPath_.c_str(), file.target_.c_str()) == 0) {
            file.committed_ = true;
            file.created_ = false;
            releaseTemporarySlot(file.slot_);
            continue;
        }
        const int reason = lastError();
        for (std::size_t j = i; j-- > 0;) {
            const std::string& target = files_[j]->target_;
            if (backedUp[j]) {
                std::rename((target + backupSuffix).c_str(), target.c_str());
                backedUp[j] = false;
            } else {
                ::unlink(target.c_str());
            }
        }
        dropBackups();
        discard();
        return cannotOpen(file.path_, reason);
    }
    dropBackups();
    return okStatus();
}

Status prepareOutputLocation(const std::string& path) {
    const fs::path target = followLinks(path);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        for (fs::path part = folder; !part.empty(); part = part.parent_path()) {
            std::error_code ignored;
            if (fs::exists(part, ignored) && !fs::is_directory(part, ignored)) {
                return Error{"Cannot open file " + path + ": " + part.string() + " is a file, not a folder"};
            }
        }
        return Error{"Cannot open file " + path + ": the folder " + folder.string() + " cannot be created (" +
                     error.message() + ")"};
    }
    if (!fs::is_directory(folder, error)) return cannotOpen(path, ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return cannotOpen(path, lastError());
    struct stat status {};
    if (::lstat(target.c_str(), &status) == 0) {
        if (S_ISLNK(status.st_mode)) return cannotOpen(path, ELOOP);  // links that never reach a file
        if (S_ISDIR(status.st_mode)) return cannotOpen(path, EISDIR);
        if (::access(target.c_str(), W_OK) != 0) return cannotOpen(path, lastError());
    }
    return okStatus();
}

Status writeFileAtomically(const std::string& path, std::string_view text) {
    AtomicOutputFile out(path);
    out.write(text);
    return out.commit();
}

}  // namespace orthomix

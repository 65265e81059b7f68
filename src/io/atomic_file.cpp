#include "io/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/file_location.h"
#include "support/message_text.h"
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
    std::atomic<bool> taken{false};  // claimed by a file, which may still be copying its path in
    std::atomic<bool> used{false};   // path holds the temporary file's name
    char path[kSlotBytes];
};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler reads the slots");
TemporarySlot temporarySlots[kTemporarySlots];

// Claimed before the file is created and released after it is renamed or
// removed, so that whenever the file exists its slot names it. Files may be
// written on several threads at once, so a slot is taken by exchange.
int claimTemporarySlot(const std::string& path) {
    if (path.size() >= kSlotBytes) return -1;
    for (int i = 0; i < kTemporarySlots; ++i) {
        TemporarySlot& slot = temporarySlots[i];
        bool taken = false;
        if (!slot.taken.compare_exchange_strong(taken, true, std::memory_order_acq_rel)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void releaseTemporarySlot(int& slot) {
    if (slot >= 0) {
        temporarySlots[slot].used.store(false, std::memory_order_release);
        temporarySlots[slot].taken.store(false, std::memory_order_release);
    }
    slot = -1;
}

Error cannotOpen(const std::string& path, int reason) {
    return Error{"Cannot open file " + excerpt(path) + ": " + std::generic_category().message(reason)};
}

int lastError() { return errno != 0 ? errno : EIO; }

// Names tried for a temporary or backup file after "<target><marker><pid>"
// itself is taken: the same with 1 to 99 appended.
constexpr int kNameAttempts = 100;

std::string freeNameCandidate(const std::string& target, const char* marker, int attempt) {
    std::string name = target + marker + std::to_string(::getpid());
    if (attempt > 0) name += std::to_string(attempt);
    return name;
}

// The longest suffix a temporary or backup name adds to its target.
std::size_t longestSuffix() { return freeNameCandidate("", ".tmp", kNameAttempts - 1).size(); }

// Gives the existing file `target` a second name that nothing held before;
// empty when it cannot (no hard links on this file system, or every name taken).
std::string linkUnderFreeName(const std::string& target, const char* marker) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = freeNameCandidate(target, marker, attempt);
        if (::link(target.c_str(), name.c_str()) == 0) return name;
        if (errno != EEXIST) return {};
    }
    return {};
}

// "/dev/stdout", "/dev/fd/3", "/proc/self/fd/3" and the like: the descriptor
// number, or -1.
int descriptorNamedBy(const std::string& path) {
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    const std::string ownProcess = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string& folder : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                      std::string("/proc/thread-self/fd/"), ownProcess}) {
        if (path.compare(0, folder.size(), folder) != 0) continue;
        const std::string number = path.substr(folder.size());
        if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) {
            return -1;
        }
        return std::stoi(number);
    }
    return -1;
}

// Writes all of the text to the descriptor, however the system splits it.
int writeAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// The file system's limit on one name in `folder`, or the usual 255 bytes when it does not say.
std::size_t longestNameIn(const fs::path& folder) {
    errno = 0;
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

// The temporary name must fit where the output's own name fits, or the run
// would only fail when it writes its results.
Status checkPathRoomForSuffix(const std::string& path, const fs::path& target) {
    const std::size_t suffix = longestSuffix();
    if (target.string().size() + suffix < PATH_MAX) return okStatus();
    return Error{"Cannot open file " + excerpt(path) + ": the path of " + std::to_string(target.string().size()) +
                 " bytes is too long; with the suffix of a temporary file it would pass the system's limit of " +
                 std::to_string(PATH_MAX - 1) + " bytes"};
}

Status checkNameRoomForSuffix(const std::string& path, const fs::path& target, const fs::path& folder) {
    const std::size_t suffix = longestSuffix();
    const std::size_t nameLimit = longestNameIn(folder);
    const std::size_t name = target.filename().string().size();
    if (name + suffix > nameLimit) {
        return Error{"Cannot open file " + excerpt(path) + ": its name of " + std::to_string(name) +
                     " bytes is too long; results are first written under the name followed by a suffix of up to " +
                     std::to_string(suffix) + " bytes, and names here may have " + std::to_string(nameLimit) +
                     " bytes (use a name of at most " + std::to_string(nameLimit - std::min(nameLimit, suffix)) +
                     ")"};
    }
    return okStatus();
}

}  // namespace

int descriptorOfPath(const std::string& path) {
    // Each link of the chain is looked at: /dev/stdout leads to /proc/self/fd/1,
    // which leads to a pipe or terminal that has no name to write to.
    fs::path current(path);
    for (int followed = 0; followed < 40; ++followed) {
        const int descriptor = descriptorNamedBy(current.lexically_normal().string());
        if (descriptor >= 0) return descriptor;
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) return -1;
        const fs::path target = fs::read_symlink(current, error);
        if (error) return -1;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return -1;
}

bool isSpecialOutput(const std::string& path) {
    if (descriptorOfPath(path) >= 0) return true;
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

void removeTemporaryFilesNow() noexcept {
    for (TemporarySlot& slot : temporarySlots) {
        if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.path);
    }
}

AtomicOutputFile::AtomicOutputFile(std::string path) : path_(std::move(path)), target_(followLinks(path_).string()) {
    descriptor_ = descriptorOfPath(path_);
    special_ = isSpecialOutput(path_);
    if (special_) return;
    std::error_code ignored;
    if (fs::is_symlink(fs::symlink_status(target_, ignored))) {
        error_ = ELOOP;  // links that never reach a file
        return;
    }
    createTemporary();
}

void AtomicOutputFile::createTemporary() {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporaryPath_ = freeNameCandidate(target_, ".tmp", attempt);
        // Exclusive: a file or link planted at the name is never written through.
        errno = 0;
        const int descriptor =
            ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            error_ = lastError();
            return;
        }
        created_ = true;
        slot_ = claimTemporarySlot(temporaryPath_);
        file_ = ::fdopen(descriptor, "wb");
        if (!file_) {
            error_ = lastError();
            ::close(descriptor);
        }
        return;
    }
    error_ = EEXIST;
}

AtomicOutputFile::~AtomicOutputFile() {
    if (file_) std::fclose(file_);
    if (!committed_) removeTemporary();
}

void AtomicOutputFile::writeNumber(double value) {
    char text[32];
    buffer_.append(text, formatGeneral6(value, text));
}

void AtomicOutputFile::writeNumbers(std::span<const double> values, char separator) {
    // Formatted into a block on the stack and appended once per block: an
    // append per value costs about as much as formatting the value.
    constexpr std::size_t kBlockValues = 64;
    constexpr std::size_t kLongestNumber = 32;  // what formatGeneral6 may write into
    char block[kBlockValues * (kLongestNumber + 1)];
    for (std::size_t first = 0; first < values.size(); first += kBlockValues) {
        const std::size_t last = std::min(values.size(), first + kBlockValues);
        char* cursor = block;
        for (std::size_t i = first; i < last; ++i) {
            *cursor++ = separator;
            cursor += formatGeneral6(values[i], cursor);
        }
        buffer_.append(block, static_cast<std::size_t>(cursor - block));
        if (buffer_.size() >= kFlushSize) flush();
    }
}

void AtomicOutputFile::flush() {
    if (special_) return;  // the whole text waits for the commit
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
    if (special_) {
        finished_ = true;
        return okStatus();
    }
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

Status AtomicOutputFile::writeSpecial() {
    committed_ = true;
    std::string text = std::move(buffer_);
    buffer_.clear();
    if (descriptor_ >= 0) {
        const int reason = writeAll(descriptor_, text);
        return reason == 0 ? okStatus() : Status(cannotOpen(path_, reason));
    }
    // No O_CREAT: a special file that has gone away is not made a regular one.
    errno = 0;
    const int descriptor = ::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return cannotOpen(path_, lastError());
    int reason = writeAll(descriptor, text);
    if (::close(descriptor) != 0 && reason == 0) reason = lastError();
    return reason == 0 ? okStatus() : Status(cannotOpen(path_, reason));
}

Status AtomicOutputFile::commit() {
    if (committed_) return cannotOpen(path_, EALREADY);
    ORTHOMIX_TRY(finish());
    if (special_) return writeSpecial();
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
    // removed. The second name is one that nothing held before.
    std::vector<std::string> backups(files_.size());
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const std::string& target = files_[i]->target_;
        struct stat status {};
        if (files_[i]->special_ || ::lstat(target.c_str(), &status) != 0) continue;
        backups[i] = linkUnderFreeName(target, ".old");
    }
    const auto dropBackups = [&] {
        for (std::string& backup : backups) {
            if (!backup.empty()) ::unlink(backup.c_str());
            backup.clear();
        }
    };

    for (std::size_t i = 0; i < files_.size(); ++i) {
        AtomicOutputFile& file = *files_[i];
        if (file.special_) continue;
        if (std::rename(file.temporaryPath_.c_str(), file.target_.c_str()) == 0) {
            file.committed_ = true;
            file.created_ = false;
            releaseTemporarySlot(file.slot_);
            continue;
        }
        const int reason = lastError();
        for (std::size_t j = i; j-- > 0;) {
            if (files_[j]->special_) continue;
            const std::string& target = files_[j]->target_;
            if (!backups[j].empty()) {
                std::rename(backups[j].c_str(), target.c_str());
                backups[j].clear();
            } else {
                ::unlink(target.c_str());
            }
        }
        dropBackups();
        discard();
        return cannotOpen(file.path_, reason);
    }
    dropBackups();
    // The special outputs last: they cannot be taken back once written.
    for (const auto& file : files_) {
        if (file->special_) ORTHOMIX_TRY(file->writeSpecial());
    }
    return okStatus();
}

namespace {

// A special output is written where it is: it need only accept writing.
Status checkSpecialOutput(const std::string& path) {
    const int descriptor = descriptorOfPath(path);
    if (descriptor >= 0) {
        const int flags = ::fcntl(descriptor, F_GETFL);
        if (flags < 0) return cannotOpen(path, EBADF);
        if ((flags & O_ACCMODE) == O_RDONLY) return cannotOpen(path, EBADF);
        return okStatus();
    }
    // A disk or partition would be overwritten from its first byte: surely a slip.
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) {
        return Error{"Cannot open file " + excerpt(path) + ": it is a block device (a disk or partition), which "
                     "takes no results"};
    }
    if (::access(path.c_str(), W_OK) != 0) return cannotOpen(path, lastError());
    return okStatus();
}

}  // namespace

Status prepareOutputLocation(const std::string& path) {
    if (isSpecialOutput(path)) return checkSpecialOutput(path);
    const fs::path target = followLinks(path);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    ORTHOMIX_TRY(checkPathRoomForSuffix(path, target));
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        for (fs::path part = folder; !part.empty(); part = part.parent_path()) {
            std::error_code ignored;
            if (fs::exists(part, ignored) && !fs::is_directory(part, ignored)) {
                return Error{"Cannot open file " + excerpt(path) + ": " + excerpt(part.string()) +
                             " is a file, not a folder"};
            }
        }
        return Error{"Cannot open file " + excerpt(path) + ": the folder " + excerpt(folder.string()) +
                     " cannot be created (" + error.message() + ")"};
    }
    if (!fs::is_directory(folder, error)) return cannotOpen(path, ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return cannotOpen(path, lastError());
    ORTHOMIX_TRY(checkNameRoomForSuffix(path, target, folder));
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

#include "io/file_location.h"

#include <sys/stat.h>

namespace orthomix {
namespace fs = std::filesystem;

namespace {
// As the kernel's limit on nested links: a loop ends here instead of forever.
constexpr int kMaxLinksFollowed = 40;
}  // namespace

fs::path followLinks(const std::string& path) {
    fs::path current(path);
    for (int followed = 0; followed < kMaxLinksFollowed; ++followed) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) break;
        const fs::path target = fs::read_symlink(current, error);
        if (error) break;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current;
}

FileLocation locateFile(const std::string& path) {
    FileLocation location;
    const fs::path target = followLinks(path);
    std::error_code error;
    // Absolute first: of a relative path whose first folder is missing, the
    // weakly canonical form would stay relative and never match another.
    const fs::path absolute = fs::absolute(target, error);
    location.resolved = fs::weakly_canonical(absolute, error);
    if (error) location.resolved = absolute.lexically_normal();
    // The path itself, not the target found above: the system follows links
    // that lead to no name, such as /dev/stdout to a pipe.
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        location.exists = true;
        location.device = status.st_dev;
        location.inode = status.st_ino;
        struct stat null {};
        location.nullDevice = S_ISCHR(status.st_mode) && ::stat("/dev/null", &null) == 0 &&
                              S_ISCHR(null.st_mode) && status.st_rdev == null.st_rdev;
    }
    return location;
}

bool sameFile(const FileLocation& a, const FileLocation& b) {
    if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
    return a.resolved == b.resolved;
}

bool outputsCollide(const FileLocation& a, const FileLocation& b) {
    return sameFile(a, b) && !(a.nullDevice && b.nullDevice);
}

}  // namespace orthomix

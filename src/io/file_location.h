#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace orthomix {

// The path that writing to `path` reaches: symbolic links in its last
// component are followed (a relative link from the link's own folder), as
// opening the path for writing would; the file they lead to need not exist.
std::filesystem::path followLinks(const std::string& path);

// Where a path leads on disk, for telling whether two paths name one file.
struct FileLocation {
    std::filesystem::path resolved;  // absolute, links and "." and ".." resolved as far as the path exists
    bool exists = false;
    dev_t device = 0;  // of an existing file
    ino_t inode = 0;
    bool nullDevice = false;  // the system's null device or a copy of it, which discards everything
};

// The location of the file that opening `path` reads or writes.
FileLocation locateFile(const std::string& path);

// Same file: the same resolved path, or (hard links) the same existing inode.
bool sameFile(const FileLocation& a, const FileLocation& b);

// Two outputs may not share a file, except the null device: what is written
// there is discarded, so any number of outputs may go to it.
bool outputsCollide(const FileLocation& a, const FileLocation& b);

}  // namespace orthomix

#pragma once

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/error.h"

namespace orthomix {

// A result file written under a temporary name beside its target and renamed
// into place at the end, so that a failed run never leaves a truncated file
// behind. The temporary file is created under a name that nothing holds yet
// ("<target>.tmp<pid>", then with a number appended), never through an
// existing file or link. A path that is a symbolic link is written through to
// the file it leads to. A special output (see isSpecialOutput) is kept in
// memory and written to directly at commit, never replaced. Every failure,
// from creation to the rename, is reported as "Cannot open file <path>: <the
// system's reason>"; the temporary file is then removed, and so it is when
// the object goes away uncommitted.
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
    // Each value after a separator, as write(separator) and writeNumber would
    // write them, a block of values at a time.
    void writeNumbers(std::span<const double> values, char separator);

    // Writes out and closes the temporary file; the target is not touched yet.
    Status finish();
    // finish(), then renames the file into place (or writes a special output);
    // a second call reports failure.
    Status commit();

    const std::string& path() const { return path_; }

private:
    friend class OutputSet;
    static constexpr std::size_t kFlushSize = 1 << 16;
    void flush();
    Error failure(int reason);
    void removeTemporary();
    void createTemporary();
    Status writeSpecial();

    std::string path_;           // as the user wrote it, for messages
    std::string target_;         // the file the rename replaces, links followed
    std::string temporaryPath_;  // target_ + ".tmp" + process id (+ a number when that is taken)
    bool special_ = false;       // written directly at commit; buffer_ holds the whole text
    int descriptor_ = -1;        // of a path such as /dev/stdout: written to this descriptor
    std::FILE* file_ = nullptr;
    int error_ = 0;         // errno of the first failure, 0 while none
    bool created_ = false;  // the temporary file exists and is this object's to remove
    bool finished_ = false;
    bool committed_ = false;
    int slot_ = -1;  // place in the list of temporary files that an interruption removes
    std::string buffer_;
};

// Files written together and put in place together: each is written in full
// under its temporary name first; commit() then renames them one after
// another, a step of a few system calls, and then writes the special outputs. When a rename fails, the files
// renamed before it are taken back (an earlier file of the same name returns,
// a new one is removed), so the set is in place whole or not at all.
// A failure removes every temporary file of the set at once; those of a set
// that is never committed go with it.
class OutputSet {
public:
    // A new file of the set; its text goes to the temporary file until commit().
    AtomicOutputFile& add(std::string path);
    // Writes out and closes every file added so far; no target is touched yet.
    Status finish();
    Status commit();
    // The paths of the set as given, in the order added.
    std::vector<std::string> paths() const;

private:
    void discard();

    std::vector<std::unique_ptr<AtomicOutputFile>> files_;
};

// An output that exists and is not a regular file (a character device such
// as /dev/null, a FIFO), or a path through a descriptor of the process
// (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N): written directly,
// never renamed over, removed or re-created.
bool isSpecialOutput(const std::string& path);

// The descriptor that a path such as /dev/stdout or /proc/self/fd/3 names,
// directly or through links; -1 for any other path.
int descriptorOfPath(const std::string& path);

// Makes a path ready to be written before any work starts: creates its
// missing folders (like mkdir -p), then checks that the folder can be
// written, that the name still fits the file system's limits with the
// temporary suffix added, and that the file, when it exists, is no folder
// and can be written by the user. A special output is only checked to be
// writable. "Cannot open file <path>: <reason>" otherwise.
Status prepareOutputLocation(const std::string& path);

// The whole text as one atomically written file.
Status writeFileAtomically(const std::string& path, std::string_view text);

// Removes every temporary file that is being written at this moment. Safe to
// call from a signal handler: it only unlinks paths kept for the purpose.
void removeTemporaryFilesNow() noexcept;

}  // namespace orthomix

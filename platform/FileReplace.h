#pragma once
// Replacing a file's contents whole.
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"

namespace pelumir {

enum class ReplaceResult {
    Ok,
    CannotCreate,  // the file cannot be created or opened for writing, or the new text not put in place
    WriteFailed,   // not every byte reached the disk; the old contents are still there, unless only the
                   // folder's sync after the rename failed (the new text is in place but may not survive a
                   // power cut)
};

// Writes bytes to path, creating the file or replacing its contents. The new
// text is written to a temporary file beside the target, flushed to the disk
// and renamed over it, and the folder is flushed too, so a full disk or a
// failing device leaves the old file whole and success means the new text
// survives a power cut. A symbolic link stays a link: its target is what gets replaced.
//
// A file we may not write stays unwritten. The rename is used only when it
// changes nothing else about the file: it must be a regular file with a
// single name (a rename would split a hard link) that belongs to us, and the
// folder must let us make the copy with the same group and mode. Otherwise
// (the one fallback) the file is rewritten in place, its space reserved
// first where the file system can, so that a full disk is found before the
// old text is touched.
// On failure, reason (when given) receives the system's error number.
ReplaceResult ReplaceFileContents(const std::string& path, std::string_view bytes, int* reason = nullptr);

// The name of the temporary file that process `pid` writes beside `target`.
std::string TemporaryNameFor(const std::string& target, long pid, int attempt);

// Removes the temporary files beside path (or the target of a link at path)
// that a writer of ours left when it was killed: only files of exactly our
// temporary names, ours, whose writing process is gone. Call it before this
// process writes the file. An older settings writer named them
// "<name>.tmp<pid>-<n>", without the leading dot; those go too.
void RemoveLeftoverTemporaries(const std::string& path);

// An exclusive advisory lock on the file at path (created empty when
// missing), held while the object lives, so that two copies of the program
// writing one file take turns and each writes it whole. A replace renames a
// new file over the locked one: the lock is taken again until it is on the
// file the path names. Without a lock (a folder we cannot write, a device)
// the write goes ahead alone and fails or succeeds on its own.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_.ok(); }

private:
    UniqueFd fd_;  // closing it drops the lock
};

}  // namespace pelumir

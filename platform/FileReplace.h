#pragma once
// Replacing a file's contents whole.
#include <string>
#include <string_view>

namespace pelumir {

enum class ReplaceResult {
    Ok,
    CannotCreate,  // the file cannot be created or opened for writing, or the new text not put in place
    WriteFailed,   // not every byte reached the disk; the old contents are still there
};

// Writes bytes to path, creating the file or replacing its contents. The new
// text is written to a temporary file beside the target, flushed to the disk
// and renamed over it, so a full disk or a failing device leaves the old file
// whole. A symbolic link stays a link: its target is what gets replaced.
//
// A file we may not write stays unwritten. The rename is used only when it
// changes nothing else about the file: it must be a regular file with a
// single name (a rename would split a hard link) that belongs to us, and the
// folder must let us make the copy with the same group and mode. Otherwise
// (the one fallback) the file is rewritten in place, its space reserved
// first where the file system can, so that a full disk is found before the
// old text is touched.
ReplaceResult ReplaceFileContents(const std::string& path, std::string_view bytes);

// The name of the temporary file that process `pid` writes beside `target`.
std::string TemporaryNameFor(const std::string& target, long pid, int attempt);

}  // namespace pelumir

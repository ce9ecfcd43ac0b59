#pragma once
// List files: one source-list line per line, plain bytes in the locale's
// encoding, no header and no conversion. Failures throw pelumir::Exception
// with the text the user sees.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Exception.h"

namespace pelumir {

// The largest list we read. A list is paths, a line each: 256 MiB holds
// millions of them. Anything bigger is not a list (a video picked by
// mistake), and the edit box would need several times its size in memory.
inline constexpr std::uint64_t kMaxListFileBytes = std::uint64_t(256) << 20;

// The whole file as bytes, line breaks as they are in the file.
// Throws "ファイル %s は開けません" when it cannot be opened or read (also
// when it is a folder or not a regular file), and
// "文字列の大きさが メモ の制限を越えました" past kMaxListFileBytes.
std::string ReadListFile(const std::string& path);

// A list file that could not be written: the text the commands show, and
// the file and the system's reason for a fuller report.
class ListFileWriteError : public Exception {
public:
    ListFileWriteError(const std::string& message, std::string path, int reason)
        : Exception(message), path_(std::move(path)), reason_(reason) {}
    const std::string& Path() const { return path_; }
    // The system's error number; 0 when it gave none.
    int Reason() const { return reason_; }

private:
    std::string path_;
    int reason_;
};

// Writes bytes to path exactly, creating or replacing the file. Throws
// "ファイル %s を作成できません" when the file cannot be created or opened for
// writing and "ストリームへの書き込みエラー" when not every byte reaches it,
// both as ListFileWriteError.
// The file is replaced whole (see ReplaceFileContents for when it is
// rewritten in place instead), so a full disk leaves the old list intact.
void WriteListFile(const std::string& path, std::string_view bytes);

// Where a save dialog for path starts: path itself when its folder exists,
// else its name in the nearest folder above that does (a dialog given a
// missing folder would take the whole path for a name).
std::string SaveDialogStart(const std::string& path);

}  // namespace pelumir

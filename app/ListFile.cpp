#include "app/ListFile.h"

#include "platform/Exception.h"
#include "platform/FileReplace.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace pelumir {

std::string ReadListFile(const std::string& path) {
    std::string data;
    switch (ReadWholeFile(path, data, kMaxListFileBytes)) {
    case ReadResult::Ok: return data;
    case ReadResult::TooLarge: throw Exception("文字列の大きさが メモ の制限を越えました");
    default: throw Exception("ファイル " + path + " は開けません");
    }
}

void WriteListFile(const std::string& path, std::string_view bytes) {
    // Two copies saving one list take turns; the last one's list stands whole.
    const FileLock lock(path);
    int reason = 0;
    switch (ReplaceFileContents(path, bytes, &reason)) {
    case ReplaceResult::Ok: return;
    case ReplaceResult::WriteFailed: throw ListFileWriteError("ストリームへの書き込みエラー", path, reason);
    case ReplaceResult::CannotCreate: throw ListFileWriteError("ファイル " + path + " を作成できません", path, reason);
    }
}

std::string SaveDialogStart(const std::string& path) {
    std::string folder = ExtractFilePath(path);
    while (!folder.empty() && !DirectoryExists(folder)) {
        folder.pop_back();  // its final separator
        folder = ExtractFilePath(folder);
    }
    return folder + ExtractFileName(path);
}

}  // namespace pelumir

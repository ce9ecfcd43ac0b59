#include "app/ListFile.h"

#include "platform/Exception.h"
#include "platform/FileReplace.h"
#include "platform/FileSystem.h"

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
    switch (ReplaceFileContents(path, bytes)) {
    case ReplaceResult::Ok: return;
    case ReplaceResult::WriteFailed: throw Exception("ストリームへの書き込みエラー");
    case ReplaceResult::CannotCreate: throw Exception("ファイル " + path + " を作成できません");
    }
}

}  // namespace pelumir

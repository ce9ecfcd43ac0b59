#include "app/ImageCollection.h"

#include "image/Formats.h"
#include "platform/Collation.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace pelumir {

bool IsAcceptedImageExt(const std::string& path, ChainOptions options) { return HasImageExtension(path, options); }

void AddImageFile(const std::string& path, std::vector<std::string>& images, ChainOptions options) {
    if (IsAcceptedImageExt(path, options) && FileExists(path)) images.push_back(path);
}

std::vector<std::string> CollectImages(const std::vector<std::string>& lines, const Collator& collator,
                                       ChainOptions options) {
    std::vector<std::string> images;
    std::vector<std::string> entries;
    for (const std::string& line : lines) {
        if (!DirectoryExists(line)) {
            AddImageFile(line, images, options);
            continue;
        }
        entries.clear();
        for (const std::string& name : ListDirectory(line)) entries.push_back(line + "/" + name);
        collator.Sort(entries);
        // "." and ".." and subfolders drop out here: they are not files.
        for (const std::string& entry : entries) AddImageFile(entry, images, options);
    }
    return images;
}

std::string GetTrueFileName(const std::string& path) {
    const std::string stored = StoredEntryName(path);
    if (stored.empty()) return path;
    return ExtractFilePath(path) + stored;
}

}  // namespace pelumir

#include "settings/RelativePath.h"

#include <string_view>
#include <vector>

namespace pelumir {

namespace {

// Byte searches for "/" are safe here: it is never part of a multi-byte
// character in UTF-8 or Shift-JIS.
std::vector<std::string_view> Components(std::string_view dir) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= dir.size()) {
        size_t slash = dir.find('/', start);
        if (slash == std::string_view::npos) slash = dir.size();
        if (slash > start) parts.push_back(dir.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::string_view DirectoryPart(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

}  // namespace

std::string RelativePath(const std::string& baseDir, const std::string& target) {
    if (!target.starts_with('/') || !baseDir.starts_with('/')) return target;
    const std::string_view targetDir = DirectoryPart(target);
    const std::string_view name = std::string_view(target).substr(targetDir.size());
    const auto base = Components(baseDir);
    const auto dir = Components(targetDir);

    size_t common = 0;
    while (common < base.size() && common < dir.size() && base[common] == dir[common]) ++common;

    std::string result;
    for (size_t i = common; i < base.size(); ++i) result += "../";
    for (size_t i = common; i < dir.size(); ++i) (result += dir[i]) += '/';
    return result += name;
}

std::string ResolvePath(const std::string& baseDir, const std::string& path) {
    const std::string full = path.starts_with('/') ? path : baseDir + path;
    const auto parts = Components(full);
    std::vector<std::string_view> kept;
    for (std::string_view part : parts) {
        if (part == ".") continue;
        if (part == "..") {
            // Above the root is the root.
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(part);
    }
    std::string result;
    for (std::string_view part : kept) (result += '/') += part;
    // A folder stays a folder: "/a/b/" and "/a/b/.." keep their final "/".
    const bool folder = full.ends_with('/') || (!parts.empty() && (parts.back() == "." || parts.back() == ".."));
    if (result.empty() || folder) result += '/';
    return result;
}

}  // namespace pelumir

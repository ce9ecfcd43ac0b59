#pragma once
// The list-file path as the settings file stores it: relative to the
// program's folder, with "/" separators. Folder names compare as the file
// system does, case-sensitively.
#include <string>

namespace pelumir {

// target relative to baseDir (which ends with "/"): "../" for each folder of
// baseDir not shared, then target's own remaining folders and its name.
// A target that is not an absolute path is returned unchanged.
std::string RelativePath(const std::string& baseDir, const std::string& target);

// path made absolute against baseDir when relative, with "." and ".."
// segments and repeated separators removed. The file system is not asked.
std::string ResolvePath(const std::string& baseDir, const std::string& path);

}  // namespace pelumir

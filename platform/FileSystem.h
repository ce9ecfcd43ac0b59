#pragma once
// File-system queries over byte-string paths.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelumir {

// True when the path names a folder (a symbolic link to one counts).
bool DirectoryExists(const std::string& path);
// True when the path names an existing file: a regular file, never a folder.
// Pipes and devices do not count, so no reader ever blocks on one.
bool FileExists(const std::string& path);
// Every entry of a folder, "." and ".." and hidden names included, in the
// order the file system gives them. Empty when the folder cannot be read.
std::vector<std::string> ListDirectory(const std::string& dir);
// The name of the entry `path` designates, as stored in its folder (its
// stored letter case on a case-folding file system); empty when not found.
std::string StoredEntryName(const std::string& path);
// Reads a whole regular file into `out` (its storage reused). Fails for a
// missing or unreadable file, a non-regular file, or one larger than maxBytes.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes);

}  // namespace pelumir

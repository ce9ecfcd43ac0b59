#pragma once
// Turning the source list into the images to show: folder lines expand into
// their sorted direct entries, and only existing files with a picture's
// extension stay: ".jpg" and ".bmp", and more with the other formats on.
#include <string>
#include <vector>

#include "image/Formats.h"

namespace pelumir {

class Collator;

// True for ".jpg" and ".bmp" in any letter case, and for the other formats'
// names when they are on.
bool IsAcceptedImageExt(const std::string& path, ChainOptions options = {});
// Appends path when it names an existing file with an accepted extension.
void AddImageFile(const std::string& path, std::vector<std::string>& images, ChainOptions options = {});
// Every line used as it stands: not trimmed, not made absolute, separators
// joined unchanged (a folder line ending in "/" gives doubled ones).
std::vector<std::string> CollectImages(const std::vector<std::string>& lines, const Collator& collator,
                                       ChainOptions options = {});

// The path with its last component spelled as stored on disk; the folder
// part is kept as given, so a relative path stays relative. A path that is
// not found comes back unchanged.
std::string GetTrueFileName(const std::string& path);

}  // namespace pelumir

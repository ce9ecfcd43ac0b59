#pragma once
// The baseline of the other formats' change figures: a file decoded by its
// format's own library, called the plainest way it offers, as a program
// that only wants the pixels would call it (djpeg's part for JPEG); for
// BMP, which has no library of its own, Qt's reader.
#include <string>

namespace bench {

// The format is told by the file's first bytes. False for a format this
// knows no library for (JPEG among them), or a failed decode.
bool BareDecode(const std::string& path);

}  // namespace bench

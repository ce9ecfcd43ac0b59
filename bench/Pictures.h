#pragma once
// The pictures the change figures show, made at bench time.
#include <string>

namespace bench {

// Photo-like pictures: a JPEG at quality 90 with 4:2:0 sampling as cameras
// write (progressive when asked), a bottom-up 24-bit BMP.
void WriteJpeg(const std::string& path, int w, int h, bool progressive);
void WriteBmp24(const std::string& path, int w, int h);

// The 24 MP and 12 MP baseline JPEGs, written once.
const std::string& Jpeg24mp();
const std::string& Jpeg12mp();

// The picture of the format table's row `name` ("heic", "png", ...),
// written once.
const std::string& FormatPicture(const std::string& name);

}  // namespace bench

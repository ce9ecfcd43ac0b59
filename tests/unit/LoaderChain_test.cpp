#include "image/Formats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelumir {
namespace {

using Bytes = std::vector<uint8_t>;

std::string Names(const std::vector<const Format*>& chain) {
    std::string names;
    for (const Format* f : chain) names += (names.empty() ? "" : ",") + std::string(f->name);
    return names;
}

TEST(LoaderChain, JpegWhateverTheNameBitmapsOnlyUnderTheirOwnNameOthersByContentWhenSwitchedOn) {
    const Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0}, bmp{'B', 'M', 0x3A, 0},
        png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, webp{'R', 'I', 'F', 'F', 9, 0, 0, 0, 'W', 'E', 'B', 'P'},
        jxlBox{0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    // A file-type box and its major brand.
    const auto ftyp = [](const char* brand) {
        Bytes b{0, 0, 0, 24, 'f', 't', 'y', 'p'};
        b.insert(b.end(), brand, brand + 4);
        return b;
    };
    const struct {
        const char* name;
        Bytes head;
        bool others;
        const char* chain;
    } cases[] = {
        {"a.jpg", jpeg, false, "JPEG"},
        {"a.JPG", jpeg, false, "JPEG"},
        {"a.bmp", jpeg, false, "JPEG"},  // a JPEG saved as ".bmp" shows
        {"a.png", jpeg, false, "JPEG"},
        {"no-extension", jpeg, false, "JPEG"},
        {"a.bmp", bmp, false, "BMP"},
        {"a.BmP", bmp, false, "BMP"},
        {"a.jpg.bmp", bmp, false, "BMP"},
        {"a.jpg", bmp, false, ""},  // a bitmap named like a JPEG is the black frame
        {"a.bmp.jpg", bmp, false, ""},
        {"a.dib", bmp, false, ""},
        {"folder.bmp/a", bmp, false, ""},
        {"a.bmp", {'B'}, false, ""},
        {"a.jpg", {0xFF}, false, ""},
        {"a.jpg", {}, false, ""},
        {"a.bmp", {0x00, 'B', 'M'}, false, ""},
        {"a.png", png, false, ""},
        {"a.bmp", png, false, ""},
        {"a.png", png, true, "PNG"},
        {"a.PNG", png, true, "PNG"},
        {"a.jpg", png, true, "PNG"},  // then by their bytes alone: a PNG named ".jpg" shows
        {"a.bmp", png, true, "PNG"},
        {"a.png", jpeg, true, "JPEG"},
        {"a.jpg", bmp, true, "BMP"},
        {"a.dib", bmp, true, "BMP"},
        {"a.bmp", bmp, true, "BMP"},
        {"a.jpg", jpeg, true, "JPEG"},
        {"a.jpg", {0x89, 'P', 'N', 'G'}, true, ""},
        {"a.png", {}, true, ""},
        {"a.webp", webp, true, "WebP"},
        {"a.gif", {'G', 'I', 'F', '8', '9', 'a'}, true, "GIF"},
        {"a.jpg", {'G', 'I', 'F', '8', '7', 'a'}, true, "GIF"},
        {"a.gif", {'G', 'I', 'F', '8', '8', 'a'}, true, ""},
        {"a.gif", {'G', 'I', 'F', '8', '9', 'a'}, false, ""},
        {"a.tif", {'I', 'I', 42, 0}, true, "TIFF"},
        {"a.TIFF", {'M', 'M', 0, 42}, true, "TIFF"},
        {"a.jpg", {'M', 'M', 0, 43}, true, "TIFF"},
        {"a.tif", {'I', 'I', 0, 42}, true, ""},
        {"a.tif", {'I', 'I', 42, 0}, false, ""},
        {"a.jxl", {0xFF, 0x0A}, true, "JPEG XL"},
        {"a.JXL", jxlBox, true, "JPEG XL"},
        {"a.jpg", jxlBox, true, "JPEG XL"},
        {"a.jxl", {0xFF, 0x0A}, false, ""},
        {"a.jxl", {0xFF}, true, ""},
        {"a.jxl", {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87}, true, ""},
        {"a.jxl", {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0B}, true, ""},
        {"a.heic", ftyp("heic"), true, "HEIF"},
        {"a.HEIF", ftyp("mif1"), true, "HEIF"},
        {"a.avif", ftyp("avif"), true, "HEIF"},
        {"a.jpg", ftyp("heix"), true, "HEIF"},
        {"a.heic", ftyp("avis"), true, "HEIF"},
        {"a.heic", ftyp("heic"), false, ""},
        {"a.heic", ftyp("isom"), true, ""},  // a video
        {"a.heic", ftyp("mif"), true, ""},
        {"a.avif", {'f', 't', 'y', 'p', 'a', 'v', 'i', 'f'}, true, ""},
        {"a.png", webp, true, "WebP"},
        {"a.webp", webp, false, ""},
        {"a.webp", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, true, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Names(LoaderChain(c.name, c.head, {.otherFormats = c.others})), c.chain)
            << c.name << (c.others ? " (others on)" : "");
    }
}

TEST(LoaderChain, NamesCollectedWithTheOtherFormatsOffAndOn) {
    const struct {
        const char* name;
        bool off, on;
    } cases[] = {
        {"a.jpg", true, true},   {"a.JPG", true, true},   {"a.bmp", true, true},  {"a.Bmp", true, true},
        {"a.jpeg", false, true}, {"a.JPE", false, true},  {"a.jfif", false, true}, {"a.dib", false, true},
        {"a.png", false, true},  {"a.PnG", false, true},  {"a.webp", false, true}, {"a.WEBP", false, true}, {"a.gif", false, true}, {"a.tif", false, true}, {"a.TIFF", false, true}, {"a.jxl", false, true}, {"a.JXL", false, true}, {"a.heic", false, true}, {"a.HEIF", false, true}, {"a.Avif", false, true},  {"a.txt", false, false}, {"png", false, false},
        {"a.png.txt", false, false}, {"a", false, false}, {"a.", false, false},   {".png/a", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasImageExtension(c.name), c.off) << c.name;
        EXPECT_EQ(HasImageExtension(c.name, {.otherFormats = true}), c.on) << c.name;
    }
}

}  // namespace
}  // namespace pelumir

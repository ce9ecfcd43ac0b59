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

bool SniffPng(std::span<const uint8_t> head) { return head.size() >= 2 && head[0] == 0x89 && head[1] == 'P'; }
std::unique_ptr<Decoder> MakeNothing() { return nullptr; }

TEST(LoaderChain, JpegWhateverTheNameBitmapsOnlyUnderTheirOwnNameOthersWhenSwitchedOn) {
    const Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0}, bmp{'B', 'M', 0x3A, 0}, png{0x89, 'P', 'N', 'G'};
    // A made-up table: the program's own rows and one format beyond them.
    constexpr std::string_view pngExtensions[] = {".png"};
    std::vector<Format> table(Formats().begin(), Formats().end());
    table.push_back({"PNG", pngExtensions, SniffPng, MakeNothing, false, true});
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
        {"folder.bmp/a", bmp, false, ""},
        {"a.bmp", {'B'}, false, ""},
        {"a.jpg", {0xFF}, false, ""},
        {"a.jpg", {}, false, ""},
        {"a.bmp", {0x00, 'B', 'M'}, false, ""},
        {"a.png", png, false, ""},
        {"a.png", png, true, "PNG"},
        {"a.jpg", png, true, "PNG"},  // other formats go by their bytes alone
        {"a.bmp", bmp, true, "BMP"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Names(LoaderChain(table, c.name, c.head, {.otherFormats = c.others})), c.chain)
            << c.name << (c.others ? " (others on)" : "");
        if (!c.others) {
            EXPECT_EQ(Names(LoaderChain(c.name, c.head)), c.chain) << c.name;
        }
    }
}

}  // namespace
}  // namespace pelumir

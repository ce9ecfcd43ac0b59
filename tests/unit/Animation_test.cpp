// Each moving format's frames, made by its own library from one drawing:
// composed in order by their disposal and blending, with their delays and
// loop count, ending after the last and starting over on Rewind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "image/Animation.h"
#include "tests/unit/GifFixture.h"
#include "tests/unit/JxlFixture.h"
#include "tests/unit/PngFixture.h"
#include "tests/unit/WebpFixture.h"

namespace pelumir {
namespace {

using testutil::FrameArt;
using Art = std::vector<std::string>;  // a row a line; '.' is see-through

constexpr char kLetters[] = ".RGBY";
constexpr uint32_t kColours[] = {0, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};

std::vector<uint32_t> Pixels(const Art& art) {
    std::vector<uint32_t> argb;
    for (const std::string& row : art)
        for (char c : row) argb.push_back(kColours[std::string_view(kLetters).find(c)]);
    return argb;
}

// What each frame draws where, what becomes of it, and the 6 x 4 canvas
// then shown: the second draws over the first's hole and lets it through
// its own, the third covers the second's rectangle given back.
struct Step {
    int x, y;
    Art drawn;
    int delayMs, shownMs;
    FrameArt::Dispose dispose;
    Art shown;
};
const Step kSteps[] = {
    {0, 0, {".RRRRR", ".RRRRR", ".RRRRR", ".RRRRR"}, 40, 40, FrameArt::Keep, {".RRRRR", ".RRRRR", ".RRRRR", ".RRRRR"}},
    {0, 1, {"GG.", "GGG"}, 100, 100, FrameArt::Restore, {".RRRRR", "GGRRRR", "GGGRRR", ".RRRRR"}},
    {2, 1, {"BBB", "BBB", "BB."}, 10, 100, FrameArt::Clear, {".RRRRR", ".RBBBR", ".RBBBR", ".RBBRR"}},
    {0, 0, {"YY", "YY"}, 70, 70, FrameArt::Keep, {"YYRRRR", "YY...R", ".R...R", ".R...R"}},
};

testutil::AnimationArt Drawing(size_t frames) {
    testutil::AnimationArt a{6, 4, 3, {}, {}};
    for (size_t i = 0; i < frames; ++i) {
        const Step& s = kSteps[i];
        a.frames.push_back({s.x, s.y, int(s.drawn[0].size()), int(s.drawn.size()), Pixels(s.drawn), s.delayMs, s.dispose});
        a.canvases.push_back(Pixels(s.shown));
    }
    return a;
}

Art Shown(const Bitmap& canvas) {
    Art art(size_t(canvas.Height()), std::string(size_t(canvas.Width()), '?'));
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            for (int k = 0; k < 5; ++k)
                if (reinterpret_cast<const uint32_t*>(canvas.Row(y))[x] == (kColours[k] & 0xFFFFFF))
                    art[size_t(y)][size_t(x)] = kLetters[k];
    return art;
}

TEST(Animation, FramesOfEachFormat) {
    const testutil::AnimationArt art = Drawing(4);
    std::vector<uint8_t> cut = testutil::BuildGifAnimation(Drawing(3));
    cut.resize(cut.size() - 3);  // the trailer, the end of the data, and its last byte
    const struct {
        std::string name, extension;
        std::vector<uint8_t> file;
        size_t frames;  // before the end; 0: no source at all
    } rows[] = {
        {"GIF", ".gif", testutil::BuildGifAnimation(art), 4},
        {"WebP", ".webp", testutil::BuildWebpAnimation(art), 4},
        {"APNG", ".PNG", testutil::BuildApng(art), 4},
        {"JPEG XL", ".jxl", testutil::BuildJxlAnimation(art), 4},
        {"GIF cut in its third frame", ".gif", cut, 2},
        {"GIF under another name", ".png", testutil::BuildGifAnimation(art), 0},
        {"still GIF", ".gif", testutil::BuildGif({}), 0},
        {"still WebP", ".webp", testutil::BuildWebp({}), 0},
        {"still PNG", ".png", testutil::BuildPng({}), 0},
        {"PNG whose animation holds no frame", ".png", testutil::BuildPng({.animated = true}), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::unique_ptr<FrameSource> source = OpenAnimation(row.file, row.extension);
        ASSERT_EQ(source != nullptr, row.frames != 0);
        if (source == nullptr) continue;
        EXPECT_EQ(source->Width(), 6);
        EXPECT_EQ(source->Height(), 4);
        EXPECT_EQ(source->Loops(), 3);
        for (int loop = 0; loop < 2; ++loop) {
            Bitmap canvas;
            int delay = 0;
            for (size_t i = 0; i < row.frames; ++i) {
                SCOPED_TRACE("frame " + std::to_string(i + 1));
                ASSERT_TRUE(source->Next(canvas, delay));
                EXPECT_EQ(canvas.BitsPerPixel(), 32);
                EXPECT_EQ(Shown(canvas), kSteps[i].shown);
                EXPECT_EQ(delay, kSteps[i].shownMs);
            }
            EXPECT_FALSE(source->Next(canvas, delay));
            ASSERT_TRUE(source->Rewind());
        }
    }
}

}  // namespace
}  // namespace pelumir

// Each moving format's frames, made by its own library from one drawing:
// composed in order by their disposal and blending, with their delays and
// loop count, ending after the last and starting over on Rewind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/Animation.h"
#include "image/ColourSource.h"
#include "image/ColourTransform.h"
#include "viewer/FramePlayer.h"
#include "tests/unit/GifFixture.h"
#include "tests/unit/JxlFixture.h"
#include "tests/unit/PngFixture.h"
#include "tests/unit/TempDir.h"
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
    std::vector<uint8_t> silent = testutil::BuildGifAnimation(art);
    const auto loop = std::search(silent.begin(), silent.end(), std::begin("NETSCAPE2.0"), std::end("NETSCAPE2.0") - 1);
    silent.erase(loop - 3, loop + 16);  // its extension, blocks and all
    const struct {
        std::string name, extension;
        std::vector<uint8_t> file;
        size_t frames;  // before the end; 0: no source at all
        int loops = 3;
    } rows[] = {
        {"GIF that says nothing of loops", ".gif", silent, 4, 0},
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
        EXPECT_EQ(source->Loops(), row.loops);
        for (int loop = 0; loop < 2; ++loop) {
            int delay = 0;
            for (size_t i = 0; i < row.frames; ++i) {
                SCOPED_TRACE("frame " + std::to_string(i + 1));
                const Bitmap* canvas = source->Next(delay);
                ASSERT_NE(canvas, nullptr);
                EXPECT_EQ(canvas->BitsPerPixel(), 32);
                EXPECT_EQ(Shown(*canvas), kSteps[i].shown);
                EXPECT_EQ(delay, kSteps[i].shownMs);
            }
            EXPECT_EQ(source->Next(delay), nullptr);
            ASSERT_TRUE(source->Rewind());
        }
    }
}

// The frames as the viewer plays them, through their own decoder process,
// against a clock of the test's: each shows at its time and not before,
// every loop the file asks for, and the last stays once they end.
TEST(Animation, PlayedInTimeByTheirOwnProcess) {
    std::vector<uint8_t> cut = testutil::BuildGifAnimation(Drawing(3));
    cut.resize(cut.size() - 3);
    const struct {
        std::string name, file;
        std::vector<uint8_t> bytes;
        std::vector<size_t> shown;  // after the first, which is on screen already
        bool swapped = false;       // turned by a table that swaps red and green
    } rows[] = {
        {"GIF", "a.gif", testutil::BuildGifAnimation(Drawing(4)), {1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}},
        {"WebP", "a.webp", testutil::BuildWebpAnimation(Drawing(4)), {1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}},
        {"APNG", "a.png", testutil::BuildApng(Drawing(4)), {1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}},
        {"JPEG XL", "a.jxl", testutil::BuildJxlAnimation(Drawing(4)), {1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}},
        {"GIF broken in its third frame", "cut.gif", cut, {1, 0, 1, 0, 1}},
        {"WebP in colours of its own", "b.webp", testutil::BuildWebpAnimation(Drawing(4)), {1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}, true},
        {"still GIF", "still.gif", testutil::BuildGif({}), {}},
        {"still WebP", "still.webp", testutil::BuildWebp({}), {}},
        {"still PNG", "still.png", testutil::BuildPng({}), {}},
    };
    testutil::TempDir dir;
    FramePlayer player;
    const FramePlayer::Clock::time_point start{};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.Touch(row.file, {row.bytes.begin(), row.bytes.end()});
        // The table the still picture's decode hands over with it.
        const std::array<double, 8> swap{0.30, 0.60, 0.64, 0.33, 0.15, 0.06, 0.3127, 0.3290};
        const UniqueFd table =
            row.swapped ? decoding::SharedCopy(
                              "table", ColourTableFor(DescribedColour(swap, ColourSource::Transfer::Srgb), {})->Serialise())
                        : UniqueFd();
        player.Start({path, 60, 40, Orientation::Normal, table.get()}, start);
        FramePlayer::Clock::time_point due = start + std::chrono::milliseconds(kSteps[0].shownMs);
        Bitmap shown;
        size_t before = 0;
        for (size_t i : row.shown) {
            // Answers are taken in while the frame is not yet due.
            for (int tries = 0; !player.Due() && player.Playing() && tries < 10000; ++tries) {
                EXPECT_FALSE(player.Step(start, shown));
                usleep(1000);
            }
            ASSERT_EQ(player.Due(), std::optional(due));
            EXPECT_FALSE(player.Step(due - std::chrono::milliseconds(1), shown));
            ASSERT_TRUE(player.Step(due, shown));
            // Shown at its own size, in the middle.
            Bitmap canvas;
            canvas.Allocate(6, 4, 32);
            for (int y = 0; y < 4; ++y)
                std::memcpy(canvas.Row(y), shown.Row(18 + y) + 27 * 4, 6 * 4);
            Art want = kSteps[i].shown;
            for (std::string& line : want)
                for (char& c : line)
                    if (row.swapped && (c == 'R' || c == 'G')) c = c == 'R' ? 'G' : 'R';
            EXPECT_EQ(Shown(canvas), want) << "after frame " << before + 1;
            due += std::chrono::milliseconds(kSteps[i].shownMs);
            before = i;
        }
        for (int tries = 0; player.Playing() && tries < 10000; ++tries) {
            EXPECT_FALSE(player.Step(due + std::chrono::hours(1), shown));
            usleep(1000);
        }
        EXPECT_FALSE(player.Playing());
    }
}

}  // namespace
}  // namespace pelumir

namespace pelumir {
namespace {

// Frames begun on a process that ends before they are asked for go on in
// the process that replaces it: what was told is told again.
TEST(Animation, FramesBegunOnAnEndedProcessGoOn) {
    testutil::TempDir dir;
    const std::vector<uint8_t> bytes = testutil::BuildGifAnimation(Drawing(4));
    const std::string path = dir.Touch("a.gif", {bytes.begin(), bytes.end()});
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    DecoderLink link;
    decoding::Request begin;
    begin.kind = decoding::Request::Kind::Frames;
    decoding::ExtensionField(path, begin.extension);
    ASSERT_TRUE(link.Tell(begin, file.get(), -1));
    kill(link.Process(), SIGKILL);
    pollfd ended{link.Socket(), POLLIN, 0};
    ASSERT_EQ(poll(&ended, 1, 10000), 1);
    decoding::SharedFrame frame;
    ASSERT_TRUE(frame.Ensure(decoding::FrameBytes(60, 40)));
    decoding::Request next;
    next.kind = decoding::Request::Kind::NextFrame;
    next.frameWidth = 60;
    next.frameHeight = 40;
    ASSERT_TRUE(link.Ask(next, UniqueFd(), frame.fd.get()));
    std::optional<DecoderLink::Answer> answer;
    for (int tries = 0; !answer && tries < 10; ++tries) answer = link.Poll(std::chrono::milliseconds(1000));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->reply.kind, decoding::Reply::Kind::Done);
    EXPECT_EQ(answer->reply.delayMs, uint32_t(kSteps[0].shownMs));
}

}  // namespace
}  // namespace pelumir

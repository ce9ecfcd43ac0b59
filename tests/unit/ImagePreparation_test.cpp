#include "viewer/ImagePreparation.h"

#include "decoder/DecodeJob.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/GifLoader.h"
#include "image/JxlLoader.h"
#include "image/PngLoader.h"
#include "image/TiffLoader.h"
#include "image/WebpLoader.h"
#include "tests/unit/GifFixture.h"
#include "tests/unit/ImageFixtures.h"
#include "tests/unit/JxlFixture.h"
#include "tests/unit/PngFixture.h"
#include "tests/unit/TempDir.h"
#include "tests/unit/TestFiles.h"
#include "tests/unit/TiffFixture.h"
#include "tests/unit/WebpFixture.h"

namespace pelumir {
namespace {

using testutil::JpegRecipe;

// Noisy pictures, so the files span many pieces.
std::string Jpeg(JpegRecipe recipe, int w = 320, int h = 200, bool subsampled = true) {
    recipe.width = w;
    recipe.height = h;
    recipe.subsampled = subsampled;
    const auto bytes = testutil::NoisyJpeg(recipe);
    return std::string(bytes.begin(), bytes.end());
}

std::string Bmp(int bits) {
    const auto bytes = testutil::NoisyBmp(bits, 96, 50);
    return std::string(bytes.begin(), bytes.end());
}

std::string Tagged(const std::string& jpeg, uint32_t orientation) {
    const auto bytes = testutil::OrientedJpeg({jpeg.begin(), jpeg.end()}, orientation);
    return std::string(bytes.begin(), bytes.end());
}

using testutil::ColdChange;
using testutil::ExpectSameBitmap;

// What a preparation gives.
struct Taken {
    bool loaded = false;
    Orientation orientation = Orientation::Normal;
    Bitmap source, frame;
    int pieces = 0;  // how often the program's word was looked for, when counted
};

struct Wanted {
    bool keep = true;
    bool follow = true;
    bool other = false;
};

// Through the decoder process, as the viewer prepares a picture.
Taken Prepare(ImagePreparation& prep, const std::string& path, int w, int h, Wanted wanted) {
    prep.KeepPicture(wanted.keep);
    prep.FollowExif(wanted.follow);
    prep.OtherFormats(wanted.other);
    prep.Start(path, w, h);
    prep.Finish();
    Taken t;
    t.loaded = prep.Loaded();
    t.orientation = prep.PictureOrientation();
    prep.TakeInto(t.source, t.frame);
    return t;
}

// The decoder process's work done here, in pieces of `pieceBytes`, the
// program's word looked for at every chance: each gives the picture the
// whole file gives.
Taken PrepareInPieces(const std::string& path, int w, int h, size_t pieceBytes, Wanted wanted) {
    decoding::Request request;
    request.frameWidth = w;
    request.frameHeight = h;
    request.keepWhole = wanted.keep;
    request.followExif = wanted.follow;
    request.otherFormats = wanted.other;
    decoding::ExtensionField(path, request.extension);
    Taken t;
    t.frame.Allocate(w, h, kFrameBits);
    FileStamp stamp;
    ReadResult result;
    const int fd = OpenRegularFile(path, kMaxBitmapBytes, stamp, result);
    if (fd < 0) return t;
    decoding::DecodeJob job;
    decoding::JobResult r = job.Run(request, fd, t.frame.Bits(), t.frame.ByteSize(), [&] { return ++t.pieces, false; },
                                    pieceBytes, {});
    t.loaded = r.reply.kind == decoding::Reply::Kind::Done;
    t.orientation = Orientation(r.reply.orientation);
    if (r.whole.ok()) EXPECT_TRUE(decoding::MapPicture(r.reply, r.whole.get(), t.source));
    return t;
}

// The 200 x 150 frame a picture is fitted into, turned as said.
Bitmap Fitted(const Bitmap& picture, Orientation orientation) {
    Bitmap frame;
    frame.Allocate(200, 150, kFrameBits);
    DrawFitted(picture, frame, 200, 150, orientation);
    return frame;
}

// The picture kept whole (none when not kept) and the frame are the ones wanted.
void ExpectTaken(const Taken& t, bool keep, const Bitmap& picture, const Bitmap& frame) {
    if (keep) ExpectSameBitmap(t.source, picture);
    else EXPECT_TRUE(t.source.Empty());  // no full-size picture was made
    ExpectSameBitmap(t.frame, frame);
}

// ---- tests ----

// Kept whole for turning, or fitted row by row as it is decoded: the same frame.
TEST(ImagePreparation, APreparedImageIsTheColdChangeByteForByte) {
    testutil::TempDir dir;
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    const std::pair<const char*, JpegRecipe> jpegs[] = {
        {"baseline.jpg", {}},
        {"progressive.jpg", {.progressive = true}},
        {"grey.jpg", {.input = JCS_GRAYSCALE, .stored = JCS_GRAYSCALE}},
        {"grey-progressive.jpg", {.input = JCS_GRAYSCALE, .stored = JCS_GRAYSCALE, .progressive = true}},
        {"cmyk-adobe.jpg", {.input = JCS_CMYK, .stored = JCS_CMYK}},
        {"cmyk-plain.jpg", {.input = JCS_CMYK, .stored = JCS_CMYK, .adobeMarker = false}},
        {"ycck.jpg", {.input = JCS_CMYK, .stored = JCS_YCCK, .progressive = true}},
        {"arithmetic.jpg", {.progressive = true, .arithmetic = true}},  // a decoder that cannot stop midway
    };
    for (const auto& [name, recipe] : jpegs) files.emplace_back(name, Jpeg(recipe));
    for (int bits : {1, 4, 8, 16, 24, 32}) files.emplace_back("depth" + std::to_string(bits) + ".bmp", Bmp(bits));
    const std::string baseline = files[0].second, progressive = files[1].second;
    // Cut short, a JPEG still decodes to full size; past its end the
    // decoder sees what a memory source shows it, read on or not.
    files.emplace_back("truncated.jpg", baseline.substr(0, baseline.size() * 2 / 3));
    files.emplace_back("truncated-progressive.jpg", progressive.substr(0, progressive.size() / 2));
    files.emplace_back("broken.jpg", baseline.substr(0, 300) + std::string(5000, '\x55'));
    files.emplace_back("broken.bmp", files.back().second);  // read on as a JPEG, then read whole
    files.emplace_back("empty.jpg", "");
    // Tagged to be shown turned or mirrored: fitted by the turned size.
    files.emplace_back("turned-6.jpg", Tagged(baseline, 6));
    files.emplace_back("turned-7-progressive.jpg", Tagged(progressive, 7));
    files.emplace_back("mirrored-4-grey.jpg", Tagged(files[2].second, 4));
    // The EXIF data behind a segment larger than many pieces: the file is
    // read on only once the segments before the image data are in.
    const auto tagged = testutil::OrientedJpeg({baseline.begin(), baseline.end()}, 6);
    const auto late = testutil::WithApp1(tagged, std::vector<uint8_t>(60000, 'x'));
    files.emplace_back("turned-6-late-exif.jpg", std::string(late.begin(), late.end()));
    // Far taller than the frame: most rows, whole bands of blocks among
    // them, are passed over instead of made.
    const std::string tall = Jpeg({}, 40, 4800);
    files.emplace_back("tall.jpg", tall);
    files.emplace_back("tall-unsubsampled.jpg", Jpeg({}, 40, 4800, false));
    files.emplace_back("tall-progressive.jpg", Jpeg({.progressive = true}, 40, 4800));
    files.emplace_back("tall-cmyk.jpg", Jpeg({.input = JCS_CMYK, .stored = JCS_CMYK}, 40, 4800));
    files.emplace_back("tall-ycck.jpg", Jpeg({.input = JCS_CMYK, .stored = JCS_YCCK, .progressive = true}, 40, 4800));
    files.emplace_back("tall-truncated.jpg", tall.substr(0, tall.size() / 2));
    files.emplace_back("tall-turned-6.jpg", Tagged(tall, 6));
    // Too narrow for smooth chroma: the rows come in pairs without the
    // rows around them, and short passes start between the two.
    files.emplace_back("narrow.jpg", Jpeg({}, 4, 400));

    ImagePreparation prep;
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const std::string path = dir / name;
        testutil::Spit(path, bytes);
        Bitmap coldSource, coldFrame;
        ColdChange(path, 200, 150, coldSource, coldFrame);
        for (bool keep : {true, false}) {
            SCOPED_TRACE(keep ? "kept" : "streamed");
            ExpectTaken(Prepare(prep, path, 200, 150, {.keep = keep}), keep, coldSource, coldFrame);
            for (size_t piece : {size_t(1), size_t(700)}) {
                SCOPED_TRACE("pieces of " + std::to_string(piece));
                const Taken t = PrepareInPieces(path, 200, 150, piece, {.keep = keep});
                if (piece == 700 && bytes.size() > 20000) {
                    EXPECT_GT(t.pieces, 10);  // the work could have been dropped midway
                }
                ExpectTaken(t, keep, coldSource, coldFrame);
            }
        }
    }
    // The failures are failures, not pictures.
    for (const char* name : {"broken.jpg", "broken.bmp", "empty.jpg", "missing.jpg"}) {
        const Taken t = Prepare(prep, dir / name, 200, 150, {});
        EXPECT_FALSE(t.loaded) << name;
        EXPECT_TRUE(t.source.Empty()) << name;
        EXPECT_EQ(t.frame.Width(), 200);
        EXPECT_FALSE(PrepareInPieces(dir / name, 200, 150, 700, {}).loaded) << name;
    }
}

// Files changed after they were prepared are checked in the viewer, click by
// click; here what the preparation holds.
TEST(ImagePreparation, FinishingMidwayGivesTheSameImageAndHoldsOnlyThatFileAtThatSize) {
    testutil::TempDir dir;
    const std::string path = dir / "photo.jpg";
    testutil::Spit(path, Jpeg({.progressive = true}));
    Bitmap coldSource, coldFrame;
    ColdChange(path, 160, 120, coldSource, coldFrame);

    ImagePreparation prep;
    prep.Start(path, 160, 120);
    EXPECT_TRUE(prep.Holds(path, 160, 120));
    EXPECT_FALSE(prep.Holds(path, 161, 120));
    EXPECT_FALSE(prep.Holds(dir / "other.jpg", 160, 120));
    prep.Finish();
    ASSERT_TRUE(prep.Ready());
    Bitmap source, frame;
    prep.TakeInto(source, frame);
    ExpectSameBitmap(source, coldSource);
    ExpectSameBitmap(frame, coldFrame);
    EXPECT_FALSE(prep.Aimed());
}

// A photo tagged to be turned is prepared turned, kept or not, the picture
// itself as stored; switched off, as stored. A change of the switch is
// another preparation.
TEST(ImagePreparation, ATaggedPhotoIsPreparedTurnedUnlessSwitchedOff) {
    testutil::TempDir dir;
    const std::string path = dir / "portrait.jpg";
    testutil::Spit(path, Tagged(Jpeg({}), 6));
    FileBytes bytes;
    Bitmap stored;
    ASSERT_TRUE(LoadImageFile(path, bytes, stored));
    ImagePreparation prep;
    for (bool follow : {true, false}) {
        const Bitmap want = Fitted(stored, follow ? Orientation::Rotate90 : Orientation::Normal);
        for (bool keep : {true, false}) {
            SCOPED_TRACE(std::string(follow ? "following EXIF, " : "as stored, ") + (keep ? "kept" : "streamed"));
            prep.FollowExif(follow);
            prep.KeepPicture(keep);
            prep.Start(path, 200, 150);
            EXPECT_TRUE(prep.Holds(path, 200, 150));
            prep.FollowExif(!follow);
            EXPECT_FALSE(prep.Holds(path, 200, 150));
            const Taken t = Prepare(prep, path, 200, 150, {.keep = keep, .follow = follow});
            EXPECT_EQ(t.orientation, follow ? Orientation::Rotate90 : Orientation::Normal);
            ExpectTaken(t, keep, stored, want);
        }
    }
}

// A photo with a wide-gamut profile: its shown pixels are turned into the
// screen's colours, kept or not; kept, the table comes along and turns a
// frame fitted again (as a turn fits it) alike. Switched off, as stored.
TEST(ImagePreparation, ColoursAreTurnedForTheScreenUnlessSwitchedOff) {
    testutil::TempDir dir;
    const std::string path = dir / "p3.jpg";
    const cmsCIExyY white{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &p3, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> icc(size);
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    const std::string jpeg = Jpeg({.icc = icc});
    testutil::Spit(path, jpeg);
    FileBytes bytes;
    Bitmap stored;
    ASSERT_TRUE(LoadImageFile(path, bytes, stored));
    const Bitmap plain = Fitted(stored, Orientation::Normal);
    ImagePreparation prep;
    prep.KeepPicture(true);
    prep.Start(path, 200, 150);
    prep.Finish();
    const std::shared_ptr<const ColourTable> colours = prep.PictureColours();
    ASSERT_NE(colours, nullptr);
    Bitmap source, turned;
    prep.TakeInto(source, turned);
    Bitmap again = Fitted(source, Orientation::Normal);
    const FitRect area = ComputeFittedRect(source.Width(), source.Height(), 200, 150);
    colours->Apply(again, int(area.left), int(area.top), int(area.right), int(area.bottom));
    ExpectSameBitmap(turned, again);
    EXPECT_NE(std::memcmp(turned.Bits(), plain.Bits(), plain.ByteSize()), 0);
    prep.Start(path, 200, 150);
    prep.ColourManaged(false);
    EXPECT_FALSE(prep.Holds(path, 200, 150));  // a change of the switch is another preparation
    for (bool on : {true, false}) {
        prep.ColourManaged(on);
        const Taken t = Prepare(prep, path, 200, 150, {.keep = false});
        ExpectSameBitmap(t.frame, on ? again : plain);
    }
}

// A JPEG XL carries its turn in the picture itself: it is applied whether
// EXIF is followed or not, and once, whatever an Exif box beside it says.
TEST(ImagePreparation, AJpegXlIsTurnedByItsOwnOrientationOnly) {
    testutil::TempDir dir;
    const std::string path = dir / "portrait.jxl";
    // Rows without padding, so the kept pictures compare byte for byte.
    const auto file = testutil::BuildJxl({.width = 32, .height = 20, .orientation = 6, .exifOrientation = 8});
    testutil::Spit(path, std::string(file.begin(), file.end()));
    Bitmap stored;
    ASSERT_TRUE(DecodeWhole(DecodeJxl, file, stored));
    const Bitmap want = Fitted(stored, Orientation::Rotate90);
    ImagePreparation prep;
    for (bool follow : {true, false})
        for (bool keep : {true, false}) {
            SCOPED_TRACE(std::string(follow ? "following EXIF, " : "EXIF off, ") + (keep ? "kept" : "streamed"));
            const Wanted wanted{.keep = keep, .follow = follow, .other = true};
            for (const Taken& t : {Prepare(prep, path, 200, 150, wanted), PrepareInPieces(path, 200, 150, 7, wanted)}) {
                ASSERT_TRUE(t.loaded);
                EXPECT_EQ(t.orientation, Orientation::Rotate90);
                ExpectTaken(t, keep, stored, want);
            }
        }
}

// Far taller than the frame, so most rows are decoded and let go: fitted
// row by row in pieces, each gives the frame its whole picture gives.
TEST(ImagePreparation, OtherFormatsLetGoOfTheRowsTheFrameNeverShows) {
    testutil::TempDir dir;
    constexpr int w = 30, h = 700;
    struct File {
        const char* name;
        std::vector<uint8_t> bytes;
        DecodeFn decode;
    };
    const File files[] = {
        {"opaque.png", testutil::BuildPng({.width = w, .height = h}), DecodePng},
        {"grey-transparent.png",
         testutil::BuildPng({.width = w, .height = h, .colorType = PNG_COLOR_TYPE_GRAY_ALPHA}), DecodePng},
        {"interlaced.png", testutil::BuildPng({.width = w, .height = h, .interlaced = true}), DecodePng},
        {"interlaced-transparent.png",
         testutil::BuildPng({.width = w, .height = h, .colorType = PNG_COLOR_TYPE_RGB_ALPHA, .interlaced = true}),
         DecodePng},
        {"interlaced.gif",
         testutil::BuildGif({.width = w, .height = h, .frameWidth = w, .frameHeight = h, .interlaced = true}),
         DecodeGif},
        {"inset.gif", testutil::BuildGif({.width = w, .height = h, .left = 3, .top = 90, .frameWidth = 20, .frameHeight = 500}),
         DecodeGif},
        {"transparent.webp", testutil::BuildWebp({.width = w, .height = h, .alpha = true}), DecodeWebp},
        {"one-strip.tif",
         testutil::BuildTiff({.width = w, .height = h, .rowsPerStrip = h, .compression = COMPRESSION_LZW}), DecodeTiff},
        {"grey-alpha.tif", testutil::BuildTiff({.width = w, .height = h, .samples = 2, .rowsPerStrip = 64}), DecodeTiff},
        {"palette.tif", testutil::BuildTiff({.width = w, .height = h, .palette = true, .rowsPerStrip = 64}), DecodeTiff},
    };
    ImagePreparation prep;
    for (const File& file : files) {
        SCOPED_TRACE(file.name);
        const std::string path = dir / file.name;
        testutil::Spit(path, std::string(file.bytes.begin(), file.bytes.end()));
        Bitmap whole;
        ASSERT_TRUE(DecodeWhole(file.decode, file.bytes, whole));
        const Bitmap want = Fitted(whole, Orientation::Normal);
        const Wanted streamed{.keep = false, .other = true};
        for (const Taken& t : {Prepare(prep, path, 200, 150, streamed), PrepareInPieces(path, 200, 150, 7, streamed)}) {
            ASSERT_TRUE(t.loaded);
            ExpectTaken(t, false, whole, want);
        }
    }
}

}  // namespace
}  // namespace pelumir

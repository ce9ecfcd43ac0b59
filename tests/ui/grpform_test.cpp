#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>

#include "ViewerFixture.h"
#include "tests/unit/ImageFixtures.h"
#include "tests/unit/TestFiles.h"
#include "viewer/PlayOrder.h"

using namespace pelumir;
using testutil::Click;
using testutil::FramePixel;
using testutil::Near;

namespace {

class Viewer : public testutil::ViewerTest {
protected:
    void ThreeImages(TViewerConfig config = {}) {
        a = testutil::WriteImage(dir, "a.jpg", 800, 600, 0xFF0000);
        b = testutil::WriteImage(dir, "b.jpg", 640, 480, 0x00FF00);
        c = testutil::WriteImage(dir, "c.jpg", 2000, 1000, 0x0000FF);
        Show({a, b, c}, config);
    }
    uint32_t Centre() const { return FramePixel(view.BackBuffer(), 512, 384); }
    std::string a, b, c;
};

}  // namespace

TEST_F(Viewer, FirstImageIsFittedAndCentredOnBlack) {
    ThreeImages();
    ASSERT_TRUE(view.isVisible());
    EXPECT_EQ(view.CurrentIndex(), 0);
    const Bitmap& f = view.BackBuffer();
    ASSERT_EQ(f.Width(), 1024);
    ASSERT_EQ(f.Height(), 768);
    // 800 x 600 unscaled at (112, 84)-(912, 684).
    EXPECT_EQ(FramePixel(f, 111, 300), 0u);
    EXPECT_TRUE(Near(FramePixel(f, 112, 300), 0xFF0000));
    EXPECT_TRUE(Near(FramePixel(f, 911, 683), 0xFF0000));
    EXPECT_EQ(FramePixel(f, 912, 300), 0u);
    EXPECT_EQ(FramePixel(f, 500, 83), 0u);
    EXPECT_EQ(FramePixel(f, 500, 684), 0u);
    EXPECT_TRUE(view.SourceBitmap().Empty());  // going back needs no full-size picture
}

TEST_F(Viewer, ClicksMoveThroughTheListAndPastTheEndClose) {
    TViewerConfig config;
    config.LoopMode = false;
    ThreeImages(config);
    Click(&view, Qt::LeftButton);
    EXPECT_EQ(view.CurrentIndex(), 1);
    EXPECT_TRUE(Near(Centre(), 0x00FF00));
    Click(&view, Qt::LeftButton);
    EXPECT_EQ(view.CurrentIndex(), 2);
    // 2000 x 1000 shrinks to 1024 x 512 at (0, 128)-(1024, 640).
    EXPECT_EQ(FramePixel(view.BackBuffer(), 500, 127), 0u);
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 0, 128), 0x0000FF));
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 1023, 639), 0x0000FF));
    EXPECT_EQ(FramePixel(view.BackBuffer(), 500, 640), 0u);
    Click(&view, Qt::LeftButton);
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(view.CurrentIndex(), 3);
    EXPECT_TRUE(view.SourceBitmap().Empty() && view.BackBuffer().Empty() && view.InfoBitmap().isNull());
    // Once the show has ended past the last image, drawing again decodes nothing.
    const int decodes = view.DecodeCount();
    view.ShowCurrentImage();
    EXPECT_EQ(view.DecodeCount(), decodes);
}

TEST_F(Viewer, RightClickGoesBackAndWrapsToTheLast) {
    for (bool loop : {false, true}) {
        TViewerConfig config;
        config.LoopMode = loop;
        ThreeImages(config);
        Click(&view, Qt::RightButton);
        EXPECT_EQ(view.CurrentIndex(), 2);
        Click(&view, Qt::RightButton);
        EXPECT_EQ(view.CurrentIndex(), 1);
        view.hide();
    }
}

TEST_F(Viewer, LoopModeStartsOverWithAFreshOrder) {
    TViewerConfig config;
    config.LoopMode = true;
    config.ImageSortType = 2;
    RandomSeed = 99;
    ThreeImages(config);
    const uint32_t seedAfterFirstOrder = RandomSeed;
    Click(&view, Qt::LeftButton);
    Click(&view, Qt::LeftButton);
    Click(&view, Qt::LeftButton);
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.CurrentIndex(), 0);
    EXPECT_NE(RandomSeed, seedAfterFirstOrder);  // a new shuffle was drawn
    EXPECT_EQ(view.PlayList().size(), 3u);
}

TEST_F(Viewer, DoubleClickCountsAsTwoPresses) {
    ThreeImages();
    testutil::SendMouse(&view, QEvent::MouseButtonPress, Qt::LeftButton);
    testutil::SendMouse(&view, QEvent::MouseButtonRelease, Qt::LeftButton);
    testutil::SendMouse(&view, QEvent::MouseButtonDblClick, Qt::LeftButton);
    testutil::SendMouse(&view, QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_EQ(view.CurrentIndex(), 2);
}

TEST_F(Viewer, MiddleClickPausesTheAutomaticAdvanceUntilTheNextImage) {
    TViewerConfig config;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 600;
    ThreeImages(config);
    EXPECT_TRUE(view.tmrAutoSlide().Enabled());
    // Thumb buttons are no buttons of the viewer's: they do nothing at all.
    for (Qt::MouseButton other : {Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton3, Qt::ExtraButton12})
        Click(&view, other);
    EXPECT_TRUE(view.tmrAutoSlide().Enabled());
    Click(&view, Qt::MiddleButton);
    EXPECT_FALSE(view.tmrAutoSlide().Enabled());
    EXPECT_EQ(view.CurrentIndex(), 0);
    Click(&view, Qt::LeftButton);
    EXPECT_TRUE(view.tmrAutoSlide().Enabled());
}

TEST_F(Viewer, TicksAdvanceAndEscapeStopsThem) {
    TViewerConfig config;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 600;
    ThreeImages(config);
    view.tmrAutoSlideTimer();
    EXPECT_EQ(view.CurrentIndex(), 1);
    EXPECT_TRUE(view.tmrAutoSlide().Enabled());
    QKeyEvent other(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&view, &other);
    EXPECT_TRUE(view.isVisible());
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&view, &esc);
    EXPECT_FALSE(view.isVisible());
    EXPECT_FALSE(view.tmrAutoSlide().Enabled());
    // The next show starts at its first image.
    view.show();
    EXPECT_EQ(view.CurrentIndex(), 0);
}

TEST_F(Viewer, ZeroSecondAdvanceNeverTicks) {
    TViewerConfig config;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 0;
    ThreeImages(config);
    EXPECT_EQ(view.tmrAutoSlide().RemainingMs(), -1);
}

TEST_F(Viewer, AnUndecodableFileGivesABlackFrameAndTheShowGoesOn) {
    a = testutil::WriteImage(dir, "a.jpg", 800, 600, 0xFF0000);
    const std::string broken = dir.filePath("broken.jpg").toStdString();
    { std::FILE* f = std::fopen(broken.c_str(), "wb"); std::fputs("not an image", f); std::fclose(f); }
    TViewerConfig config;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 600;
    Show({a, broken}, config);
    view.tmrAutoSlideTimer();
    EXPECT_EQ(view.CurrentIndex(), 1);
    EXPECT_EQ(Centre(), 0u);
    EXPECT_TRUE(view.InfoVisible());
    EXPECT_TRUE(view.tmrAutoSlide().Enabled());
    view.tmrAutoSlideTimer();
    EXPECT_TRUE(Near(Centre(), 0xFF0000));
    EXPECT_TRUE(errors.empty());
}

TEST_F(Viewer, EachImageIsDecodedOncePerShowingUntilTheSizeChanges) {
    ThreeImages();
    EXPECT_EQ(view.DecodeCount(), 1);
    view.resize(1024, 768);
    QApplication::processEvents();
    EXPECT_EQ(view.DecodeCount(), 1);
    view.resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(view.DecodeCount(), 2);
    EXPECT_EQ(view.BackBuffer().Width(), 800);
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 0, 0), 0xFF0000));  // 800 x 600 fills it
}

TEST_F(Viewer, InformationTextIsPositionOrPath) {
    std::vector<std::string> twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back(testutil::WriteImage(dir, std::to_string(i) + ".jpg", 8, 8, 0x808080));
    TViewerConfig config;
    config.ImageInfoShow = 0;
    Show(twelve, config);
    const QImage first = view.InfoBitmap();
    Click(&view, Qt::LeftButton);
    Click(&view, Qt::LeftButton);
    EXPECT_EQ(view.CurrentIndex(), 2);
    EXPECT_NE(view.InfoBitmap(), first);
    view.hide();
    config.ImageInfoType = 1;
    Show(twelve, config);
    EXPECT_GT(view.InfoBitmap().width(), first.width() * 3);  // the whole path on one line
}

TEST_F(Viewer, RightClickRotatesInRotateMode) {
    TViewerConfig config;
    config.RightClickMode = 1;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 600;
    // A 640 x 480 image whose top-left quarter is red, the rest green.
    QImage img(640, 480, QImage::Format_RGB32);
    img.fill(0x00FF00);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) img.setPixel(x, y, 0xFFFF0000);
    const QString path = dir.filePath("q.bmp");
    ASSERT_TRUE(img.save(path, "BMP"));
    Show({path.toStdString(), a = testutil::WriteImage(dir, "a.jpg", 64, 48, 0x0000FF)}, config);
    const Bitmap upright = view.SourceBitmap();
    QTest::qWait(300);
    // The countdown starts afresh: more is left than before the click, by
    // however long the click itself took on a busy machine.
    const int before = view.tmrAutoSlide().RemainingMs();
    QElapsedTimer clickTime;
    clickTime.start();
    Click(&view, Qt::RightButton);
    EXPECT_GT(view.tmrAutoSlide().RemainingMs() + clickTime.elapsed(), before + 250);
    EXPECT_EQ(view.CurrentIndex(), 0);
    EXPECT_EQ(view.SourceBitmap().Width(), 480);
    EXPECT_EQ(view.SourceBitmap().Height(), 640);
    // 480 x 640 turned clockwise: native size at (272, 64), red now top-right.
    const Bitmap& f = view.BackBuffer();
    EXPECT_EQ(FramePixel(f, 271, 100), 0u);
    EXPECT_EQ(FramePixel(f, 272 + 479, 64), 0xFF0000u);
    EXPECT_EQ(FramePixel(f, 272, 64), 0x00FF00u);
    EXPECT_EQ(FramePixel(f, 752, 100), 0u);
    EXPECT_EQ(FramePixel(f, 300, 63), 0u);
    for (int i = 0; i < 3; ++i) Click(&view, Qt::RightButton);
    ASSERT_EQ(view.SourceBitmap().Width(), 640);
    for (int y = 0; y < 480; y += 37)
        for (int x = 0; x < 640; x += 41)
            ASSERT_EQ(FramePixel(view.SourceBitmap(), x, y), FramePixel(upright, x, y) & 0xFFFFFF);
    // A size change reloads the file upright.
    Click(&view, Qt::RightButton);
    view.resize(1000, 700);
    QApplication::processEvents();
    EXPECT_EQ(view.SourceBitmap().Width(), 640);
    EXPECT_TRUE(errors.empty());
}

// A photo taken upright shows upright; a turn goes on from there, and with
// the setting off the photo shows as stored.
TEST_F(Viewer, ATaggedPhotoShowsUprightAndTurnsFromThere) {
    // 64 x 48 as stored, its top-left quarter red, the rest green, tagged to
    // be turned a quarter clockwise.
    std::vector<uint8_t> rgb(64 * 48 * 3);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool red = x < 32 && y < 24;
            rgb[size_t(3 * (y * 64 + x))] = red ? 255 : 0;
            rgb[size_t(3 * (y * 64 + x) + 1)] = red ? 0 : 255;
        }
    const auto jpeg = testutil::OrientedJpeg(testutil::EncodeJpeg({64, 48}, rgb), 6);
    const std::string path = dir.filePath("portrait.jpg").toStdString();
    testutil::Spit(path, std::string(jpeg.begin(), jpeg.end()));
    TViewerConfig config;
    config.RightClickMode = RightClick::RotateClockwise;
    Show({path}, config);
    // Upright 48 x 64 at (488, 352), the red quarter top right; the picture itself kept as stored.
    const Bitmap& f = view.BackBuffer();
    EXPECT_EQ(FramePixel(f, 487, 380), 0u);
    EXPECT_TRUE(Near(FramePixel(f, 488 + 44, 352 + 4), 0xFF0000));
    EXPECT_TRUE(Near(FramePixel(f, 488 + 4, 352 + 4), 0x00FF00));
    EXPECT_TRUE(Near(FramePixel(f, 488 + 44, 352 + 60), 0x00FF00));
    EXPECT_EQ(FramePixel(f, 488 + 48, 380), 0u);
    EXPECT_EQ(view.SourceBitmap().Width(), 64);
    EXPECT_EQ(view.SourceOrientation(), Orientation::Rotate90);

    // A quarter clockwise from upright: 64 x 48 at (480, 360), red bottom right.
    Click(&view, Qt::RightButton);
    EXPECT_EQ(view.SourceBitmap().Width(), 64);
    EXPECT_EQ(view.SourceOrientation(), Orientation::Normal);
    EXPECT_TRUE(Near(FramePixel(f, 480 + 60, 360 + 44), 0xFF0000));
    EXPECT_TRUE(Near(FramePixel(f, 480 + 60, 360 + 4), 0x00FF00));
    EXPECT_TRUE(Near(FramePixel(f, 480 + 4, 360 + 44), 0x00FF00));
    EXPECT_EQ(FramePixel(f, 479, 380), 0u);

    view.hide();
    config.AutoOrientation = false;
    Show({path}, config);
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 480 + 4, 360 + 4), 0xFF0000));
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 480 + 60, 360 + 4), 0x00FF00));
    EXPECT_EQ(FramePixel(view.BackBuffer(), 479, 380), 0u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(Viewer, RotatingNothingReportsASizeErrorAndStaysOpen) {
    TViewerConfig config;
    config.RightClickMode = 1;
    const std::string broken = dir.filePath("broken.jpg").toStdString();
    { std::FILE* f = std::fopen(broken.c_str(), "wb"); std::fputs("garbage", f); std::fclose(f); }
    Show({broken}, config);
    Click(&view, Qt::RightButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Bitmap Size Error.");
    EXPECT_TRUE(view.isVisible());
}

TEST_F(Viewer, KeysStepForwardAsALeftClickAndBackWhateverTheRightButtonDoes) {
    TViewerConfig config;
    config.LoopMode = false;
    config.RightClickMode = 1;  // the right button turns; the keys still go back
    ThreeImages(config);
    const int rotatedWidth = view.SourceBitmap().Width();
    for (int key : {Qt::Key_Left, Qt::Key_PageUp, Qt::Key_Backspace}) {
        QTest::keyClick(&view, Qt::Key(key));
        EXPECT_EQ(view.CurrentIndex(), 2) << key;  // back from the first is the last
        QTest::keyClick(&view, Qt::Key(key));
        EXPECT_EQ(view.CurrentIndex(), 1) << key;
        EXPECT_TRUE(Near(Centre(), 0x00FF00)) << key;
        view.hide();
        ThreeImages(config);
    }
    EXPECT_EQ(view.SourceBitmap().Width(), rotatedWidth);
    for (int key : {Qt::Key_Right, Qt::Key_Space, Qt::Key_PageDown}) {
        view.hide();
        ThreeImages(config);
        QTest::keyClick(&view, Qt::Key(key));
        EXPECT_EQ(view.CurrentIndex(), 1) << key;
        EXPECT_TRUE(Near(Centre(), 0x00FF00)) << key;
        QTest::keyClick(&view, Qt::Key(key));
        QTest::keyClick(&view, Qt::Key(key));
        EXPECT_FALSE(view.isVisible()) << key;  // past the last, as a click
    }
    // Other keys do nothing.
    ThreeImages(config);
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.CurrentIndex(), 0);
}

TEST_F(Viewer, RepeatsOfAHeldKeyThatArriveTogetherCountOnce) {
    TViewerConfig config;
    config.LoopMode = false;
    ThreeImages(config);
    for (int i = 0; i < 5; ++i) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(&view, &repeat);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.CurrentIndex() != 0; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(view.CurrentIndex(), 1);
    // A press of its own after them still counts, in its turn.
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_EQ(view.CurrentIndex(), 2);
}

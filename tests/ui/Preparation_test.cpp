// The image that plays next is made ready while the current one is on
// screen; what the user sees must be exactly what a change at the click makes.
#include <QKeyEvent>
#include <QTest>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "ViewerFixture.h"
#include "tests/unit/ImageFixtures.h"
#include "viewer/PlayOrder.h"

using namespace pelumir;
using testutil::Click;
using testutil::FramePixel;
using testutil::Near;

namespace {

class Preparation : public testutil::ViewerTest {
protected:
    void ThreeImages(TViewerConfig config = {}) {
        red = testutil::WriteImage(dir, "red.jpg", 800, 600, 0xFF0000);
        green = testutil::WriteImage(dir, "green.jpg", 3000, 2000, 0x00FF00);
        blue = testutil::WriteImage(dir, "blue.bmp", 640, 480, 0x0000FF, "BMP");
        Show({red, green, blue}, config);
    }
    // What the idle timer would do, to the end.
    void PrepareAll() {
        for (int i = 0; i < 100000 && !view.NextImageReady(); ++i) view.PrepareNextStep();
        ASSERT_TRUE(view.NextImageReady());
    }
    // The current frame (and the picture, when kept) are what a change at
    // the click makes of the file as it is now.
    void ExpectColdChangeOf(const std::string& path) {
        Bitmap source, frame;
        testutil::ColdChange(path, view.ViewWidth(), view.ViewHeight(), source, frame);
        testutil::ExpectSameBitmap(view.BackBuffer(), frame);
        // The whole picture is kept only for turning it.
        if (view.Config().RightClickMode == RightClick::RotateClockwise) {
            testutil::ExpectSameBitmap(view.SourceBitmap(), source);
        } else {
            EXPECT_TRUE(view.SourceBitmap().Empty());
        }
    }
    uint32_t Centre() const { return FramePixel(view.BackBuffer(), view.ViewWidth() / 2, view.ViewHeight() / 2); }
    std::string red, green, blue;
};

}  // namespace

TEST_F(Preparation, AClickShowsTheNextImageWhetherItsPreparationEndedOrNot) {
    TViewerConfig config;
    config.LoopMode = false;
    ThreeImages(config);
    view.PrepareNextStep();  // a 6 MP image: at most a part of it is done
    Click(&view, Qt::LeftButton);
    EXPECT_EQ(view.CurrentIndex(), 1);
    EXPECT_TRUE(Near(Centre(), 0x00FF00));
    ExpectColdChangeOf(green);
    PrepareAll();
    Click(&view, Qt::LeftButton);
    EXPECT_EQ(view.CurrentIndex(), 2);
    EXPECT_TRUE(Near(Centre(), 0x0000FF));
    ExpectColdChangeOf(blue);
    const int decodes = view.DecodeCount();
    Click(&view, Qt::LeftButton);  // past the end, no loop: nothing to prepare
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(view.DecodeCount(), decodes);
    EXPECT_TRUE(errors.empty());
}

TEST_F(Preparation, GoingBackRotatingAndResizingAfterAPreparation) {
    ThreeImages();
    PrepareAll();  // green is ready, but going back from red wraps to blue
    Click(&view, Qt::RightButton);
    EXPECT_EQ(view.CurrentIndex(), 2);
    ExpectColdChangeOf(blue);
    Click(&view, Qt::RightButton);
    EXPECT_EQ(view.CurrentIndex(), 1);
    ExpectColdChangeOf(green);
    view.hide();

    TViewerConfig rotate;
    rotate.RightClickMode = 1;
    Show({red, green, blue}, rotate);
    PrepareAll();
    Click(&view, Qt::RightButton);  // the image on screen turns; the next one stays ready
    EXPECT_EQ(view.SourceBitmap().Width(), 600);
    EXPECT_TRUE(view.NextImageReady());
    Click(&view, Qt::LeftButton);
    ExpectColdChangeOf(green);  // upright
    view.hide();

    Show({red, green, blue}, {});
    PrepareAll();
    view.resize(800, 600);  // the frame made for 1024 x 768 no longer fits
    QApplication::processEvents();
    ExpectColdChangeOf(red);
    Click(&view, Qt::LeftButton);
    ExpectColdChangeOf(green);
    EXPECT_EQ(view.BackBuffer().Width(), 800);

    // Escape drops what was being prepared; the next show starts afresh.
    view.PrepareNextStep();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&view, &esc);
    EXPECT_FALSE(view.isVisible());
    EXPECT_FALSE(view.NextImageReady());
    Show({red, green, blue}, {});
    EXPECT_EQ(view.CurrentIndex(), 0);
    ExpectColdChangeOf(red);
    EXPECT_TRUE(errors.empty());
}

TEST_F(Preparation, RandomPassesAreTheSameWithAndWithoutIt) {
    std::vector<std::string> images;
    for (int i = 0; i < 5; ++i)
        images.push_back(testutil::WriteImage(dir, "p" + std::to_string(i) + ".jpg", 64, 48, QRgb(0x202020 * (i + 1))));
    TViewerConfig config;
    config.LoopMode = true;
    config.ImageSortType = 2;
    // Three passes and more, then a new show after an order was drawn ahead.
    auto play = [&](bool prepare) {
        RandomSeed = 4242;
        Show(images, config);
        std::vector<std::string> shown{view.PlayList()[size_t(view.CurrentIndex())]};
        for (int click = 0; click < 16; ++click) {
            if (prepare) PrepareAll();
            Click(&view, Qt::LeftButton);
            shown.push_back(view.PlayList()[size_t(view.CurrentIndex())]);
        }
        for (int click = 0; click < 3; ++click) Click(&view, Qt::LeftButton);  // to a pass's last image
        EXPECT_EQ(size_t(view.CurrentIndex()), images.size() - 1);
        if (prepare) PrepareAll();
        view.hide();
        Show(images, config);
        shown.insert(shown.end(), view.PlayList().begin(), view.PlayList().end());
        shown.push_back(std::to_string(RandomSeed));
        view.hide();
        return shown;
    };
    const std::vector<std::string> cold = play(false), prepared = play(true);
    EXPECT_EQ(prepared, cold);
    // Each pass was a new shuffle, so the test compares orders that differ.
    EXPECT_NE(std::vector<std::string>(cold.begin(), cold.begin() + 5),
              std::vector<std::string>(cold.begin() + 5, cold.begin() + 10));
}

TEST_F(Preparation, AFileReplacedAfterItWasPreparedIsShownAsItIsNow) {
    TViewerConfig config;
    config.LoopMode = true;
    ThreeImages(config);
    PrepareAll();
    testutil::WriteImage(dir, "green.jpg", 1000, 500, 0xFF00FF);  // another size
    Click(&view, Qt::LeftButton);
    EXPECT_TRUE(Near(Centre(), 0xFF00FF));
    ExpectColdChangeOf(green);

    // The same size, but written later.
    PrepareAll();
    testutil::WriteImage(dir, "blue.bmp", 640, 480, 0xFFFF00, "BMP");
    const timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 10, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, blue.c_str(), later, 0), 0);
    Click(&view, Qt::LeftButton);
    EXPECT_TRUE(Near(Centre(), 0xFFFF00));
    ExpectColdChangeOf(blue);

    // Gone since: the black frame, as for any file that does not load.
    PrepareAll();
    ASSERT_EQ(std::remove(red.c_str()), 0);
    Click(&view, Qt::LeftButton);
    EXPECT_EQ(view.CurrentIndex(), 0);
    EXPECT_EQ(Centre(), 0u);
    EXPECT_TRUE(view.SourceBitmap().Empty());

    // Rewritten in place, the same size, its modification time put back as
    // cp -p leaves it. File times follow the kernel's coarse clock: a short
    // wait makes the rewrite's change time differ from the last one's.
    Click(&view, Qt::LeftButton);
    PrepareAll();
    struct stat before {};
    ASSERT_EQ(::stat(blue.c_str(), &before), 0);
    QTest::qWait(30);
    testutil::WriteImage(dir, "blue.bmp", 640, 480, 0x00FFFF, "BMP");
    const timespec old[2] = {{0, UTIME_OMIT}, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, blue.c_str(), old, 0), 0);
    Click(&view, Qt::LeftButton);
    EXPECT_TRUE(Near(Centre(), 0x00FFFF));
    ExpectColdChangeOf(blue);
    EXPECT_TRUE(errors.empty());
}

// Pictures are decoded in a process of their own: whatever it does, the
// viewer answers at once, and a process that hangs or dies costs only its
// picture.
#include <QKeyEvent>
#include <QTest>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "ViewerFixture.h"
#include "tests/unit/GifFixture.h"
#include "viewer/DecoderLink.h"
#include "viewer/PlayOrder.h"

using namespace pelumir;
using testutil::Click;
using testutil::FramePixel;
using testutil::Near;

namespace {

// Stands in for the decoder process: one that never answers, or one that dies at once.
class DecoderProcess : public testutil::ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        view.WaitForEachImage(false);
        red = testutil::WriteImage(dir, "red.jpg", 800, 600, 0xFF0000);
        green = testutil::WriteImage(dir, "green.jpg", 640, 480, 0x00FF00);
    }
    void TearDown() override {
        ViewerTest::TearDown();
        DecoderLink::SetExecutable(PELUMIR_DECODER_PATH);
    }
    void UseDecoder(const char* script) {
        const std::string path = dir.filePath("decoder.sh").toStdString();
        std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
        chmod(path.c_str(), 0755);
        DecoderLink::SetExecutable(path);
    }
    bool Settled() { return QTest::qWaitFor([&] { return !view.ChangePending(); }, 10000); }
    uint32_t Centre() const { return FramePixel(view.BackBuffer(), 512, 384); }
    std::string red, green;
};

}  // namespace

TEST_F(DecoderProcess, TheRealOneShowsEachPictureAndTheNextIsReadyAhead) {
    Show({red, green}, {});
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(Near(Centre(), 0xFF0000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.NextImageReady(); }, 10000));
    Click(&view, Qt::LeftButton);
    EXPECT_FALSE(view.ChangePending());  // made ahead: shown at the click
    EXPECT_TRUE(Near(Centre(), 0x00FF00));
    // An idle decoder stays for the next show.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.Preparation().Link().Busy(); }, 10000));
    const pid_t decoder = view.Preparation().Link().Process();
    view.hide();
    Show({green}, {});
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(Near(Centre(), 0x00FF00));
    EXPECT_EQ(view.Preparation().Link().Process(), decoder);
}

TEST_F(DecoderProcess, InputIsAnsweredWhileADecoderHangs) {
    UseDecoder("exec sleep 600");
    TViewerConfig config;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 600;
    Show({red, green}, config);
    EXPECT_TRUE(view.ChangePending());
    const pid_t hung = view.Preparation().Link().Process();
    EXPECT_NE(hung, 0);
    // Clicks move on and the middle button pauses, though no picture came.
    Click(&view, Qt::LeftButton);
    EXPECT_EQ(view.CurrentIndex(), 1);
    Click(&view, Qt::MiddleButton);
    EXPECT_FALSE(view.tmrAutoSlide().Enabled());
    // The first picture's process held up the second past its grace: a new one has it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.Preparation().Link().Process() != hung; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return kill(hung, 0) == -1; }, 5000));  // ended and collected
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&view, &esc);
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(view.Preparation().Link().Process(), 0);
}

TEST_F(DecoderProcess, ADecoderThatDiesGivesBlackFramesAndTheShowGoesOn) {
    UseDecoder("exit 3");
    Show({red, green}, {});
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Centre(), 0u);
    EXPECT_TRUE(view.isVisible());
    for (int i = 0; i < 6; ++i) {
        Click(&view, Qt::RightButton);
        ASSERT_TRUE(Settled());
        EXPECT_EQ(Centre(), 0u);
    }
    // After deaths in a row no process is started until the next show, and the user is told why.
    EXPECT_FALSE(view.DecoderProblem().empty());
    EXPECT_EQ(view.Preparation().Link().Process(), 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(DecoderProcess, NoDecoderAtAllShowsBlackAndSaysWhy) {
    DecoderLink::SetExecutable(dir.filePath("missing-decoder").toStdString());
    Show({red}, {});
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Centre(), 0u);
    EXPECT_NE(view.DecoderProblem().find("missing-decoder"), std::string::npos);
}

// At the end of a looping pass the next pass is drawn after the change;
// a click before that shows the picture it asked for, not the next pass's.
TEST_F(DecoderProcess, AClickAtTheEndOfAPassShowsThePictureItAskedFor) {
    const QRgb colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    std::vector<std::string> files;
    // Large enough that the decoder answers after the events waiting now.
    for (QRgb c : colours) files.push_back(testutil::WriteImage(dir, std::to_string(c) + ".jpg", 2400, 1800, c));
    TViewerConfig config;
    config.LoopMode = true;
    config.ImageSortType = 2;
    for (uint32_t seed : {1u, 7u, 99u, 1234u}) {
        SCOPED_TRACE(seed);
        RandomSeed = seed;
        Show(files, config);
        for (int i = 0; i < 6; ++i) {
            ASSERT_TRUE(Settled());
            ASSERT_TRUE(QTest::qWaitFor([&] { return view.NextImageReady(); }, 10000));
            Click(&view, Qt::LeftButton);  // shown at once, the next pass drawn later
            Click(&view, Qt::LeftButton);  // before that
            ASSERT_TRUE(Settled());
            const size_t shown = size_t(std::find(files.begin(), files.end(), view.PlayList()[size_t(view.CurrentIndex())]) -
                                        files.begin());
            ASSERT_LT(shown, files.size());
            EXPECT_TRUE(Near(Centre(), colours[shown])) << i;
        }
        view.hide();
    }
}

// A moving picture plays while it is on screen; a right click in turning
// mode turns the frame on screen, and the frames stop there.
TEST_F(DecoderProcess, AMovingPictureTurnsTheFrameOnScreenAndStops) {
    constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00;
    testutil::AnimationArt art{40, 30, 0, {}, {}};
    art.frames.push_back({0, 0, 40, 30, std::vector<uint32_t>(40 * 30, kRed), 40, testutil::FrameArt::Keep});
    // The second: green on the left, long enough to be clicked on.
    art.frames.push_back({0, 0, 20, 30, std::vector<uint32_t>(20 * 30, kGreen), 60000, testutil::FrameArt::Keep});
    const std::vector<uint8_t> gif = testutil::BuildGifAnimation(art);
    const std::string path = dir.filePath("moving.gif").toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(gif.data()), std::streamsize(gif.size()));
    TViewerConfig config;
    config.MoreFormats = true;
    config.RightClickMode = RightClick::RotateClockwise;
    Show({path}, config);
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.FramesShown() == 1; }, 10000));
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 500, 384), 0x00FF00));
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 525, 384), 0xFF0000));
    Click(&view, Qt::RightButton);
    EXPECT_FALSE(view.Frames().Playing());
    // Turned, 30 x 40 in the middle: the green half on top.
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 512, 370), 0x00FF00));
    EXPECT_TRUE(Near(FramePixel(view.BackBuffer(), 512, 398), 0xFF0000));
}

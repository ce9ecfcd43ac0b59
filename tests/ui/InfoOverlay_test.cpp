#include <QElapsedTimer>
#include <QFontMetrics>
#include <QTest>

#include "ViewerFixture.h"
#include "platform/Fonts.h"
#include "viewer/InfoOverlay.h"

using namespace pelumir;
using testutil::Click;

TEST(InfoOverlay, BoxHasAWhiteFrameABlackGapAndWhiteText) {
    EXPECT_EQ(InfoFontPixelHeight(9, 96), 12);
    EXPECT_EQ(InfoFontPixelHeight(9, 120), 15);
    EXPECT_EQ(InfoFontPixelHeight(10, 108), 15);  // 15.0
    EXPECT_EQ(InfoFontPixelHeight(7, 108), 11);   // 10.5 rounds away from zero
    const QImage box = ComposeInfoBox("3/ 12", 9, 96);
    const QFontMetrics m(InfoFont(9, 96));
    EXPECT_TRUE(InfoFont(9, 96).bold());
    EXPECT_TRUE(InfoFont(9, 96).italic());
    const int cx = m.horizontalAdvance(QStringLiteral("  3/ 12  ")), cy = m.height();
    ASSERT_EQ(box.width(), cx + 4);
    ASSERT_EQ(box.height(), cy + 4);
    for (int x = 0; x < box.width(); ++x) {
        EXPECT_EQ(box.pixel(x, 0), 0xFFFFFFFFu);
        EXPECT_EQ(box.pixel(x, cy + 3), 0xFFFFFFFFu);
        if (x >= 1 && x <= cx + 2) {
            EXPECT_EQ(box.pixel(x, 1), 0xFF000000u);
            EXPECT_EQ(box.pixel(x, cy + 2), 0xFF000000u);
        }
    }
    for (int y = 0; y < box.height(); ++y) {
        EXPECT_EQ(box.pixel(0, y), 0xFFFFFFFFu);
        EXPECT_EQ(box.pixel(cx + 3, y), 0xFFFFFFFFu);
        if (y >= 1 && y <= cy + 2) {
            EXPECT_EQ(box.pixel(1, y), 0xFF000000u);
            EXPECT_EQ(box.pixel(cx + 2, y), 0xFF000000u);
        }
    }
    int white = 0;
    for (int y = 2; y < cy + 2; ++y)
        for (int x = 2; x < cx + 2; ++x) white += qGray(box.pixel(x, y)) > 128;
    EXPECT_GT(white, 10);  // glyphs were drawn
    EXPECT_EQ(PositionText(3, 12), "3/ 12");
}

TEST(InfoOverlay, JapanesePathsRenderAsGlyphsNotBoxes) {
    const QFont font = InfoFont(9, 96);
    const QFontMetrics m(font);
    for (QChar ch : QStringLiteral("写真フォルダ"))
        EXPECT_TRUE(m.inFontUcs4(ch.unicode())) << "no glyph for U+" << std::hex << unsigned(ch.unicode());
}

TEST(InfoOverlay, EmojiInANameDrawInColour) {
    // White text on black: only an emoji face puts colour in the box; a
    // missing glyph would be a white box.
    const QImage box = ComposeInfoBox("/pics/\xf0\x9f\x8c\xb8 \xf0\x9f\x98\x80.jpg", 9, 96);
    int coloured = 0;
    for (int y = 0; y < box.height(); ++y)
        for (int x = 0; x < box.width(); ++x) {
            const QColor c = box.pixelColor(x, y);
            coloured += std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 80;
        }
    EXPECT_GT(coloured, 10);
    EXPECT_TRUE(QFontMetrics(UiFont()).inFontUcs4(0x1F600));  // the list's face too
}

using InfoBox = testutil::ViewerTest;

TEST_F(InfoBox, TimedBoxHidesWithoutBeingProlongedOrDecoding) {
    std::vector<std::string> imgs;
    for (int i = 0; i < 4; ++i) imgs.push_back(testutil::WriteImage(dir, std::to_string(i) + ".jpg", 64, 48, 0x336699));
    TViewerConfig config;  // shown for ImageInfoTime seconds
    config.ImageInfoTime = 2;
    Show(imgs, config);
    EXPECT_TRUE(view.InfoVisible());
    ASSERT_TRUE(view.tmrImgInfo().Enabled());
    QTest::qWait(300);
    const int remaining = view.tmrImgInfo().RemainingMs();
    Click(&view, Qt::LeftButton);
    EXPECT_LE(view.tmrImgInfo().RemainingMs(), remaining);  // a refresh adds no time
    const int decodes = view.DecodeCount();
    view.tmrImgInfoTimer();
    EXPECT_FALSE(view.InfoVisible());
    EXPECT_FALSE(view.tmrImgInfo().Enabled());
    EXPECT_EQ(view.DecodeCount(), decodes);
    QElapsedTimer clickTime;  // a busy machine may take a while over the click
    clickTime.start();
    Click(&view, Qt::LeftButton);  // the next image shows it for a full period again
    EXPECT_TRUE(view.InfoVisible());
    EXPECT_GT(view.tmrImgInfo().RemainingMs() + clickTime.elapsed(), 1500);
}

TEST_F(InfoBox, AlwaysNeverAndZeroTime) {
    const std::string img = testutil::WriteImage(dir, "a.jpg", 64, 48, 0x336699);
    TViewerConfig config;
    for (int never : {2, -1}) {
        config.ImageInfoShow = never;
        Show({img}, config);
        EXPECT_FALSE(view.InfoVisible());
        view.hide();
    }
    config.ImageInfoShow = 0;
    Show({img}, config);
    EXPECT_TRUE(view.InfoVisible());
    EXPECT_FALSE(view.tmrImgInfo().Enabled());
    view.hide();
    config.ImageInfoShow = 1;
    config.ImageInfoTime = 0;
    Show({img}, config);
    EXPECT_TRUE(view.InfoVisible());
    EXPECT_EQ(view.tmrImgInfo().RemainingMs(), -1);
}

TEST_F(InfoBox, PaintedOverTheFrameAtTheOrigin) {
    const std::string img = testutil::WriteImage(dir, "a.jpg", 1024, 768, 0x00FF00);
    TViewerConfig config;
    config.ImageInfoShow = 0;
    Show({img}, config);
    const QImage screen = view.grab().toImage();
    const QImage box = view.InfoBitmap();
    EXPECT_EQ(screen.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(screen.pixel(1, 1), 0xFF000000u);
    EXPECT_TRUE(testutil::Near(screen.pixel(box.width() + 5, box.height() + 5) & 0xFFFFFF, 0x00FF00));
    view.HideInfoOverlay();
    const QImage bare = view.grab().toImage();
    EXPECT_TRUE(testutil::Near(bare.pixel(1, 1) & 0xFFFFFF, 0x00FF00));
}
// A box that cannot be made (past the bitmap limit, or many times the
// window, whose corner is all that shows) is reported; the refresh leaves
// the box as it was.
TEST_F(InfoBox, ABoxThatCannotBeMadeIsReportedAndTheLastOneStays) {
    const std::string img = testutil::WriteImage(dir, "a.jpg", 640, 480, 0x00FF00);
    TViewerConfig config;
    config.ImageInfoShow = 0;
    config.LoopMode = true;
    config.ImageInfoFontSize = 100000;
    Show({img, img}, config);
    EXPECT_EQ(errors, std::vector<std::string>{"メモリが不足しています."});
    EXPECT_FALSE(view.InfoVisible());

    config.ImageInfoFontSize = 9;
    view.ApplySettings(config);
    Click(&view, Qt::LeftButton);
    ASSERT_TRUE(view.InfoVisible());
    for (int points : {2000, 100000, INT_MAX, INT_MIN}) {
        const QImage before = view.InfoBitmap();
        errors.clear();
        config.ImageInfoFontSize = points;
        view.ApplySettings(config);
        Click(&view, Qt::LeftButton);
        EXPECT_EQ(errors.size(), 1u) << points;
        EXPECT_TRUE(view.InfoVisible()) << points;
        EXPECT_EQ(view.InfoBitmap(), before) << points;
    }
}

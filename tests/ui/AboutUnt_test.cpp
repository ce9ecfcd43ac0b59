#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "about/AboutUnt.h"
#include "about/AppIcon.h"

// Readable failures: gtest finds this through the argument's namespace.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using pelumir::TfrmAbout;

namespace {

// Qt names a face with its foundry when several foundries have one: "Nimbus Sans [urw]".
QString Family(const QFont& font) { return QFontInfo(font).family().section(QStringLiteral(" ["), 0, 0); }

int ColourCount(const QImage& image) {
    QSet<QRgb> colours;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) colours.insert(argb.pixel(x, y));
    return colours.size();
}

}  // namespace

TEST(AboutUnt, EveryShowingSetsTheTexts) {
    TfrmAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("バージョン情報"));
    for (int showing = 1; showing <= 2; ++showing) {
        about.lblAppTitle->setText(QStringLiteral("stale"));
        about.lblVersion->setText(QStringLiteral("stale"));
        about.lblCopyRight->setText(QStringLiteral("stale"));
        about.show();
        EXPECT_EQ(about.lblAppTitle->text(), QStringLiteral("Pelumir")) << "showing " << showing;
        EXPECT_EQ(about.lblVersion->text(), QStringLiteral("Version 1.02")) << "showing " << showing;
        EXPECT_TRUE(about.lblCopyRight->text().startsWith(QStringLiteral("2001 "))) << "showing " << showing;
        EXPECT_GT(about.lblCopyRight->text().size(), 5);
        about.hide();
    }
    EXPECT_TRUE(about.lblVersion->alignment() & Qt::AlignHCenter);
    EXPECT_FALSE(about.Label4->text().isEmpty());
    EXPECT_FALSE(about.Label3->text().isEmpty());
}

TEST(AboutUnt, FixedSizeCentredWithEveryTextInside) {
    TfrmAbout about;
    about.show();
    EXPECT_EQ(about.size(), QSize(291, 157));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);
    const QRect screen = about.screen()->geometry();
    EXPECT_LE((about.frameGeometry().center() - screen.center()).manhattanLength(), 2);

    // With the free faces standing in for the named ones, no text may be cut.
    for (QLabel* label : {about.lblAppTitle, about.lblVersion, about.lblCopyRight, about.Label4, about.Label3}) {
        const QSize needed = label->fontMetrics().size(0, label->text());
        EXPECT_LE(needed.width(), label->width()) << label->text().toStdString();
        EXPECT_LE(label->geometry().right(), 291 - 1) << label->text().toStdString();
        const int baseline = label->contentsRect().top() + label->fontMetrics().ascent();
        EXPECT_LE(baseline, label->height()) << label->text().toStdString();
    }
    about.hide();
}

TEST(AboutUnt, NamedFacesFallBackToMetricCompatibleOnes) {
    TfrmAbout about;
    const QFontInfo title(about.lblAppTitle->font());
    EXPECT_TRUE(QStringList({"Arial", "Nimbus Sans", "Liberation Sans"}).contains(Family(about.lblAppTitle->font())))
        << title.family().toStdString();
    EXPECT_TRUE(title.bold());
    EXPECT_EQ(title.pixelSize(), 35);
    const QFontInfo version(about.lblVersion->font());
    EXPECT_TRUE(
        QStringList({"Times New Roman", "Nimbus Roman", "Liberation Serif"}).contains(Family(about.lblVersion->font())))
        << version.family().toStdString();
    EXPECT_TRUE(version.bold());
    EXPECT_EQ(version.pixelSize(), 13);
}

TEST(AboutUnt, EnterClosesWithOk) {
    TfrmAbout about;
    EXPECT_TRUE(about.Button1->isDefault());
    EXPECT_EQ(about.Button1->text(), QStringLiteral("閉じる(&C)"));
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) QTest::keyClick(modal, Qt::Key_Return);
        if (about.isVisible()) about.done(-1);  // Enter did nothing
    });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}

TEST(AboutUnt, IconAndLogoAreOurSixteenColourPictures) {
    const QIcon icon = pelumir::AppIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    for (int side : {16, 32}) {
        const QImage image = icon.pixmap(QSize(side, side)).toImage();
        EXPECT_EQ(image.size(), QSize(side, side));
        EXPECT_LE(ColourCount(image), 16);
        EXPECT_GT(ColourCount(image), 4);
    }
    const QPixmap logo = pelumir::AppLogo();
    EXPECT_EQ(logo.size(), QSize(73, 34));
    EXPECT_LE(ColourCount(logo.toImage()), 16);

    TfrmAbout about;
    EXPECT_EQ(about.Image2->pixmap().size(), QSize(32, 32));
}

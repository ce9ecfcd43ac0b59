// A show through files that lie about themselves: every one gives its black
// frame or its picture, nothing is reported, the show goes on, and none of
// them makes the viewer hold memory for the pixels its header claims.
#include <QFile>
#include <QImage>

#include <cstring>
#include <fstream>

#include "tests/unit/PeakMemory.h"
#include "ViewerFixture.h"
#include "tests/unit/ImageFixtures.h"

using namespace pelumir;
using testutil::FramePixel;
using testutil::Near;

namespace {

QByteArray JpegBytes(int w, int h, QRgb colour, bool progressive = false) {
    const auto bytes = testutil::FlatJpeg({.width = w, .height = h, .progressive = progressive, .subsampled = true, .quality = 90}, colour);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

qsizetype Marker(const QByteArray& jpeg, uchar m, bool last = false) {
    qsizetype found = -1;
    for (qsizetype i = 2; i + 1 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && uchar(jpeg[i + 1]) == m) {
            found = i;
            if (!last) break;
        }
    return found;
}

QByteArray WithJpegSize(QByteArray jpeg, int w, int h) {
    qsizetype at = Marker(jpeg, 0xC0);
    if (at < 0) at = Marker(jpeg, 0xC2);
    at += 5;
    jpeg[at] = char(h >> 8);
    jpeg[at + 1] = char(h);
    jpeg[at + 2] = char(w >> 8);
    jpeg[at + 3] = char(w);
    return jpeg;
}

// A 40-byte-header BMP with the given claims and whatever data follows.
QByteArray BmpBytes(int32_t w, int32_t h, int bits, uint32_t compression, const std::vector<uint32_t>& palette,
                    const QByteArray& data) {
    std::vector<uint8_t> b = testutil::BmpHeaders({w, h, bits, 40, compression, {}, palette});
    b.insert(b.end(), data.begin(), data.end());
    testutil::PutLittle(b, 2, uint32_t(b.size()), 4);
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

std::vector<uint32_t> GreyPalette(int entries) {
    std::vector<uint32_t> p;
    for (int i = 0; i < entries; ++i) p.push_back(uint32_t(255 - i) * 0x010101);
    return p;
}

class HostileShow : public testutil::ViewerTest {
protected:
    std::string Write(const std::string& name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromStdString(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path.toStdString();
    }
    uint32_t Centre() const { return FramePixel(view.BackBuffer(), 512, 384); }
};

using testutil::ResetPeak;
using testutil::StatusKiB;

}  // namespace

TEST_F(HostileShow, EveryFileGivesItsFrameAndTheShowGoesOn) {
    const QByteArray good = JpegBytes(64, 48, 0x00FF00);
    const QByteArray progressive = JpegBytes(64, 48, 0x00FF00, true);
    QByteArray corrupt = good;
    for (qsizetype i = Marker(good, 0xDA) + 14; i < corrupt.size() - 2; i += 7) corrupt[i] = char(0xFF);
    QByteArray repeatedScans = progressive.left(progressive.size() - 2);
    const QByteArray lastScan = progressive.mid(Marker(progressive, 0xDA, true));
    for (int i = 0; i < 1000; ++i) repeatedScans += lastScan.left(lastScan.size() - 2);
    repeatedScans += "\xFF\xD9";
    const QByteArray rleOverrun("\xFF\x01\x00\x02\xFA\xFA\x00\x09\x01\x02", 10);

    enum Frame { Black, Picture, Either };  // Either: refusing the file is as good
    struct Case {
        std::string name;
        QByteArray bytes;
        Frame frame;
    };
    const Case cases[] = {
        {"good.jpg", good, Picture},
        {"cut-in-header.jpg", good.left(Marker(good, 0xDA)), Black},
        {"cut-in-scan.jpg", good.left(Marker(good, 0xDA) + 16), Picture},
        {"corrupt.jpg", corrupt, Picture},
        {"65535x65535.jpg", WithJpegSize(good, 65535, 65535), Black},
        {"65535x65535-progressive.jpg", WithJpegSize(progressive, 65535, 65535), Black},
        {"zero-width.jpg", WithJpegSize(good, 0, 48), Black},
        {"repeated-scans.jpg", repeatedScans, Black},
        {"empty.jpg", QByteArray(), Black},
        {"65535x65535.bmp", BmpBytes(65535, 65535, 24, 0, {}, QByteArray(64, '\x7F')), Black},
        {"2pow31-rows.bmp", BmpBytes(1, INT32_MIN, 24, 0, {}, QByteArray(64, '\x7F')), Black},
        {"2pow31-rows-rle.bmp", BmpBytes(4, INT32_MIN, 8, 1, GreyPalette(4), rleOverrun), Black},
        {"zero-size.bmp", BmpBytes(0, 0, 24, 0, {}, {}), Black},
        {"palette-overrun.bmp", BmpBytes(2, 2, 8, 0, GreyPalette(2), QByteArray("\xC8\x00\x00\x00\x01\xFF\x00\x00", 8)), Picture},
        {"rle-overrun.bmp", BmpBytes(4, 3, 8, 1, GreyPalette(4), rleOverrun), Either},
    };
    std::vector<std::string> paths;
    for (const Case& c : cases) paths.push_back(Write(c.name, c.bytes));

    TViewerConfig config;
    config.LoopMode = false;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 600;
    if (!ResetPeak()) GTEST_SKIP() << "the peak memory cannot be reset here";
    const long before = StatusKiB("VmRSS:");
    Show(paths, config);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_TRUE(view.isVisible());
        ASSERT_EQ(view.CurrentIndex(), int(i));
        if (cases[i].frame == Picture) {
            EXPECT_NE(Centre(), 0u);
        }
        if (cases[i].frame == Black) {
            EXPECT_EQ(Centre(), 0u);
        }
        EXPECT_TRUE(view.InfoVisible());
        EXPECT_TRUE(view.tmrAutoSlide().Enabled());
        view.tmrAutoSlideTimer();
    }
    EXPECT_FALSE(view.isVisible());  // past the last one
    EXPECT_TRUE(errors.empty());
    // The claims add up to many gigabytes; the show needed a frame and a few
    // small pictures.
    const long grown = StatusKiB("VmHWM:") - before;
    EXPECT_LT(grown, 64 * 1024);
}

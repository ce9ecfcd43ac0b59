// The program at the sizes people reach: a folder of 100,000 pictures, a
// list of 100,000 lines, a looping random show of 10,000 images.
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

#include "ViewerFixture.h"
#include "app/ImageCollection.h"
#include "app/ListFile.h"
#include "app/ListText.h"
#include "app/SourceListBox.h"
#include "platform/Collation.h"
#include "viewer/PlayOrder.h"

using namespace pelumir;

namespace {

// n names of a few tiny pictures: hard links cost no data and every one is
// a real image. A file takes some 65,000 links at most, so they take turns.
std::vector<std::string> LinkMany(const QTemporaryDir& dir, const std::string& folder, int n, bool shuffled) {
    std::vector<std::string> pictures;
    for (int i = 0; i < 8; ++i)
        pictures.push_back(testutil::WriteImage(dir, folder + std::to_string(i) + ".jpg", 4, 3, 0x336699));
    const std::string base = dir.path().toStdString() + "/" + folder;
    ::mkdir(base.c_str(), 0755);
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) order[size_t(i)] = i;
    if (shuffled) std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::vector<std::string> paths;
    char name[64];
    for (int i : order) {
        std::snprintf(name, sizeof name, "/IMG_%d.jpg", i);
        paths.push_back(base + name);
        EXPECT_EQ(::link(pictures[size_t(i) % pictures.size()].c_str(), paths.back().c_str()), 0) << paths.back();
    }
    return paths;
}

class Scale : public testutil::ViewerTest {};

}  // namespace

TEST_F(Scale, AFolderOf100000PicturesIsCollectedSortedAndShown) {
    constexpr int kCount = 100000;
    LinkMany(dir, "pics", kCount, true);
    const std::string folder = dir.path().toStdString() + "/pics";
    // Entries that are not pictures drop out: another type, and a folder.
    QFile(QString::fromStdString(folder + "/notes.txt")).open(QIODevice::WriteOnly);
    ::mkdir((folder + "/sub.jpg").c_str(), 0755);

    const Collator collator("en_US.UTF-8");
    const std::vector<std::string> images = CollectImages({folder}, collator);
    ASSERT_EQ(images.size(), size_t(kCount));
    for (size_t i = 1; i < images.size(); ++i) ASSERT_LE(collator.Compare(images[i - 1], images[i]), 0) << i;
    EXPECT_EQ(images.front(), folder + "/IMG_0.jpg");
    EXPECT_EQ(images[1], folder + "/IMG_1.jpg");  // digits as characters: IMG_1 < IMG_10
    EXPECT_EQ(images[2], folder + "/IMG_10.jpg");
    EXPECT_EQ(images.back(), folder + "/IMG_99999.jpg");

    Show(images, {});
    EXPECT_EQ(view.PlayList().size(), size_t(kCount));
    EXPECT_NE(testutil::FramePixel(view.BackBuffer(), 512, 384), 0u);
    testutil::Click(&view, Qt::RightButton);  // back from the first is the last
    EXPECT_EQ(view.CurrentIndex(), kCount - 1);
    EXPECT_NE(testutil::FramePixel(view.BackBuffer(), 512, 384), 0u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(Scale, AListOf100000LinesOpensEditsAndSaves) {
    constexpr int kLines = 100000;
    // Every kind of line break a list file may carry, and a Shift-JIS line.
    std::string file, expected;
    const char* const breaks[] = {"\r\n", "\n", "\r"};
    for (int i = 0; i < kLines; ++i) {
        const std::string line = i == 500 ? std::string("\x82\xa0\x95\x5c.jpg") : "/pics/IMG_" + std::to_string(i) + ".jpg";
        file += line + breaks[i % 3];
        expected += line + "\r\n";
    }
    const std::string listPath = dir.filePath("list.txt").toStdString();
    WriteListFile(listPath, file);

    TSourceListBox box;
    box.ReplaceText(ReadListFile(listPath));
    EXPECT_FALSE(box.Modified());
    ASSERT_EQ(box.LineCount(), kLines);
    EXPECT_EQ(box.GetLine(54321), "/pics/IMG_54321.jpg");
    EXPECT_EQ(box.GetLine(500), "\x82\xa0\x95\x5c.jpg");
    EXPECT_EQ(box.Text(), expected);

    box.AppendLine("/pics/added.jpg");
    EXPECT_TRUE(box.Modified());
    EXPECT_EQ(box.LineCount(), kLines + 1);
    const std::string savedPath = dir.filePath("saved.txt").toStdString();
    WriteListFile(savedPath, box.Text());
    EXPECT_EQ(ReadListFile(savedPath), expected + "/pics/added.jpg\r\n");
    EXPECT_EQ(box.Lines().size(), size_t(kLines + 1));
}

TEST_F(Scale, AShowOf10000ImagesLoopsInAFreshRandomOrder) {
    constexpr int kCount = 10000;
    std::vector<std::string> images = LinkMany(dir, "show", kCount, false);
    TViewerConfig config;
    config.LoopMode = true;
    config.ImageSortType = 2;
    config.AutoSlideEnabled = true;
    config.AutoSlideTime = 600;  // the test ticks by itself
    view.resize(160, 120);       // the size does not matter here; small is quick
    RandomSeed = 12345;
    Show(images, config);

    const std::vector<std::string> firstOrder = view.PlayList();
    std::multiset<std::string> shown{firstOrder[size_t(view.CurrentIndex())]};
    const int decodes = view.DecodeCount();
    for (int i = 1; i < kCount; ++i) {
        view.tmrAutoSlideTimer();
        shown.insert(view.PlayList()[size_t(view.CurrentIndex())]);
    }
    EXPECT_EQ(view.DecodeCount() - decodes, kCount - 1);
    // One pass shows every image exactly once.
    EXPECT_EQ(shown, std::multiset<std::string>(images.begin(), images.end()));

    view.tmrAutoSlideTimer();  // past the last: a new pass in a new order
    ASSERT_TRUE(view.isVisible());
    EXPECT_EQ(view.CurrentIndex(), 0);
    const std::vector<std::string> secondOrder = view.PlayList();
    EXPECT_NE(secondOrder, firstOrder);
    EXPECT_TRUE(std::is_permutation(secondOrder.begin(), secondOrder.end(), images.begin(), images.end()));
    EXPECT_TRUE(view.tmrAutoSlide().Enabled());
    EXPECT_TRUE(errors.empty());
}

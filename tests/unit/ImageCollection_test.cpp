#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/ImageCollection.h"
#include "platform/Collation.h"
#include "platform/FileSystem.h"
#include "TempDir.h"

using namespace pelumir;
using Paths = std::vector<std::string>;

namespace {
const Collator& EnglishCollator() {
    static const Collator c("en_US.UTF-8");
    return c;
}
}  // namespace

TEST(ImageCollection, ExtensionRule) {
    EXPECT_TRUE(IsAcceptedImageExt("photo.JPG"));
    EXPECT_TRUE(IsAcceptedImageExt("a.bmp"));
    EXPECT_TRUE(IsAcceptedImageExt("archive.tar.jpg"));
    EXPECT_FALSE(IsAcceptedImageExt("photo.jpeg"));
    EXPECT_FALSE(IsAcceptedImageExt("photo.jpe"));
    EXPECT_FALSE(IsAcceptedImageExt("photo.dib"));
    EXPECT_FALSE(IsAcceptedImageExt("photo.jpg.txt"));
    EXPECT_FALSE(IsAcceptedImageExt("jpg"));
    EXPECT_FALSE(IsAcceptedImageExt("x.jpg/file"));
}

TEST(ImageCollection, ExistenceTellsFilesFromFolders) {
    testutil::TempDir t;
    const std::string file = t.Touch("a.jpg");
    const std::string dir = t.Mkdir("x.jpg");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_TRUE(DirectoryExists(dir));
    EXPECT_TRUE(DirectoryExists(dir + "/"));
    EXPECT_FALSE(FileExists(dir));
    EXPECT_FALSE(FileExists(t / "missing.jpg"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(DirectoryExists(""));
    // A pipe named like an image is not a file: reading it would block.
    const std::string fifo = t / "pipe.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(FileExists(fifo));
}

TEST(ImageCollection, FolderEntriesSortedFilteredNotRecursed) {
    testutil::TempDir t;
    const std::string dir = t.Mkdir("pics");
    for (const char* n : {"B.JPG", "a.bmp", "e.jpeg", "d.png", ".hidden.jpg"}) t.Touch(std::string("pics/") + n);
    t.Mkdir("pics/sub");
    t.Touch("pics/sub/inner.jpg");
    t.Mkdir("pics/folder.jpg");
    EXPECT_EQ(CollectImages({dir}, EnglishCollator()),
              (Paths{dir + "/.hidden.jpg", dir + "/a.bmp", dir + "/B.JPG"}));
}

// With the other formats on, their names join; the order and the rest of
// the rules stay.
TEST(ImageCollection, OtherFormatsOffAndOnOverOneMixedFolder) {
    testutil::TempDir t;
    const std::string dir = t.Mkdir("mixed");
    for (const char* n : {"k.jpg", "j.JPEG", "i.jpe", "h.jfif", "g.DIB", "f.png", "e.bmp", "d.txt", "c.png.txt",
                          "b.tiff", "a.Png", "l.webp", "m.GIF", "n.TIF", "o.JXL", "p.HEIC", "q.heif", "r.avif"})
        t.Touch(std::string("mixed/") + n);
    t.Mkdir("mixed/sub.png");
    t.Touch("mixed/sub.png/inner.png");
    const std::string single = t.Touch("single.PNG");
    EXPECT_EQ(CollectImages({dir, single}, EnglishCollator()), (Paths{dir + "/e.bmp", dir + "/k.jpg"}));
    EXPECT_EQ(CollectImages({dir, single}, EnglishCollator(), {.otherFormats = true}),
              (Paths{dir + "/a.Png", dir + "/b.tiff", dir + "/e.bmp", dir + "/f.png", dir + "/g.DIB", dir + "/h.jfif", dir + "/i.jpe",
                     dir + "/j.JPEG", dir + "/k.jpg", dir + "/l.webp", dir + "/m.GIF", dir + "/n.TIF", dir + "/o.JXL", dir + "/p.HEIC", dir + "/q.heif", dir + "/r.avif", single}));
}

TEST(ImageCollection, CollationIsCaseInsensitiveAndCharacterWise) {
    testutil::TempDir t;
    const std::string dir = t.Mkdir("p");
    for (const char* n : {"IMG_2.jpg", "IMG_10.jpg", "Banana.jpg", "apple.jpg", "co-op.jpg", "coop.jpg", "co_op.jpg"})
        t.Touch(std::string("p/") + n);
    EXPECT_EQ(CollectImages({dir}, EnglishCollator()),
              (Paths{dir + "/apple.jpg", dir + "/Banana.jpg", dir + "/co_op.jpg", dir + "/coop.jpg",
                     dir + "/co-op.jpg", dir + "/IMG_10.jpg", dir + "/IMG_2.jpg"}));
    Paths dots{"b", "..", "a", "."};
    EnglishCollator().Sort(dots);
    EXPECT_EQ(dots, (Paths{".", "..", "a", "b"}));
}

// Letter case never orders names, except between names equal but for it:
// those go by their bytes, whatever order the folder gives them in.
TEST(ImageCollection, NamesDifferingOnlyInCaseSortTogetherByTheirBytes) {
    testutil::TempDir t;
    const std::string dir = t.Mkdir("p");
    for (const char* n : {"b.jpg", "a.jpg", "B.jpg", "ab.jpg", "A.JPG", "AB.jpg"}) t.Touch(std::string("p/") + n);
    EXPECT_EQ(CollectImages({dir}, EnglishCollator()),
              (Paths{dir + "/A.JPG", dir + "/a.jpg", dir + "/AB.jpg", dir + "/ab.jpg", dir + "/B.jpg", dir + "/b.jpg"}));
    for (Paths names : {Paths{"b.jpg", "a.jpg", "B.jpg", "A.JPG"}, Paths{"A.JPG", "B.jpg", "a.jpg", "b.jpg"}}) {
        EnglishCollator().Sort(names);
        EXPECT_EQ(names, (Paths{"A.JPG", "a.jpg", "B.jpg", "b.jpg"}));
    }
}

TEST(ImageCollection, LinesKeepTheirOrderSeparatorsAndDuplicates) {
    testutil::TempDir t;
    const std::string a = t.Touch("a.jpg"), b = t.Touch("b.jpg");
    const std::string dir = t.Mkdir("d");
    t.Touch("d/z.bmp");
    t.Touch("d/y.jpg");
    const Paths lines{a, dir + "/", b, a, " " + a, a + " ", "", t / "missing.jpg", dir, t / "text.txt"};
    t.Touch("text.txt");
    EXPECT_EQ(CollectImages(lines, EnglishCollator()),
              (Paths{a, dir + "//y.jpg", dir + "//z.bmp", b, a, dir + "/y.jpg", dir + "/z.bmp"}));
}

TEST(ImageCollection, RelativeLinesAndFolderNamedLikeAnImage) {
    testutil::TempDir t;
    const std::string dir = t.Mkdir("x.jpg");
    t.Touch("x.jpg/in.jpg");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(t.path().c_str()), 0);
    const Paths got = CollectImages({"x.jpg"}, EnglishCollator());
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(got, (Paths{"x.jpg/in.jpg"}));
}

TEST(ImageCollection, UnreadableFolderContributesNothing) {
    EXPECT_TRUE(CollectImages({"/proc/1/fd"}, EnglishCollator()).size() < 1000);  // no crash, whatever access
    EXPECT_TRUE(ListDirectory("/nonexistent-folder").empty());
}

TEST(ImageCollection, TrueFileNameKeepsTheFolderPartAsGiven) {
    testutil::TempDir t;
    const std::string p = t.Touch("Photo.jpg");
    EXPECT_EQ(GetTrueFileName(p), p);
    EXPECT_EQ(GetTrueFileName(t.path() + "//Photo.jpg"), t.path() + "//Photo.jpg");
    EXPECT_EQ(GetTrueFileName(t / "missing.jpg"), t / "missing.jpg");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(t.path().c_str()), 0);
    const std::string rel = GetTrueFileName("Photo.jpg");
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(rel, "Photo.jpg");
}

#include "app/SourceListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "app/ListText.h"

using namespace pelumir;
using namespace std::string_literals;

namespace {

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// The model's answers for the box's bytes, line by line.
void ExpectLinesMatchTheText(const TSourceListBox& box) {
    const std::string text = box.Text();
    ASSERT_EQ(box.LineCount(), LineCount(text));
    const auto lines = box.Lines();
    ASSERT_EQ(lines, Lines(text));
    for (int i = 0; i < box.LineCount(); ++i) EXPECT_EQ(box.GetLine(i), lines[std::size_t(i)]) << i;
}

}  // namespace

TEST(SourceListBox, StartsEmptyUnmodifiedAndLeavesDropsToTheWindow) {
    TSourceListBox box;
    EXPECT_EQ(box.Text(), "");
    EXPECT_EQ(box.LineCount(), 0);
    EXPECT_FALSE(box.Modified());
    EXPECT_FALSE(box.acceptDrops());
    EXPECT_FALSE(box.viewport()->acceptDrops());
    EXPECT_EQ(box.lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(box.toolTip(), QStringLiteral("ここにファイル・フォルダをドラッグアンドドロップしてください。"));
}

TEST(SourceListBox, TextModelFollowsTheCrLfRules) {
    TSourceListBox box;
    box.AppendLine("/pics/a.jpg");
    EXPECT_EQ(box.Text(), "/pics/a.jpg\r\n");
    box.AppendLines({"/pics/", "b.bmp"});
    EXPECT_EQ(box.Text(), "/pics/a.jpg\r\n/pics/\r\nb.bmp\r\n");
    EXPECT_EQ(box.LineCount(), 3);
    EXPECT_EQ(box.GetLine(1), "/pics/");
    EXPECT_EQ(box.GetLine(3), "");
    ExpectLinesMatchTheText(box);

    // A last line typed without Enter gets the break before the new line.
    box.ClearText();
    box.setFocus();
    QTest::keyClicks(&box, "typed");
    box.AppendLine("c");
    EXPECT_EQ(box.Text(), "typed\r\nc");
    EXPECT_EQ(box.textCursor().position(), box.document()->characterCount() - 1);

    box.ReplaceText("a\nb\rc\r\nd\n\re\0after NUL"s);
    EXPECT_EQ(box.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne");
    EXPECT_EQ(box.textCursor().position(), 0);
    ExpectLinesMatchTheText(box);

    box.ReplaceText(std::string(5000, 'x') + "\r\n");
    EXPECT_EQ(box.GetLine(0).size(), kMaxLineBytes);
}

TEST(SourceListBox, ModifiedFlagRules) {
    TSourceListBox box;
    box.AppendLine("a");
    EXPECT_TRUE(box.Modified());

    box.ReplaceText("x\r\ny");
    EXPECT_FALSE(box.Modified());

    // An equal text changes nothing, whichever state the flag is in.
    box.AppendLine("z");
    box.ReplaceText("x\ny\r\nz");
    EXPECT_TRUE(box.Modified());
    box.SetModified(false);
    box.ReplaceText("x\ry\nz");
    EXPECT_FALSE(box.Modified());

    box.setFocus();
    QTest::keyClick(&box, Qt::Key_End);
    QTest::keyClicks(&box, "w");
    EXPECT_TRUE(box.Modified());
    // Undoing back to the loaded text is still an edit.
    box.undo();
    EXPECT_EQ(box.Text(), "x\r\ny\r\nz");
    EXPECT_TRUE(box.Modified());

    box.ClearText();
    EXPECT_FALSE(box.Modified());
    EXPECT_EQ(box.Text(), "");
    box.ReplaceText("");
    EXPECT_FALSE(box.Modified());
}

TEST(SourceListBox, BytesThatAreNotUtf8SurviveEditsElsewhere) {
    // A Shift-JIS path, a Latin-1 name, a no-break space and a character the
    // box would show as a break.
    const std::string sjis = "C:\\\x89\xE6\x91\x9C\\\x95\x5C.jpg";
    const std::string list = sjis + "\r\ncaf\xE9.bmp\r\nnb\xC2\xA0sp\r\nls\xE2\x80\xA8.jpg\r\nplain\r\n";
    TSourceListBox box;
    box.ReplaceText(list);
    EXPECT_EQ(box.Text(), list);
    EXPECT_EQ(box.LineCount(), 5);
    EXPECT_EQ(box.GetLine(0), sjis);
    ExpectLinesMatchTheText(box);

    // Type on the last line, then copy the first four lines and paste them
    // at the end: every byte comes through the clipboard unchanged.
    box.setFocus();
    box.moveCursor(QTextCursor::End);
    QTest::keyClicks(&box, "more");
    QTextCursor cursor(box.document());
    cursor.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 4);
    box.setTextCursor(cursor);
    box.copy();
    box.moveCursor(QTextCursor::End);
    box.paste();
    const std::string firstFour = list.substr(0, list.find("plain"));
    EXPECT_EQ(box.Text(), list + "more" + firstFour);
    EXPECT_TRUE(box.Modified());
}

TEST(SourceListBox, ABatchIsOneInsertionAndOnePaint) {
    std::vector<std::string> names;
    for (int i = 0; i < 10000; ++i) names.push_back("/pics/" + std::to_string(i) + ".jpg");
    TSourceListBox box;
    box.resize(300, 200);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.ReplaceText("typed");
    QApplication::processEvents();

    PaintCounter counter;
    box.viewport()->installEventFilter(&counter);
    box.AppendLines(names);
    QApplication::processEvents();
    EXPECT_LE(counter.paints, 2);

    std::string expected = "typed";
    for (const auto& name : names) AppendLine(expected, name);
    EXPECT_EQ(box.Text(), expected);
    // The caret sits after the last name, scrolled into view.
    EXPECT_EQ(box.textCursor().position(), box.document()->characterCount() - 1);
    EXPECT_TRUE(box.viewport()->rect().contains(box.cursorRect()));
    EXPECT_GT(box.verticalScrollBar()->value(), 9000);
    EXPECT_TRUE(box.Modified());
}

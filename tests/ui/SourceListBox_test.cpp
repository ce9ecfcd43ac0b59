#include "app/SourceListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSysInfo>
#include <QTextCursor>
#include <QUrl>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

#include "app/ListText.h"

using namespace pelumir;
using namespace std::string_literals;

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

// The box's line operations give what the byte model gives for its text.
void ExpectLinesMatchTheText(const TSourceListBox& box) {
    const std::string text = box.Text();
    ASSERT_EQ(box.LineCount(), LineCount(text));
    ASSERT_EQ(box.Lines(), Lines(text));
    for (int i = 0; i <= box.LineCount(); ++i) EXPECT_EQ(box.GetLine(i), GetLine(text, i)) << i;
}

bool CaretAtEnd(const TSourceListBox& box) {
    return box.textCursor().position() == box.document()->characterCount() - 1;
}

}  // namespace

TEST(SourceListBox, FollowsTheCrLfTextModel) {
    TSourceListBox box;
    EXPECT_FALSE(box.acceptDrops() || box.viewport()->acceptDrops());  // the main window takes drops
    EXPECT_EQ(box.LineCount(), 0);
    box.AppendLine("/pics/a.jpg");
    box.AppendLines({"/pics/", "b.bmp"});
    EXPECT_EQ(box.Text(), "/pics/a.jpg\r\n/pics/\r\nb.bmp\r\n");
    ExpectLinesMatchTheText(box);

    // A last line typed without Enter gets the break before the new line.
    box.ClearText();
    QTest::keyClicks(&box, "typed");
    box.AppendLine("c");
    EXPECT_EQ(box.Text(), "typed\r\nc");
    EXPECT_TRUE(CaretAtEnd(box));

    box.ReplaceText("a\nb\rc\r\nd\n\r" + std::string(5000, 'x') + "\0after NUL"s);
    EXPECT_EQ(box.Text(), "a\r\nb\r\nc\r\nd\r\n\r\n" + std::string(5000, 'x'));
    EXPECT_EQ(box.textCursor().position(), 0);
    ExpectLinesMatchTheText(box);
}

TEST(SourceListBox, ModifiedFlagRules) {
    TSourceListBox box;
    EXPECT_FALSE(box.Modified());
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

    QTest::keyClick(&box, Qt::Key_End);
    QTest::keyClicks(&box, "w");
    EXPECT_TRUE(box.Modified());
    // Undoing back to the loaded text is still an edit.
    box.undo();
    EXPECT_EQ(box.Text(), "x\r\ny\r\nz");
    EXPECT_TRUE(box.Modified());

    box.ClearText();
    EXPECT_FALSE(box.Modified());
}

TEST(SourceListBox, BytesThatAreNotUtf8SurviveEditsAndTheClipboard) {
    // A Shift-JIS path, a Latin-1 name, a no-break space (which Qt's own
    // copy turns into a blank) and a character the box would show as a break.
    const std::string sjis = "C:\\\x89\xE6\x91\x9C\\\x95\x5C.jpg";
    const std::string list = sjis + "\r\ncaf\xE9.bmp\r\nnb\xC2\xA0sp\r\nls\xE2\x80\xA8.jpg\r\nplain\r\n";
    TSourceListBox box;
    box.ReplaceText(list);
    EXPECT_EQ(box.Text(), list);
    EXPECT_EQ(box.GetLine(0), sjis);
    ExpectLinesMatchTheText(box);

    // Type on the last line, copy the first four lines, paste them at the end.
    box.moveCursor(QTextCursor::End);
    QTest::keyClicks(&box, "more");
    QTextCursor cursor(box.document());
    cursor.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 4);
    box.setTextCursor(cursor);
    box.copy();
    box.moveCursor(QTextCursor::End);
    box.paste();
    EXPECT_EQ(box.Text(), list + "more" + list.substr(0, list.find("plain")));
}

TEST(SourceListBox, ADropOfTenThousandNamesPaintsOnce) {
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
    EXPECT_TRUE(CaretAtEnd(box));
    EXPECT_TRUE(box.viewport()->rect().contains(box.cursorRect()));  // scrolled into view
}

namespace {

// What a file manager puts on the clipboard when files are copied: the URLs,
// and the same URLs as text.
QMimeData* CopiedFiles(const QList<QUrl>& urls) {
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    QString text;
    for (const QUrl& u : urls) text += u.toString(QUrl::FullyEncoded) + u'\n';
    mime->setText(text);
    return mime;
}

QUrl Encoded(const char* uri) { return QUrl::fromEncoded(QByteArray(uri), QUrl::StrictMode); }

// Puts the selection [from, to) in the box, then pastes the clipboard.
void PasteAt(TSourceListBox& box, int from, int to) {
    QTextCursor c(box.document());
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    box.setTextCursor(c);
    box.paste();
}

}  // namespace

TEST(SourceListBox, PastedFilesBecomeTheirPathsOnLinesOfTheirOwn) {
    QClipboard* clipboard = QApplication::clipboard();
    // Blanks, Japanese, a percent sign and a name that is not UTF-8: the
    // bytes the URLs encode, exactly; a web address and a name holding a
    // line break are not paths a line can name, nor is another machine's file.
    clipboard->setMimeData(CopiedFiles({Encoded("file:///pics/two%20%20blanks.jpg"),
                                        Encoded("file:///pics/%E5%86%99%E7%9C%9F%20%E4%B8%80.jpg"),
                                        Encoded("https://example.org/c.jpg"),
                                        Encoded("file://otherhost.example/pics/other.jpg"),
                                        Encoded("file://LOCALHOST/pics/100%25%20%232.bmp"),
                                        Encoded("file:///pics/bad%0Aname.jpg"),
                                        Encoded("file:///pics/%FF%FE.bmp")}));
    const std::string names =
        "/pics/two  blanks.jpg\r\n/pics/\xe5\x86\x99\xe7\x9c\x9f \xe4\xb8\x80.jpg\r\n/pics/100% #2.bmp\r\n/pics/\xff\xfe.bmp";

    TSourceListBox box;
    size_t leftOut = 0;
    box.OnNamesLeftOut = [&](size_t n) { leftOut += n; };
    PasteAt(box, 0, 0);  // an empty list: as a drop, every line ends
    EXPECT_EQ(box.Text(), names + "\r\n");
    EXPECT_EQ(leftOut, 1u);
    EXPECT_TRUE(box.Modified());
    ExpectLinesMatchTheText(box);

    box.ReplaceText("first\r\nlast");
    PasteAt(box, 10, 10);  // after an unfinished last line: it stays unfinished
    EXPECT_EQ(box.Text(), "first\r\nlast\r\n" + names);

    box.ReplaceText("abcd\r\nnext\r\n");
    PasteAt(box, 2, 2);  // in the middle of a line: the names stand alone
    EXPECT_EQ(box.Text(), "ab\r\n" + names + "\r\ncd\r\nnext\r\n");

    box.ReplaceText("abcd\r\nnext\r\n");
    PasteAt(box, 5, 9);  // a selected line: the names take its place
    EXPECT_EQ(box.Text(), "abcd\r\n" + names + "\r\n\r\n");
    box.undo();  // one edit
    EXPECT_EQ(box.Text(), "abcd\r\nnext\r\n");

    // Without a local file the text pastes as it always has.
    clipboard->setMimeData(CopiedFiles({Encoded("https://example.org/c.jpg")}));
    box.ReplaceText("x");
    PasteAt(box, 1, 1);
    EXPECT_EQ(box.Text(), "xhttps://example.org/c.jpg\r\n");
    // This machine called by its name is this machine.
    QUrl mine = Encoded("file:///pics/mine.jpg");
    mine.setHost(QSysInfo::machineHostName());
    clipboard->setMimeData(CopiedFiles({mine}));
    box.ReplaceText("");
    PasteAt(box, 0, 0);
    EXPECT_EQ(box.Text(), "/pics/mine.jpg\r\n");
    clipboard->setText(QStringLiteral("file:///typed/by/hand.jpg"));
    box.ReplaceText("");
    PasteAt(box, 0, 0);
    EXPECT_EQ(box.Text(), "file:///typed/by/hand.jpg");
    clipboard->clear();
}

// Whatever is typed or pasted, the box's lines are the text's lines: no
// separator that only looks like a break, no NUL that would end the list
// when it is read back.
TEST(SourceListBox, TypedAndPastedBreaksAreLineBreaks) {
    struct Case {
        const char* what;
        std::function<void(TSourceListBox&)> edit;
        std::string text;
    };
    const auto paste = [](const QString& s) {
        return [s](TSourceListBox& box) {
            QApplication::clipboard()->setText(s);
            box.paste();
        };
    };
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers m) {
        return [k, m](TSourceListBox& box) { QTest::keyClick(&box, k, m); };
    };
    const Case cases[] = {
        {"Shift+Enter", key(Qt::Key_Return, Qt::ShiftModifier), "a\r\nb"},
        {"Shift+keypad Enter", key(Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier), "a\r\nb"},
        {"line separator", paste(QStringLiteral("x\u2028y")), "ax\r\nyb"},
        {"paragraph separator", paste(QStringLiteral("x\u2029y")), "ax\r\nyb"},
        {"NUL", paste(QStringLiteral("x") + QChar(0) + QStringLiteral("y\nz")), "axb"},
    };
    for (const Case& c : cases) {
        TSourceListBox box;
        box.ReplaceText("ab");
        QTextCursor cursor(box.document());
        cursor.setPosition(1);
        box.setTextCursor(cursor);
        c.edit(box);
        EXPECT_EQ(box.Text(), c.text) << c.what;
        EXPECT_EQ(box.LineCount(), LineCount(c.text)) << c.what;
    }
    QApplication::clipboard()->clear();
}

#include "app/SourceListBox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "app/FileUrls.h"
#include "app/ListText.h"
#include "platform/TextCodec.h"

namespace pelumir {

namespace {

// The document keeps an empty block after a final line break, so the text
// "ends with CR LF" (or is empty) exactly when its last block is empty.
bool LastBlockEmpty(const QTextDocument* doc) { return doc->lastBlock().length() <= 1; }

}  // namespace

TSourceListBox::TSourceListBox(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Dropped files belong to the main window, which appends them as lines;
    // the box itself would insert their URLs as text.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    // A tab inside a path line would stop it matching its file: Tab moves the
    // focus, as on any form; Ctrl+Tab still types one.
    setTabChangesFocus(true);
    setToolTip(QStringLiteral("ここにファイル・フォルダをドラッグアンドドロップしてください。"));
    // The document reports a change of its own flag after an edit, and also
    // after an undo that returns to the loaded text: both are edits to us.
    connect(document(), &QTextDocument::modificationChanged, this, [this] { modified_ = true; });
}

int TSourceListBox::LineCount() const {
    const QTextDocument* doc = document();
    return doc->blockCount() - (LastBlockEmpty(doc) ? 1 : 0);
}

std::string TSourceListBox::GetLine(int i) const {
    if (i < 0 || i >= LineCount()) return {};
    std::string line = ListTextToBytes(document()->findBlockByNumber(i).text());
    if (line.size() > kMaxLineBytes) line.resize(kMaxLineBytes);
    return line;
}

std::vector<std::string> TSourceListBox::Lines() const { return pelumir::Lines(Text()); }

void TSourceListBox::AppendLine(const std::string& s) { AppendLines({s}); }

void TSourceListBox::AppendLines(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    // One insertion for the whole batch: one layout pass and one repaint,
    // however many names were dropped.
    const QString added = ListBytesToText(AppendedText(!LastBlockEmpty(document()), lines));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(added);
    setTextCursor(cursor);
    ensureCursorVisible();
    modified_ = true;
}

void TSourceListBox::ReplaceText(const std::string& bytes) {
    const std::string text = NormaliseLineBreaks(bytes);
    if (text == Text()) return;
    setPlainText(ListBytesToText(text));
    moveCursor(QTextCursor::Start);
    SetModified(false);
}

void TSourceListBox::ClearText() {
    setPlainText(QString());
    SetModified(false);
}

std::string TSourceListBox::Text() const { return ListTextToBytes(document()->toRawText()); }

bool TSourceListBox::Modified() const { return modified_; }

void TSourceListBox::SetModified(bool modified) {
    // The document's signal would set our flag again; ours is set last.
    document()->setModified(modified);
    modified_ = modified;
}

void TSourceListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        insertPlainText(QStringLiteral("\t"));
        return;
    }
    // Shift+Enter would put in a line separator that looks like a break but
    // joins the two names into one line: it starts a new line as Enter does.
    if (event->matches(QKeySequence::InsertLineSeparator)) {
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier, event->text(),
                        event->isAutoRepeat(), ushort(event->count()));
        QPlainTextEdit::keyPressEvent(&plain);
        event->setAccepted(plain.isAccepted());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TSourceListBox::mousePressEvent(QMouseEvent* event) {
    // A drag starts from a press on the selection, as the widget decides it.
    const QTextCursor selection = textCursor();
    const int at = cursorForPosition(event->position().toPoint()).position();
    pressedOnSelection_ = event->button() == Qt::LeftButton && selection.hasSelection() &&
                          at >= selection.selectionStart() && at <= selection.selectionEnd();
    QPlainTextEdit::mousePressEvent(event);
}

void TSourceListBox::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedOnSelection_ || !(event->buttons() & Qt::LeftButton)) {
        QPlainTextEdit::mouseMoveEvent(event);
        return;
    }
    // The widget offers a move only while it is editable, and removes the
    // text when another program accepts one; for the drag it is not.
    const Qt::TextInteractionFlags flags = textInteractionFlags();
    setTextInteractionFlags(flags & ~Qt::TextEditable);
    QPlainTextEdit::mouseMoveEvent(event);
    setTextInteractionFlags(flags);
}

bool TSourceListBox::canInsertFromMimeData(const QMimeData* source) const {
    return !LocalFileNames(source).empty() || QPlainTextEdit::canInsertFromMimeData(source);
}

void TSourceListBox::insertFromMimeData(const QMimeData* source) {
    // A file manager's copy also offers the URLs as text, which would match
    // no file: the names go in as whole lines instead, as a drop adds them.
    std::vector<std::string> names = LocalFileNames(source);
    if (names.empty()) {
        // The box's lines are the text's lines: Unicode's line and paragraph
        // separators would look like breaks inside one line. A NUL ends the
        // text, as it ends the list when read back.
        QString text = source->text();
        if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0) text.truncate(nul);
        text.replace(QChar::LineSeparator, u'\n').replace(QChar::ParagraphSeparator, u'\n');
        QMimeData plain;
        plain.setText(text);
        QPlainTextEdit::insertFromMimeData(&plain);
        return;
    }
    // A name with a line break would come back as two broken lines.
    const size_t left = RemoveNamesWithLineBreaks(names);
    if (left > 0 && OnNamesLeftOut) OnNamesLeftOut(left);
    if (names.empty()) return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    std::string lines;
    // Pasted into the middle of a line, the names start on a line of their own.
    if (!cursor.atBlockStart()) lines += "\r\n";
    for (size_t i = 0; i < names.size(); ++i) lines += (i ? "\r\n" : "") + names[i];
    // At the end of an unfinished last line the text stays unfinished, as
    // after a drop; anywhere else the names end their lines.
    if (!(cursor.atEnd() && !cursor.atBlockStart())) lines += "\r\n";
    cursor.insertText(ListBytesToText(lines));
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
    modified_ = true;
}

QMimeData* TSourceListBox::createMimeDataFromSelection() const {
    QString text = textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    auto* mime = new QMimeData;
    mime->setText(text);
    return mime;
}

}  // namespace pelumir

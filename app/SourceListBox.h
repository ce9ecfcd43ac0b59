#pragma once
// The source list: the main window's edit box seen as CR LF separated byte
// lines with a modified flag, whatever the widget does by itself.
#include <QPlainTextEdit>
#include <functional>
#include <string>
#include <vector>

namespace pelumir {

class TSourceListBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TSourceListBox(QWidget* parent = nullptr);

    // Lines of the text, not counting a final empty line.
    int LineCount() const;
    // Line i without its break, cut to its first 4,096 bytes.
    std::string GetLine(int i) const;
    // Every line as GetLine gives it, read in one pass.
    std::vector<std::string> Lines() const;
    // Adds s as the new last line and sets the modified flag.
    void AppendLine(const std::string& s);
    // Appends many lines with one repaint at the end.
    void AppendLines(const std::vector<std::string>& lines);
    // Normalises the line breaks; an equal text changes nothing, otherwise
    // the text is replaced, the caret goes to the start, the flag is cleared.
    void ReplaceText(const std::string& bytes);
    void ClearText();
    // The whole text, byte for byte, lines separated by CR LF.
    std::string Text() const;

    // Set by every edit (typing, paste, cut, delete, undo) and by AppendLine;
    // cleared by ReplaceText and ClearText. Not the document's own flag,
    // which an undo back to the loaded text would clear.
    bool Modified() const;
    void SetModified(bool modified);

    // Told how many pasted files were left out for a line break in the name.
    std::function<void(size_t)> OnNamesLeftOut;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // A drag of the selection out of the box is a copy: the list changes
    // only by editing, never because another program took the text.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Files copied in a file manager paste as their paths, one per line.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    // Copies the selection as it stands: the document's plain-text view
    // would turn no-break spaces into blanks.
    QMimeData* createMimeDataFromSelection() const override;

private:
    bool modified_ = false;
    bool pressedOnSelection_ = false;
};

}  // namespace pelumir

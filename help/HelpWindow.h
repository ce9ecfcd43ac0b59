#pragma once
// Our help engine: a small window over the help file beside the executable,
// with a contents page and a keyword search.
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

#include "help/HelpFile.h"

class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTextBrowser;

namespace pelumir {

// Shows the help file's contents page, its {{name}} places filled from
// `values`. A missing or unreadable help file is reported by the help window
// itself.
void ShowHelpContents(QWidget* owner, const QString& helpFile, const HelpValues& values = {});
// Opens the keyword search of the help file, started with `keyword`.
void ShowHelpKeywordSearch(QWidget* owner, const QString& helpFile, const QString& keyword,
                           const HelpValues& values = {});

class THelpWindow;
// The help window the two commands above share, or null before the first
// command and after the user closed it.
THelpWindow* CurrentHelpWindow();

// Contents and keyword index on the left, the topic on the right.
class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* owner = nullptr);

    // Reads the help file anew; when that fails, the window says why.
    void LoadFile(const QString& helpFile);
    // What the pages show for each {{name}}, from the next page shown on.
    void SetValues(HelpValues values) { values_ = std::move(values); }
    void ShowContents();
    // The keyword page, its field holding `keyword`; a keyword that leads to
    // exactly one topic shows that topic at once.
    void ShowKeywordSearch(const QString& keyword);
    void ShowTopic(int topic);
    void GoBack();

    // Why the file could not be shown, or empty.
    QString Problem() const { return problem_; }
    int CurrentTopic() const { return current_; }
    QString PageText() const;
    bool KeywordPageShown() const;
    QString KeywordFieldText() const;
    QStringList ListedKeywords() const;
    QString SelectedKeyword() const;
    // Shows the topic of the selected keyword, as Enter in the field does.
    void OpenSelectedKeyword();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FilterKeywords(const QString& typed);
    void ShowProblem(const QString& problem);
    void Navigate(const QUrl& link);

    HelpBook book_;
    HelpValues values_;
    std::vector<HelpIndexEntry> index_;  // points into book_
    std::vector<int> listed_;            // index_ entries in the list, by row
    std::vector<int> history_;
    int current_ = -1;
    QString problem_;

    QTabWidget* tabs_;
    QListWidget* contentsList_;
    QLineEdit* keywordEdit_;
    QListWidget* keywordList_;
    QPushButton* showButton_;
    QPushButton* backButton_;
    QTextBrowser* page_;
};

}  // namespace pelumir

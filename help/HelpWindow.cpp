#include "help/HelpWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/ScreenFit.h"

namespace pelumir {

namespace {

QPointer<THelpWindow>& SharedWindow() {
    static QPointer<THelpWindow> window;
    return window;
}

// One help window at a time, as the old help engines had: a second command
// reuses it and brings it to the front.
THelpWindow* OpenWindow(QWidget* owner, const QString& helpFile, const HelpValues& values) {
    QPointer<THelpWindow>& window = SharedWindow();
    if (window && window->parentWidget() != owner) delete window;
    if (!window) window = new THelpWindow(owner);
    window->SetValues(values);
    window->LoadFile(helpFile);
    return window;
}

void Present(THelpWindow* window) {
    // It opens on the main window's monitor, in its middle the first time;
    // later where the user left it, as long as that is on this monitor.
    if (!window->isVisible()) {
        const QScreen* before = window->screen();
        UseOwnersScreen(window);
        if (!window->testAttribute(Qt::WA_Moved) || window->screen() != before) CentreOnScreen(window);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

QString DefaultTitle() { return QStringLiteral("Pelumir ヘルプ"); }

}  // namespace

void ShowHelpContents(QWidget* owner, const QString& helpFile, const HelpValues& values) {
    THelpWindow* window = OpenWindow(owner, helpFile, values);
    window->ShowContents();
    Present(window);
}

void ShowHelpKeywordSearch(QWidget* owner, const QString& helpFile, const QString& keyword,
                           const HelpValues& values) {
    THelpWindow* window = OpenWindow(owner, helpFile, values);
    window->ShowKeywordSearch(keyword);
    Present(window);
}

THelpWindow* CurrentHelpWindow() { return SharedWindow(); }

THelpWindow::THelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Leaving the help open must not keep the program alive after its main
    // window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(DefaultTitle());
    resize(720, 520);

    contentsList_ = new QListWidget;
    keywordEdit_ = new QLineEdit;
    keywordEdit_->installEventFilter(this);
    keywordList_ = new QListWidget;
    showButton_ = new QPushButton(QStringLiteral("表示(&D)"));

    auto* keywordPage = new QWidget;
    auto* keywordLayout = new QVBoxLayout(keywordPage);
    auto* prompt = new QLabel(QStringLiteral("探したい言葉を入力してください(&W):"));
    prompt->setBuddy(keywordEdit_);
    keywordLayout->addWidget(prompt);
    keywordLayout->addWidget(keywordEdit_);
    keywordLayout->addWidget(keywordList_, 1);
    keywordLayout->addWidget(showButton_, 0, Qt::AlignRight);

    tabs_ = new QTabWidget;
    tabs_->addTab(contentsList_, QStringLiteral("目次(&C)"));
    tabs_->addTab(keywordPage, QStringLiteral("キーワード(&K)"));

    backButton_ = new QPushButton(QStringLiteral("戻る(&B)"));
    page_ = new QTextBrowser;
    page_->setOpenLinks(false);
    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(backButton_, 0, Qt::AlignLeft);
    rightLayout->addWidget(page_, 1);

    auto* splitter = new QSplitter;
    splitter->addWidget(tabs_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({230, 490});
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(splitter);

    connect(contentsList_, &QListWidget::currentRowChanged, this, [this](int row) { ShowTopic(row); });
    connect(keywordEdit_, &QLineEdit::textEdited, this, &THelpWindow::FilterKeywords);
    connect(keywordEdit_, &QLineEdit::returnPressed, this, &THelpWindow::OpenSelectedKeyword);
    connect(keywordList_, &QListWidget::itemActivated, this, [this] { OpenSelectedKeyword(); });
    connect(showButton_, &QPushButton::clicked, this, &THelpWindow::OpenSelectedKeyword);
    connect(backButton_, &QPushButton::clicked, this, &THelpWindow::GoBack);
    connect(page_, &QTextBrowser::anchorClicked, this, &THelpWindow::Navigate);
    // Escape puts the help away, whichever of its parts has the focus.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void THelpWindow::LoadFile(const QString& helpFile) {
    book_ = {};
    index_.clear();
    history_.clear();
    current_ = -1;
    problem_.clear();
    const QString name = QFileInfo(helpFile).fileName();
    QFile file(helpFile);
    if (!QFileInfo(helpFile).isFile()) {
        ShowProblem(QStringLiteral("ヘルプファイル「%1」が見つかりません。\n\n%2\n\n"
                                   "ヘルプファイルは Pelumir の実行ファイルと同じフォルダに置いてください。")
                        .arg(name, helpFile));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        ShowProblem(QStringLiteral("ヘルプファイル「%1」を開けません。\n\n%2\n\n%3")
                        .arg(name, helpFile, file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    book_ = ParseHelpFile(bytes.toStdString());
    if (book_.topics.empty()) {
        ShowProblem(QStringLiteral("ヘルプファイル「%1」にはトピックがありません。\n\n%2").arg(name, helpFile));
        return;
    }
    index_ = BuildKeywordIndex(book_);
    setWindowTitle(book_.title.empty() ? DefaultTitle() : QString::fromStdString(book_.title));
    tabs_->setEnabled(true);
    {
        const QSignalBlocker quiet(contentsList_);
        contentsList_->clear();
        for (const HelpTopic& t : book_.topics) contentsList_->addItem(QString::fromStdString(t.title));
    }
    keywordEdit_->clear();
    FilterKeywords(QString());
    page_->clear();
    backButton_->setEnabled(false);
}

void THelpWindow::ShowProblem(const QString& problem) {
    problem_ = problem;
    setWindowTitle(DefaultTitle());
    contentsList_->clear();
    keywordList_->clear();
    listed_.clear();
    keywordEdit_->clear();
    tabs_->setEnabled(false);
    backButton_->setEnabled(false);
    page_->setPlainText(problem);
}

void THelpWindow::ShowContents() {
    tabs_->setCurrentIndex(0);
    if (problem_.isEmpty()) ShowTopic(0);
    contentsList_->setFocus();
}

void THelpWindow::ShowKeywordSearch(const QString& keyword) {
    tabs_->setCurrentIndex(1);
    keywordEdit_->setText(keyword);
    FilterKeywords(keyword);
    keywordEdit_->setFocus();
    keywordEdit_->selectAll();
    if (!problem_.isEmpty()) return;
    const int topic = TopicForKeyword(index_, keyword.toStdString());
    if (topic >= 0) ShowTopic(topic);
    else if (current_ < 0) ShowTopic(0);
}

void THelpWindow::ShowTopic(int topic) {
    if (topic < 0 || topic >= static_cast<int>(book_.topics.size())) return;
    if (current_ >= 0 && current_ != topic) history_.push_back(current_);
    current_ = topic;
    page_->setHtml(QString::fromStdString(RenderTopicHtml(book_, topic, values_)));
    backButton_->setEnabled(!history_.empty());
    const QSignalBlocker quiet(contentsList_);
    contentsList_->setCurrentRow(topic);
}

void THelpWindow::GoBack() {
    if (history_.empty()) return;
    const int previous = history_.back();
    history_.pop_back();
    current_ = -1;  // going back records nothing
    ShowTopic(previous);
}

void THelpWindow::Navigate(const QUrl& link) {
    if (link.scheme() == QStringLiteral("topic")) ShowTopic(book_.Find(link.path().toStdString()));
}

void THelpWindow::FilterKeywords(const QString& typed) {
    const std::string t = typed.toStdString();
    keywordList_->clear();
    listed_.clear();
    int best = -1;
    for (std::size_t i = 0; i < index_.size(); ++i) {
        if (!KeywordContains(index_[i], t)) continue;
        if (best < 0 && KeywordStartsWith(index_[i], t)) best = static_cast<int>(listed_.size());
        listed_.push_back(static_cast<int>(i));
        keywordList_->addItem(QString::fromStdString(index_[i].label));
    }
    if (!listed_.empty()) keywordList_->setCurrentRow(best >= 0 ? best : 0);
    showButton_->setEnabled(!listed_.empty());
}

void THelpWindow::OpenSelectedKeyword() {
    const int row = keywordList_->currentRow();
    if (row >= 0 && row < static_cast<int>(listed_.size())) ShowTopic(index_[listed_[row]].topic);
}

// Up and down in the field move through the list, so the hands can stay on
// the keyboard between typing and choosing.
bool THelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == keywordEdit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QKeyEvent copy(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(keywordList_, &copy);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QString THelpWindow::PageText() const { return page_->toPlainText(); }

bool THelpWindow::KeywordPageShown() const { return tabs_->currentIndex() == 1; }

QString THelpWindow::KeywordFieldText() const { return keywordEdit_->text(); }

QStringList THelpWindow::ListedKeywords() const {
    QStringList out;
    for (int i = 0; i < keywordList_->count(); ++i) out << keywordList_->item(i)->text();
    return out;
}

QString THelpWindow::SelectedKeyword() const {
    const QListWidgetItem* item = keywordList_->currentItem();
    return item ? item->text() : QString();
}

}  // namespace pelumir

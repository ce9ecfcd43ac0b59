#include "app/MainForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <cstring>

#include "about/AboutUnt.h"
#include "about/AppInfo.h"
#include "app/FileUrls.h"
#include "app/ImageCollection.h"
#include "app/ListFile.h"
#include "app/ListText.h"
#include "app/SourceListBox.h"
#include "platform/BaseFolder.h"
#include "platform/Collation.h"
#include "platform/ErrorDisplay.h"
#include "platform/FileDialogs.h"
#include "platform/FileReplace.h"
#include "platform/FileSystem.h"
#include "help/HelpPath.h"
#include "platform/Path.h"
#include "help/HelpWindow.h"
#include "platform/MessageBox.h"
#include "platform/NativeWindow.h"
#include "settings/ConfigFrm.h"
#include "settings/Settings.h"
#include "viewer/PlayOrder.h"
#include "viewer/grpform.h"

namespace pelumir {

namespace {

std::string ToBytes(const QString& s) { return QFile::encodeName(s).toStdString(); }
QString FromBytes(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }

bool CarriesLocalFiles(const QMimeData* mime) {
    if (!mime->hasUrls()) return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), IsThisMachinesFile);
}

// We only note the names, so the drop is a copy: a file manager that sees
// its move accepted may delete the files that were just dragged here.
void AcceptAsCopy(QDropEvent* event) {
    if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else if (event->possibleActions() & Qt::LinkAction) {
        event->setDropAction(Qt::LinkAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

const QString kAllFiles = QStringLiteral("全てのファイル (*.*)");
const QStringList kListFilters = {QStringLiteral("テキスト文書 (*.txt)"), kAllFiles};

}  // namespace

TfrmMain::TfrmMain(const StartupInput& input, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    memSrcFList_ = new TSourceListBox(this);
    memSrcFList_->setObjectName(QStringLiteral("memSrcFList"));
    setCentralWidget(memSrcFList_);
    memSrcFList_->OnNamesLeftOut = [this](size_t left) { ReportNamesLeftOut(left); };
    BuildMenus();
    BuildToolBar();
    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setFixedHeight(19);
    setStatusBar(status);
    move(191, 108);
    resize(544, 378);
    FormCreate(input);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::SetWindows(TfrmAbout* about, TfrmConfig* config, TfrmGrpView* viewer) {
    frmAbout_ = about;
    frmConfig_ = config;
    frmGrpView_ = viewer;
}

void TfrmMain::CreateWindows() {
    if (frmAbout_ == nullptr) frmAbout_ = new TfrmAbout(this);
    if (frmConfig_ == nullptr) frmConfig_ = new TfrmConfig(this);
    if (frmGrpView_ == nullptr) frmGrpView_ = new TfrmGrpView(this);
}

TfrmAbout& TfrmMain::frmAbout() {
    CreateWindows();
    return *frmAbout_;
}

TfrmConfig& TfrmMain::frmConfig() {
    CreateWindows();
    return *frmConfig_;
}

TfrmGrpView& TfrmMain::frmGrpView() {
    CreateWindows();
    return *frmGrpView_;
}

void TfrmMain::BuildMenus() {
    struct Item {
        const char* caption;
        void (TfrmMain::*handler)();
    };
    auto addMenu = [this](const char* title, std::initializer_list<Item> items) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(title));
        for (const Item& item : items) {
            if (item.caption == nullptr) {
                menu->addSeparator();
                continue;
            }
            // Access keys only: no item has a keyboard shortcut.
            QAction* action = menu->addAction(QString::fromUtf8(item.caption));
            const auto handler = item.handler;
            connect(action, &QAction::triggered, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
        }
    };
    addMenu("ファイル(&F)", {{"ファイルリストを開く(&O)...", &TfrmMain::O1Click},
                            {"ファイルリストを保存(&S)", &TfrmMain::S1Click},
                            {"ファイルリストに名前を付けて保存(&A)...", &TfrmMain::A1Click},
                            {nullptr, nullptr},
                            {"ファイルの選択(&F)...", &TfrmMain::SelectFile},
                            {"フォルダの選択(&D)...", &TfrmMain::SelectPath},
                            {"ファイル・フォルダ一覧を消去(&C)", &TfrmMain::ClearSourceFList},
                            {nullptr, nullptr},
                            {"終了(&X)", &TfrmMain::AppClose}});
    addMenu("編集(&E)", {{"切り取り(&T)", &TfrmMain::mnuCutClick},
                         {"ｺﾋﾟｰ(&C)", &TfrmMain::mnuCopyClick},
                         {"貼り付け(&P)", &TfrmMain::mnuPasteClick},
                         {"削除(D)", &TfrmMain::mnuDeleteClick},
                         {nullptr, nullptr},
                         {"全て選択(&A)", &TfrmMain::mnuSelectAllClick}});
    addMenu("その他(&O)", {{"環境設定(&C)", &TfrmMain::mnuConfigClick}});
    addMenu("ヘルプ(&H)", {{"目次(&C)", &TfrmMain::mnuHelpIndexClick},
                           {"トピックの検索(&S)...", &TfrmMain::mnuHelpTopicClick},
                           {nullptr, nullptr},
                           {"バージョン情報(&A)...", &TfrmMain::AppAbout}});
}

void TfrmMain::BuildToolBar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setFixedHeight(33);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setStyleSheet(QStringLiteral("QToolBar { border-top: 1px solid palette(mid);"
                                      " border-bottom: 1px solid palette(mid); spacing: 0px; }"));
    auto* holder = new QWidget(bar);
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(2, 0, 0, 0);
    row->setSpacing(8);
    btnOpenView_ = new QPushButton(QStringLiteral("画像の表示"), holder);
    btnOpenView_->setObjectName(QStringLiteral("btnOpenView"));
    btnOpenView_->setFixedSize(81, 24);
    btnClearFileList_ = new QPushButton(QStringLiteral("一覧の消去"), holder);
    btnClearFileList_->setObjectName(QStringLiteral("btnClearFileList"));
    btnClearFileList_->setFixedSize(75, 24);
    row->addWidget(btnOpenView_);
    row->addWidget(btnClearFileList_);
    row->addStretch(1);
    bar->addWidget(holder);
    addToolBar(Qt::TopToolBarArea, bar);
    connect(btnOpenView_, &QPushButton::clicked, this, [this] { Guarded([this] { btnOpenViewClick(); }); });
    connect(btnClearFileList_, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnClearFileListClick(); }); });
}

void TfrmMain::FormCreate(const StartupInput& input) {
    // An error ends the sequence; the window still opens.
    try {
        SetApplicationTitle(AppTitle);
        setWindowTitle(QString::fromUtf8(AppTitle) + QString::fromStdString(GetVersionString()));
        BaseDir_ = BaseFolderForExecutable(input.executablePath);
        HelpFile_ = HelpFileForExecutable(input.executablePath);
        SeedRandom();
        LoadSettings();
        AddCommandLineFiles(input.arguments);
        setAcceptDrops(true);
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    }
}

void TfrmMain::FormDestroy() { Guarded([this] { SaveSettings(); }); }

void TfrmMain::AddCommandLineFiles(const std::vector<std::string>& arguments) {
    std::vector<std::string> names;
    for (const std::string& arg : arguments)
        if (FileExists(arg)) names.push_back(GetTrueFileName(arg));
    AppendNames(std::move(names));
}

void TfrmMain::AppendNames(std::vector<std::string> names) {
    const size_t left = RemoveNamesWithLineBreaks(names);
    memSrcFList_->AppendLines(names);
    ReportNamesLeftOut(left);
}

void TfrmMain::ReportNamesLeftOut(size_t left) {
    if (left > 0)
        statusBar()->showMessage(QStringLiteral("名前に改行を含むため、%1 個のファイル・フォルダを一覧に追加しませんでした。")
                                     .arg(qulonglong(left)));
}

void TfrmMain::LoadSettings() {
    // A copy killed while saving leaves its temporary files; nothing of this
    // run is being written yet.
    RemoveLeftoverTemporaries(SettingsFilePath(BaseDir_));
    StoredSettings stored = pelumir::LoadSettings(BaseDir_);
    Config_ = stored.config;
    ConfigVersion_ = stored.configVersion;
    ListFileName_ = stored.listFileName;
    RemoveLeftoverTemporaries(ListFileName_);
    // No file yet: the empty list is all there is to keep.
    SavedText_ = std::string();
    if (FileExists(ListFileName_)) {
        SavedText_.reset();
        ReadListFile(ListFileName_);
    }
}

// The folder under ~/.config may not exist yet; a failure to make it shows
// as the failed write that follows.
void TfrmMain::PrepareToWriteIn(const std::string& path) {
    if (path.starts_with(BaseDir_)) EnsurePrivateFolder(BaseDir_);
}

void TfrmMain::SaveSettings() {
    PrepareToWriteIn(BaseDir_);
    StoredSettings stored{.config = Config_, .configVersion = ConfigVersion_, .listFileName = ListFileName_};
    pelumir::SaveSettings(BaseDir_, stored);
    ConfigVersion_ = stored.configVersion;
}

void TfrmMain::ReadListFile(const std::string& path) {
    memSrcFList_->ReplaceText(pelumir::ReadListFile(path));
    SavedText_ = memSrcFList_->Text();
}

void TfrmMain::SaveListAs(const std::string& path) {
    PrepareToWriteIn(path);
    std::string text = memSrcFList_->Text();
    pelumir::WriteListFile(path, text);
    ListFileName_ = path;
    SavedText_ = std::move(text);
}

void TfrmMain::btnOpenViewClick() {
    TfrmGrpView& viewer = frmGrpView();
    viewer.SourceImages = CollectImages(memSrcFList_->Lines(), UserCollator(), {.otherFormats = Config_.MoreFormats});
    viewer.ApplySettings(Config_);
    if (viewer.SourceImages.empty()) {
        ShowMessage(this, "画像ファイルが見つかりません。", MsgType::Error, {MsgButton::OK});
        return;
    }
    viewer.ShowModal();
    // Pictures that could not be decoded at all showed black: say why here.
    if (!viewer.DecoderProblem().empty())
        statusBar()->showMessage(QString::fromStdString(viewer.DecoderProblem()));
}

void TfrmMain::btnClearFileListClick() { ClearSourceFList(); }

void TfrmMain::ClearSourceFList() {
    if (memSrcFList_->LineCount() == 0) return;
    if (ShowMessage(this, "一覧の内容を消去しますか？", MsgType::Warning, {MsgButton::OK, MsgButton::Cancel}) !=
        MsgButton::OK)
        return;
    memSrcFList_->ClearText();
    memSrcFList_->setFocus();
}

void TfrmMain::AppClose() { close(); }

void TfrmMain::AppAbout() {
    frmAbout().exec();
}

// Which of the two places the settings went is decided at start; the help
// page on files names the one in use.
HelpValues TfrmMain::HelpPageValues() const {
    std::string folder = BaseDir_;
    if (folder.size() > 1 && folder.ends_with('/')) folder.pop_back();
    return {{"basedir", FromBytes(folder).toStdString()}};
}

void TfrmMain::mnuHelpIndexClick() { ShowHelpContents(this, FromBytes(HelpFile_), HelpPageValues()); }

void TfrmMain::mnuHelpTopicClick() {
    ShowHelpKeywordSearch(this, FromBytes(HelpFile_), QString(), HelpPageValues());
}

void TfrmMain::mnuConfigClick() {
    if (ExecuteConfigDialog(frmConfig(), Config_)) SaveSettings();
}

void TfrmMain::SelectFile() {
    const QStringList files = ChooseFiles(this, {FileDialogKind::OpenFiles, {kAllFiles}, QString(), QString()});
    if (files.isEmpty()) return;
    std::vector<std::string> names;
    names.reserve(size_t(files.size()));
    for (const QString& f : files) names.push_back(ToBytes(f));
    AppendNames(std::move(names));
    memSrcFList_->setFocus();
}

void TfrmMain::SelectPath() {
    const QString dir = ChooseFolder(this, QStringLiteral("フォルダを選択してください。"));
    if (dir.isEmpty()) return;
    std::string path = ToBytes(dir);
    // The root already ends in its separator.
    if (path.back() != '/') path += '/';
    AppendNames({path});
    memSrcFList_->setFocus();
}

void TfrmMain::mnuCutClick() {
    mnuCopyClick();
    mnuDeleteClick();
}

void TfrmMain::mnuCopyClick() { memSrcFList_->copy(); }
void TfrmMain::mnuPasteClick() { memSrcFList_->paste(); }
void TfrmMain::mnuDeleteClick() { memSrcFList_->textCursor().removeSelectedText(); }
void TfrmMain::mnuSelectAllClick() { memSrcFList_->selectAll(); }

void TfrmMain::O1Click() {
    // The dialog starts with the name it gave last time, as a dialog kept
    // for the whole run would.
    const QStringList chosen = ChooseFiles(
        this, {FileDialogKind::OpenAnyName, kListFilters, QStringLiteral("txt"), FromBytes(LastOpenedListFile_)});
    if (chosen.isEmpty()) return;
    LastOpenedListFile_ = ToBytes(chosen.front());
    // The name becomes current before the read, so a later save creates it.
    ListFileName_ = LastOpenedListFile_;
    SavedText_.reset();
    ReadListFile(ListFileName_);
}

void TfrmMain::S1Click() { SaveListAs(ListFileName_); }

void TfrmMain::A1Click() {
    // The dialog opens in the list file's folder, made first when it is
    // ours; the name changes only with a save that worked.
    PrepareToWriteIn(ListFileName_);
    const QStringList chosen = ChooseFiles(
        this, {FileDialogKind::Save, kListFilters, QStringLiteral("txt"), FromBytes(SaveDialogStart(ListFileName_))});
    if (chosen.isEmpty()) return;
    SaveListAs(ToBytes(chosen.front()));
}

void TfrmMain::FormDropFiles(const std::vector<std::string>& names) { AppendNames(names); }

bool TfrmMain::DefaultListIsCurrent() const { return ListFileName_ == DefaultListPath(BaseDir_); }

bool TfrmMain::FormCloseQuery() {
    try {
        if (DefaultListIsCurrent()) return SaveAtClose();
        if (!memSrcFList_->Modified()) return true;
        const MsgButton answer =
            ShowMessage(this, "ファイル・フォルダリストは変更されています。このまま保存しますか？", MsgType::Warning,
                        {MsgButton::Yes, MsgButton::No, MsgButton::Cancel});
        if (answer == MsgButton::Cancel) return false;
        if (answer == MsgButton::Yes) return SaveAtClose();
        return true;
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
        return false;
    }
}

// A list that cannot be saved is never dropped unseen: when the file does
// not already hold it, the user learns which file failed and why, and
// chooses (staying is the default). A file that holds it loses nothing.
bool TfrmMain::SaveAtClose() {
    try {
        SaveListAs(ListFileName_);
        return true;
    } catch (const ListFileWriteError& e) {
        if (SavedText_ && *SavedText_ == memSrcFList_->Text()) return true;
        const std::string reason =
            e.Reason() != 0 ? QString::fromLocal8Bit(std::strerror(e.Reason())).toStdString() : e.what();
        const std::string text = "ファイル・フォルダリストをファイル " + e.Path() + " に保存できません。\n" + reason +
                                 "\n\n保存せずに終了しますか？";
        return ShowMessage(this, text, MsgType::Error, {MsgButton::Yes, MsgButton::No}, MsgButton::No) ==
               MsgButton::Yes;
    }
}

std::vector<std::string> TfrmMain::SaveWithoutAsking() {
    std::vector<std::string> failures;
    const auto attempt = [&failures](auto&& save) {
        try {
            save();
        } catch (const std::exception& e) {
            failures.emplace_back(e.what());
        }
    };
    if (DefaultListIsCurrent()) attempt([this] { SaveListAs(ListFileName_); });
    attempt([this] { SaveSettings(); });
    return failures;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) event->accept();
    else event->ignore();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (CarriesLocalFiles(event->mimeData())) AcceptAsCopy(event);
}

void TfrmMain::dragMoveEvent(QDragMoveEvent* event) {
    if (CarriesLocalFiles(event->mimeData())) AcceptAsCopy(event);
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const std::vector<std::string> names = LocalFileNames(event->mimeData());
    if (names.empty()) return;
    AcceptAsCopy(event);
    Guarded([&] { FormDropFiles(names); });
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (Framed_) return;
    Framed_ = true;
    TakeOffFrameOnceKnown(200);
}

// The designed size is the outer size, frame included. The window manager
// tells the frame a moment after the window is on screen, without an event
// of its own: look again until it is known. The window only ever shrinks,
// so one that was made smaller to fit the screen stays inside it.
void TfrmMain::TakeOffFrameOnceKnown(int triesLeft) {
    QMargins frame = WindowManagerFrame(this);
    if (frame.isNull()) {
        const QRect outer = frameGeometry(), inner = geometry();
        frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    }
    if (frame.isNull()) {
        if (triesLeft > 0) QTimer::singleShot(50, this, [this, triesLeft] { TakeOffFrameOnceKnown(triesLeft - 1); });
        return;
    }
    resize(size().boundedTo(QSize(544, 378).shrunkBy(frame)));
}

}  // namespace pelumir

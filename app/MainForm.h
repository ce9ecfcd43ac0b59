#pragma once
// The main window: the source list, its menus and tool bar, and the road
// from "画像の表示" to the viewer.
#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "help/HelpFile.h"
#include "settings/ViewerConfig.h"

class QPushButton;
class QAction;
class QMenu;

namespace pelumir {

class TSourceListBox;
class TfrmGrpView;
class TfrmAbout;
class TfrmConfig;

// Everything the creation sequence takes from outside, so tests can give it.
struct StartupInput {
    std::vector<std::string> arguments;  // after the program's own name, as bytes
    std::string executablePath;          // full path of the executable
};

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(const StartupInput& input, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The other three windows, made once and kept to the end. The entry makes
    // them right after the main window is first painted, which keeps them off
    // the launch; whichever is asked for earlier is made then.
    void CreateWindows();
    // Tests give their own; null ones are made by CreateWindows.
    void SetWindows(TfrmAbout* about, TfrmConfig* config, TfrmGrpView* viewer);
    TfrmAbout& frmAbout();
    TfrmConfig& frmConfig();
    TfrmGrpView& frmGrpView();

    // Creation sequence and destruction.
    void FormCreate(const StartupInput& input);
    void FormDestroy();
    void AddCommandLineFiles(const std::vector<std::string>& arguments);

    // Commands.
    void btnOpenViewClick();
    void btnClearFileListClick();
    void ClearSourceFList();
    void AppClose();
    void AppAbout();
    void mnuHelpIndexClick();
    void mnuHelpTopicClick();
    void mnuConfigClick();
    void SelectFile();
    void SelectPath();
    void mnuCutClick();
    void mnuCopyClick();
    void mnuPasteClick();
    void mnuDeleteClick();
    void mnuSelectAllClick();
    void O1Click();
    void S1Click();
    void A1Click();
    void FormDropFiles(const std::vector<std::string>& names);
    // The close query: true allows the close.
    bool FormCloseQuery();
    // What closing saves when no one can be asked (log-off, shutdown, a
    // closed terminal): the default list and the settings. A modified named
    // list stays as it is on disk. Returns the messages of what failed.
    std::vector<std::string> SaveWithoutAsking();

    TSourceListBox* memSrcFList() const { return memSrcFList_; }
    const std::string& BaseDir() const { return BaseDir_; }
    const std::string& HelpFile() const { return HelpFile_; }
    const std::string& ListFileName() const { return ListFileName_; }
    void SetListFileName(const std::string& name) {
        ListFileName_ = name;
        SavedText_.reset();
    }
    TViewerConfig& Config() { return Config_; }
    int ConfigVersion() const { return ConfigVersion_; }
    QPushButton* btnOpenView() const { return btnOpenView_; }
    QPushButton* btnClearFileList() const { return btnClearFileList_; }

    // No pop-up of this window hides or shows a bar: a hidden tool bar
    // would take "画像の表示" with it until the next start.
    QMenu* createPopupMenu() override { return nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildMenus();
    void TakeOffFrameOnceKnown(int triesLeft);
    void BuildToolBar();
    void LoadSettings();
    void SaveSettings();
    void PrepareToWriteIn(const std::string& path);
    // Writes the list to path; only once that succeeded is path the list
    // file, holding this text.
    void SaveListAs(const std::string& path);
    // The save at close; true when the window may close.
    bool SaveAtClose();
    void ReadListFile(const std::string& path);
    bool DefaultListIsCurrent() const;
    HelpValues HelpPageValues() const;
    // Appends the names a list line can hold and says in the status bar how
    // many it left out.
    void ReportNamesLeftOut(size_t left);
    void AppendNames(std::vector<std::string> names);

    TSourceListBox* memSrcFList_ = nullptr;
    QPushButton* btnOpenView_ = nullptr;
    QPushButton* btnClearFileList_ = nullptr;
    TfrmAbout* frmAbout_ = nullptr;
    TfrmConfig* frmConfig_ = nullptr;
    TfrmGrpView* frmGrpView_ = nullptr;

    std::string BaseDir_;
    std::string HelpFile_;
    std::string ListFileName_;
    TViewerConfig Config_;
    int ConfigVersion_ = 1;
    std::string LastOpenedListFile_;
    // The list's text as the list file holds it, when we know it (read or
    // written by us): a save that fails then loses nothing.
    std::optional<std::string> SavedText_;
    bool Framed_ = false;
};

}  // namespace pelumir

#include "app/Program.h"

#include <QEvent>
#include <QFile>
#include <QLibraryInfo>
#include <QSessionManager>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

#include "about/AppIcon.h"
#include "app/MainForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/Fonts.h"
#include "platform/SessionBus.h"
#include "platform/TerminationSignals.h"

namespace pelumir {

namespace {

// Calls back after the first paint of the watched window, once.
class FirstPaintWatcher : public QObject {
public:
    explicit FirstPaintWatcher(std::function<void()> onShown) : onShown_(std::move(onShown)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && onShown_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, qApp, std::exchange(onShown_, {}));
        }
        return false;
    }

private:
    std::function<void()> onShown_;
};

}  // namespace

int RunProgram(int argc, char** argv, const std::function<void()>& onShown) {
    // The toolkit asks for the session bus while it starts; one that is
    // missing or silent must neither be started nor waited for.
    SettleSessionBus(1000);
    // Our menus live in the window; asking a desktop's own menu bar would be
    // one more question to the bus.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    // Every argument is the program's: Qt would take -style, -title,
    // -reverse and the like out of the command line, so it sees only the
    // program's name (its QT_* environment variables still apply).
    char fallbackName[] = "pelumir";
    char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    int qtArgc = 1;
    TApplication app(qtArgc, qtArgv);
    InstallUiFont();
    // The whole program speaks Japanese, so do Qt's own dialogs and buttons.
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtJapanese);
    QApplication::setWindowIcon(AppIcon());

    StartupInput input;
    // Arguments as the bytes they are: a file name need not be valid UTF-8.
    for (int i = 1; i < argc; ++i) input.arguments.emplace_back(argv[i]);
    input.executablePath = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();

    TfrmMain main(input);
    FirstPaintWatcher watcher([&main, onShown] {
        if (onShown) onShown();
        main.CreateWindows();
    });
    main.installEventFilter(&watcher);
    // Logging off asks the same question as closing the window; a refusal
    // keeps the session from ending with an unsaved list.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &main, [&main](QSessionManager& manager) {
        if (!manager.allowsInteraction()) return;
        const bool mayEnd = main.FormCloseQuery();
        manager.release();
        if (!mayEnd) manager.cancel();
    });
    // Log-off without a session manager's question, shutdown, a closed
    // terminal: save what closing saves without asking, then end as the
    // signal asked.
    TerminationSignals termination([&main](int signal) {
        for (const std::string& failure : main.SaveWithoutAsking())
            std::fprintf(stderr, "pelumir: %s\n", failure.c_str());
        EndBySignal(signal);
    });
    main.show();
    const int rc = app.exec();
    main.FormDestroy();
    return rc;
}

}  // namespace pelumir

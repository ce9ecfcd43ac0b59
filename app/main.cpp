// Pelumir: collects image files and folders into a list and shows every
// JPEG and BMP full screen, shrunk to fit and centred on black.
#include <QFile>

#include "about/AboutUnt.h"
#include "about/AppIcon.h"
#include "app/MainForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/Fonts.h"
#include "settings/ConfigFrm.h"
#include "viewer/grpform.h"

int main(int argc, char** argv) {
    pelumir::TApplication app(argc, argv);
    pelumir::InstallUiFont();
    QApplication::setWindowIcon(pelumir::AppIcon());

    pelumir::StartupInput input;
    // Arguments as the bytes they are: a file name need not be valid UTF-8.
    for (int i = 1; i < argc; ++i) input.arguments.emplace_back(argv[i]);
    input.executablePath = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();

    pelumir::TfrmMain main(input);
    pelumir::TfrmAbout about(&main);
    pelumir::TfrmConfig config(&main);
    pelumir::TfrmGrpView viewer(&main);
    main.SetWindows(&about, &config, &viewer);
    main.show();
    const int rc = app.exec();
    main.FormDestroy();
    return rc;
}

// pelumir-bench [filter]: runs every registered figure whose name contains
// the filter. Inputs are generated in a temporary folder.
#include <QApplication>
#include <QTemporaryDir>
#include <cstring>

#include "viewer/DecoderLink.h"
#include "bench/Bench.h"

namespace {
QTemporaryDir* g_dir = nullptr;
}

std::string bench::WorkDir() { return g_dir->path().toStdString(); }

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Widgets need the full application object; it is a QGuiApplication too.
    QApplication app(argc, argv);
    pelumir::DecoderLink::SetExecutable(PELUMIR_DECODER_PATH);
    QTemporaryDir dir;
    g_dir = &dir;
    const char* filter = argc > 1 ? argv[1] : "";
    for (const auto& figure : bench::Registry()) {
        if (std::strstr(figure.name.c_str(), filter) == nullptr) continue;
        figure.run();
    }
    return 0;
}

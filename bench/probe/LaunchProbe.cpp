// pelumir-launch-probe [bare]: starts the real program (or a bare Qt main
// window) and writes one byte to stdout once the main window is painted.
// It lives in a folder of its own, so the program's files beside it are
// a first start's, not the user's.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "app/Program.h"

namespace {

void Signal() {
    const char byte = '!';
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, &byte, 1);
    QCoreApplication::exit(0);
}

class PaintSignal : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            QTimer::singleShot(0, qApp, Signal);
        }
        return false;
    }

private:
    bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "bare") == 0) {
        QApplication app(argc, argv);
        QMainWindow window;
        window.resize(544, 378);
        PaintSignal signal;
        window.installEventFilter(&signal);
        window.show();
        return app.exec();
    }
    return pelumir::RunProgram(argc, argv, Signal);
}

#pragma once
// The application's error display: an exception that an event handler lets
// escape ends that event, is shown in a box captioned with the application
// title, and the program goes on.
#include <QApplication>
#include <exception>
#include <functional>
#include <string>

namespace pelumir {

// Shows the error box for a message ("." rule applied).
void ShowErrorBox(const std::string& message);
// Tests replace the box with a recorder; nullptr restores the box.
void SetErrorDisplayHook(std::function<void(const std::string&)> hook);
// The caption of the error box.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

// Runs one event handler; any exception it lets escape reaches the display.
template <class F>
void Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    }
}

// The last line of defence for exceptions thrown out of Qt's event delivery.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace pelumir

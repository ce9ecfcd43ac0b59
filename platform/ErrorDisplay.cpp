#include "platform/ErrorDisplay.h"

#include <QMessageBox>
#include <QPushButton>

#include "platform/MessageRules.h"

namespace pelumir {

namespace {
std::function<void(const std::string&)>& Hook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}
std::string& Title() {
    static std::string title = "Pelumir";
    return title;
}
}  // namespace

void SetErrorDisplayHook(std::function<void(const std::string&)> hook) { Hook() = std::move(hook); }
void SetApplicationTitle(const std::string& title) { Title() = title; }
const std::string& ApplicationTitle() { return Title(); }

void ShowErrorBox(const std::string& message) {
    const std::string text = ErrorBoxText(message);
    if (Hook()) {
        Hook()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(Title()), QString::fromStdString(text),
                    QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::ActionRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Unknown error");
    }
    return false;
}

}  // namespace pelumir

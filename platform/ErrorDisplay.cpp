#include "platform/ErrorDisplay.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "platform/MessageRules.h"
#include "platform/ScreenFit.h"

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

namespace {

// Enter presses the push button that has the focus, wherever it stands: a
// tool bar button would ignore it, and a dialog would press its default
// button instead of the focused one.
bool PressFocusedButton(QObject* receiver, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || key->isAutoRepeat()) return false;
    auto* button = qobject_cast<QPushButton*>(receiver);
    if (button == nullptr || !button->hasFocus() || !button->isEnabled() || button->menu() != nullptr) return false;
    button->click();
    return true;
}

}  // namespace

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        if (PressFocusedButton(receiver, event)) return true;
        if (!IsPlacementEvent(event)) return QApplication::notify(receiver, event);
        const QPointer<QObject> alive(receiver);
        const bool result = QApplication::notify(receiver, event);
        if (alive) KeepWindowOnScreen(receiver, event);
        return result;
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Unknown error");
    }
    return false;
}

}  // namespace pelumir

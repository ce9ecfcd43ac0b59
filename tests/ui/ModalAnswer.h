#pragma once
// Answers the modal boxes and file dialogs that a handler opens with exec().
// Each helper arms a poll before the blocking call and always closes what it
// finds, so a failed check never leaves a test waiting on a dialog.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace testutil {

struct ModalRecord {
    QString title, text, defaultButton;
    QStringList buttons;  // left to right
};

// The button text to press, or this to press Escape.
inline const QString kEscape = QStringLiteral("<Escape>");

// Closes the next message box with the button of the given text.
inline void AnswerNextModal(ModalRecord& rec, const QString& press) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, &rec, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        poll->stop();
        poll->deleteLater();
        rec.title = box->windowTitle();
        rec.text = box->text();
        rec.defaultButton = box->defaultButton() != nullptr ? box->defaultButton()->text() : QString();
        QList<QAbstractButton*> buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(),
                  [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* b : buttons) {
            rec.buttons << b->text();
            if (b->text() == press) chosen = b;
        }
        if (press == kEscape) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &escape);
        }
        if (!box->isVisible()) return;
        if (chosen != nullptr) chosen->click();
        else box->reject();
    });
    poll->start(20);
}

// Runs act on the next file dialog, then rejects the dialog if act left it open.
inline void OnNextFileDialog(std::function<void(QFileDialog*)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        poll->stop();
        poll->deleteLater();
        act(dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    poll->start(20);
}

// Records and dismisses every message box that opens while it lives.
class BoxWatch {
public:
    BoxWatch() {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->reject();
            }
        });
        poll_.start(20);
    }
    QStringList texts;

private:
    QTimer poll_;
};

}  // namespace testutil

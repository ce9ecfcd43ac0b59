#include "platform/MessageBox.h"

#include <QMessageBox>
#include <QPushButton>
#include <map>

namespace pelumir {

MsgButton ShowMessage(QWidget* parent, const std::string& text, MsgType type, const MsgButtons& buttons,
                      std::optional<MsgButton> defaultButton) {
    QMessageBox box(type == MsgType::Warning ? QMessageBox::Warning : QMessageBox::Critical,
                    QString::fromStdString(CaptionFor(type)), QString::fromStdString(text),
                    QMessageBox::NoButton, parent);
    // Custom buttons all in the action role keep their insertion order on
    // every desktop layout; standard buttons would be reordered.
    std::map<QAbstractButton*, MsgButton> results;
    const MsgButton def = defaultButton.value_or(DefaultButton(buttons));
    const MsgButton esc = EscapeResult(buttons);
    for (MsgButton b : OrderedButtons(buttons)) {
        QPushButton* button = box.addButton(QString::fromStdString(ButtonText(b)), QMessageBox::ActionRole);
        results[button] = b;
        if (b == def) box.setDefaultButton(button);
        if (b == esc) box.setEscapeButton(button);
    }
    box.exec();
    const auto it = results.find(box.clickedButton());
    return it == results.end() ? esc : it->second;
}

}  // namespace pelumir

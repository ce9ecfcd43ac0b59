#pragma once
// The About box: product name, version, rights line, logo, icon and author.
#include <QDialog>

class QLabel;
class QPushButton;
class QShowEvent;

namespace pelumir {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // Sets the three texts that are filled in at every showing.
    void FormShow();

    QLabel* Image2;        // the program icon
    QLabel* lblAppTitle;
    QLabel* lblVersion;
    QLabel* Image1;        // the logo
    QLabel* lblCopyRight;
    QLabel* Label4;        // author, Latin letters
    QLabel* Label3;        // author, Japanese
    QPushButton* Button1;  // "閉じる(&C)"

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace pelumir

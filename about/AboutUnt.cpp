#include "about/AboutUnt.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>

#include "about/AppIcon.h"
#include "about/AppInfo.h"
#include "platform/Fonts.h"
#include "platform/ScreenFit.h"

namespace pelumir {

namespace {

const char* const kHolderNotice = " Copyright (C) R. Kisaragi";
const char* const kAuthorLatin = "Written by Ren Kisaragi";
const char* const kAuthorJapanese = "作者：如月　蓮";

// The box names Windows faces; the metric-compatible free faces stand in for
// them here, so the title and the version keep their widths.
QFont LatinFont(const QStringList& families, int pixelSize) {
    QFont font;
    font.setFamilies(families);
    font.setBold(true);
    font.setPixelSize(pixelSize);
    return font;
}

// The free faces have taller ascents than the Windows faces they stand in
// for (Nimbus Sans 38 px against Arial's 32 at 35 px), which would push the
// title's baseline below its 33-pixel label. Raise the text so the baseline
// sits where the named face puts it.
void KeepBaseline(QLabel* label, double namedAscent) {
    const int shift = label->fontMetrics().ascent() - qRound(namedAscent * label->font().pixelSize());
    if (shift <= 0) return;
    // Safe-area margins would otherwise clamp a negative margin to zero.
    label->setAttribute(Qt::WA_ContentsMarginsRespectsSafeArea, false);
    label->setContentsMargins(0, -shift, 0, 0);
}

QLabel* MakeLabel(QWidget* parent, int left, int top, int width, int height, const char* designText) {
    auto* label = new QLabel(QString::fromUtf8(designText), parent);
    label->setGeometry(left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFixedSize(291, 157);
    setFont(UiFont());
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    Image2 = MakeLabel(this, 56, 4, 32, 32, "");
    Image2->setPixmap(AppIcon().pixmap(QSize(32, 32)));

    lblAppTitle = MakeLabel(this, 104, 0, 169, 33, "lblAppTitle");
    lblAppTitle->setWordWrap(true);
    lblAppTitle->setFont(LatinFont({QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                                    QStringLiteral("Liberation Sans")}, 35));
    KeepBaseline(lblAppTitle, 1854.0 / 2048);  // Arial's ascent per em

    lblVersion = MakeLabel(this, 24, 40, 249, 17, "lblVersion");
    lblVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblVersion->setFont(LatinFont({QStringLiteral("Times New Roman"), QStringLiteral("Nimbus Roman"),
                                   QStringLiteral("Liberation Serif")}, 13));
    KeepBaseline(lblVersion, 1825.0 / 2048);  // Times New Roman's

    Image1 = MakeLabel(this, 16, 64, 73, 34, "");
    const QPixmap logo = AppLogo();
    Image1->setPixmap(logo);
    Image1->resize(logo.size());

    lblCopyRight = MakeLabel(this, 112, 64, 165, 12, "lblCopyRight");
    Label4 = MakeLabel(this, 112, 80, 147, 12, kAuthorLatin);
    Label4->adjustSize();
    Label3 = MakeLabel(this, 112, 98, 84, 12, kAuthorJapanese);
    Label3->adjustSize();

    Button1 = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    Button1->setGeometry(112, 120, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::FormShow() {
    lblAppTitle->setText(QString::fromUtf8(AppTitle));
    lblVersion->setText(QString::fromStdString(GetVersionString()));
    lblCopyRight->setText(QString::number(ReleaseYear) + QString::fromUtf8(kHolderNotice));
    lblCopyRight->adjustSize();
}

void TfrmAbout::showEvent(QShowEvent* event) {
    // A window restored by the window system is no new showing.
    if (!event->spontaneous()) {
        FormShow();
        UseOwnersScreen(this);
        if (const QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->geometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}

}  // namespace pelumir

#include "settings/ConfigFrm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>

#include <algorithm>

#include "platform/ScreenFit.h"
#include "settings/IntegerText.h"

namespace pelumir {

// ---- TRadioGroup -----------------------------------------------------------

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    for (const QString& text : items) {
        auto* button = new QRadioButton(text, this);
        group_->addButton(button, static_cast<int>(items_.size()));
        items_.push_back(button);
    }
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
    index = std::min(index, Count() - 1);
    if (index >= 0) {
        Item(index)->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last button.
    group_->setExclusive(false);
    for (QRadioButton* button : items_) button->setChecked(false);
    group_->setExclusive(true);
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    // The items share the space under the caption evenly, one per row.
    const int top = fontMetrics().height() + 2;
    const int rowHeight = Count() > 0 ? (height() - top - 4) / Count() : 0;
    for (int i = 0; i < Count(); ++i) {
        QRadioButton* button = Item(i);
        const int h = button->sizeHint().height();
        button->setGeometry(8, top + i * rowHeight + (rowHeight - h) / 2, width() - 16, h);
    }
}

// ---- TfrmConfig ------------------------------------------------------------

TfrmConfig::TfrmConfig(QWidget* parent, std::span<const ExtraSetting> extras)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      extras_(extras) {
    setWindowTitle(QStringLiteral("環境設定"));
    setFixedSize(537, 301);

    PageControl1 = new QTabWidget(this);
    PageControl1->setGeometry(8, 8, 425, 257);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet1, QStringLiteral("画像の表示法"));
    PageControl1->addTab(TabSheet2, QStringLiteral("画像情報"));
    CreatePageDisplay();
    CreatePageInfo();
    if (!extras_.empty()) CreatePageOther();

    btnOk = new QPushButton(QStringLiteral("設　　定"), this);
    btnOk->setGeometry(448, 8, 73, 25);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("取り消し"), this);
    btnCancel->setGeometry(448, 40, 75, 25);
    btnCancel->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmConfig::CreatePageDisplay() {
    rgrImageSort = new TRadioGroup(QStringLiteral("画像の表示順"),
                                   {QStringLiteral("登録順"), QStringLiteral("登録順の逆順"), QStringLiteral("ランダム")},
                                   TabSheet1);
    rgrImageSort->setGeometry(16, 16, 145, 105);
    rgrRightClick = new TRadioGroup(QStringLiteral("右クリック時の動作"),
                                    {QStringLiteral("前の画像に戻る"), QStringLiteral("画像を右９０度回転する")},
                                    TabSheet1);
    rgrRightClick->setGeometry(176, 16, 185, 105);
    chkAutoSlide = new QCheckBox(QStringLiteral("自動で次の画像を表示 (秒)"), TabSheet1);
    chkAutoSlide->setGeometry(16, 136, 161, 17);
    edtAutoSlideTime = new QLineEdit(QStringLiteral("3"), TabSheet1);
    edtAutoSlideTime->setGeometry(184, 136, 49, 20);
    chkLoopMode = new QCheckBox(QStringLiteral("画像を一通り見たら終了"), TabSheet1);
    chkLoopMode->setGeometry(16, 165, 153, 17);
}

void TfrmConfig::CreatePageInfo() {
    rgrImgInfoShow = new TRadioGroup(
        QStringLiteral("画像情報の表示"),
        {QStringLiteral("常に表示"), QStringLiteral("一定時間だけ表示 (秒)"), QStringLiteral("非表示")}, TabSheet2);
    rgrImgInfoShow->setGeometry(16, 16, 217, 105);
    // Sits beside the second item, over the group box, so it is made after it.
    edtImgInfoTime = new QLineEdit(QStringLiteral("1"), TabSheet2);
    edtImgInfoTime->setGeometry(168, 62, 49, 20);
    rgrImgInfoType = new TRadioGroup(QStringLiteral("画像情報の内容"),
                                     {QStringLiteral("表示順序／画像数"), QStringLiteral("画像のファイルパス")}, TabSheet2);
    rgrImgInfoType->setGeometry(240, 16, 153, 65);
    lblImgInfoFontSize = new QLabel(QStringLiteral("画像情報のフォントサイズ"), TabSheet2);
    lblImgInfoFontSize->move(16, 136);
    lblImgInfoFontSize->adjustSize();
    edtImgInfoFontSize = new QLineEdit(QStringLiteral("9"), TabSheet2);
    edtImgInfoFontSize->setGeometry(152, 132, 41, 20);
}

void TfrmConfig::CreatePageOther() {
    TabSheet3 = new QWidget;
    PageControl1->addTab(TabSheet3, QStringLiteral("その他"));
    for (const ExtraSetting& row : extras_) {
        auto* box = new QCheckBox(QString::fromUtf8(row.caption), TabSheet3);
        box->move(16, 16 + 24 * int(chkExtras.size()));
        box->adjustSize();
        chkExtras.push_back(box);
    }
}

void TfrmConfig::showEvent(QShowEvent* event) {
    // Centred on the main window's screen, not on the main window.
    UseOwnersScreen(this);
    if (const QScreen* s = screen()) {
        const QRect frame = frameGeometry();
        move(s->availableGeometry().center() - (frame.center() - frame.topLeft()));
    }
    QDialog::showEvent(event);
}

// ---- Bindings --------------------------------------------------------------

void WriteViewerConfig(TfrmConfig& dialog, const TViewerConfig& config) {
    dialog.chkLoopMode->setChecked(!config.LoopMode);
    dialog.rgrImageSort->SetItemIndex(config.ImageSortType);
    dialog.rgrRightClick->SetItemIndex(config.RightClickMode);
    dialog.chkAutoSlide->setChecked(config.AutoSlideEnabled);
    dialog.edtAutoSlideTime->setText(QString::number(config.AutoSlideTime));
    dialog.rgrImgInfoShow->SetItemIndex(config.ImageInfoShow);
    dialog.edtImgInfoTime->setText(QString::number(config.ImageInfoTime));
    dialog.rgrImgInfoType->SetItemIndex(config.ImageInfoType);
    dialog.edtImgInfoFontSize->setText(QString::number(config.ImageInfoFontSize));
    for (size_t i = 0; i < dialog.chkExtras.size(); ++i)
        dialog.chkExtras[i]->setChecked(config.*dialog.Extras()[i].field);
}

namespace {

int EditInteger(const QLineEdit* edit, int def) { return StrToIntDef(edit->text().toStdString(), def); }

}  // namespace

TViewerConfig ReadViewerConfig(const TfrmConfig& dialog, TViewerConfig config) {
    config.LoopMode = !dialog.chkLoopMode->isChecked();
    config.ImageSortType = dialog.rgrImageSort->ItemIndex();
    config.RightClickMode = dialog.rgrRightClick->ItemIndex();
    config.AutoSlideEnabled = dialog.chkAutoSlide->isChecked();
    config.AutoSlideTime = EditInteger(dialog.edtAutoSlideTime, DefaultViewerConfig.AutoSlideTime);
    config.ImageInfoShow = dialog.rgrImgInfoShow->ItemIndex();
    config.ImageInfoTime = EditInteger(dialog.edtImgInfoTime, DefaultViewerConfig.ImageInfoTime);
    config.ImageInfoType = dialog.rgrImgInfoType->ItemIndex();
    config.ImageInfoFontSize = EditInteger(dialog.edtImgInfoFontSize, DefaultViewerConfig.ImageInfoFontSize);
    for (size_t i = 0; i < dialog.chkExtras.size(); ++i)
        config.*dialog.Extras()[i].field = dialog.chkExtras[i]->isChecked();
    return config;
}

bool ExecuteConfigDialog(TfrmConfig& dialog, TViewerConfig& config) {
    WriteViewerConfig(dialog, config);
    if (dialog.exec() != QDialog::Accepted) return false;
    config = ReadViewerConfig(dialog, config);
    return true;
}

}  // namespace pelumir

#pragma once
// The preferences dialog "環境設定": the nine viewer settings on two pages,
// and the settings of our own on a third, "その他", when there are any. Its
// controls are its only state; the main window's record goes in through
// WriteViewerConfig and comes out through ReadViewerConfig.
#include <QDialog>
#include <QGroupBox>
#include <QStringList>
#include <span>
#include <vector>

#include "settings/ExtraSettings.h"
#include "settings/ViewerConfig.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace pelumir {

// A captioned box of radio buttons read as one index, -1 when none is on.
class TRadioGroup : public QGroupBox {
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent);

    int Count() const { return static_cast<int>(items_.size()); }
    QRadioButton* Item(int i) const { return items_.at(static_cast<size_t>(i)); }
    int ItemIndex() const;
    // Below -1 selects nothing, at or past the end selects the last item.
    void SetItemIndex(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QButtonGroup* group_;
    std::vector<QRadioButton*> items_;
};

class TfrmConfig : public QDialog {
    Q_OBJECT
public:
    // `extras`: the rows of the page "その他" (a test gives its own).
    explicit TfrmConfig(QWidget* parent = nullptr, std::span<const ExtraSetting> extras = ExtraSettings());

    QPushButton* btnOk;
    QPushButton* btnCancel;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;  // "画像の表示法"
    QWidget* TabSheet2;  // "画像情報"
    QWidget* TabSheet3 = nullptr;  // "その他", made only when there are settings of our own

    TRadioGroup* rgrImageSort;
    TRadioGroup* rgrRightClick;
    QCheckBox* chkAutoSlide;
    QLineEdit* edtAutoSlideTime;
    QCheckBox* chkLoopMode;  // checked means the show ends after the last image

    TRadioGroup* rgrImgInfoShow;
    QLineEdit* edtImgInfoTime;
    TRadioGroup* rgrImgInfoType;
    QLabel* lblImgInfoFontSize;
    QLineEdit* edtImgInfoFontSize;

    // One check box per row of Extras(), in order.
    std::span<const ExtraSetting> Extras() const { return extras_; }
    std::vector<QCheckBox*> chkExtras;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreatePageDisplay();
    void CreatePageInfo();
    void CreatePageOther();

    std::span<const ExtraSetting> extras_;
};

// Settings into the controls.
void WriteViewerConfig(TfrmConfig& dialog, const TViewerConfig& config);
// `config` with the controls' values put in; a field without a control keeps
// its value. An edit that holds no integer gives 3, 1 or 9.
TViewerConfig ReadViewerConfig(const TfrmConfig& dialog, TViewerConfig config);

// The preferences command: shows the dialog modally with config; on OK the
// dialog's values replace those in config and the result is true (the caller
// then saves). Any other way out leaves config as it was.
bool ExecuteConfigDialog(TfrmConfig& dialog, TViewerConfig& config);

}  // namespace pelumir

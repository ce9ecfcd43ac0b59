#pragma once
// The preferences dialog "環境設定": the nine viewer settings on two pages.
// Its controls are its only state; the main window's record goes in through
// WriteViewerConfig and comes out through ReadViewerConfig.
#include <QDialog>
#include <QGroupBox>
#include <QStringList>
#include <vector>

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
    explicit TfrmConfig(QWidget* parent = nullptr);

    QPushButton* btnOk;
    QPushButton* btnCancel;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;  // "画像の表示法"
    QWidget* TabSheet2;  // "画像情報"

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

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreatePageDisplay();
    void CreatePageInfo();
};

// Settings into the controls.
void WriteViewerConfig(TfrmConfig& dialog, const TViewerConfig& config);
// The controls as settings; an edit that holds no integer gives 3, 1 or 9.
TViewerConfig ReadViewerConfig(const TfrmConfig& dialog);

// The preferences command: shows the dialog modally with config; on OK the
// dialog's values replace config whole and the result is true (the caller
// then saves). Any other way out leaves config as it was.
bool ExecuteConfigDialog(TfrmConfig& dialog, TViewerConfig& config);

}  // namespace pelumir

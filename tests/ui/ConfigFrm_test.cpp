#include "settings/ConfigFrm.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <tuple>
#include <gtest/gtest.h>

namespace pelumir {
namespace {

// Runs `act` once the dialog is up, then presses `close`. The dialog is
// closed whatever happens, so a failed check cannot hang the test.
bool RunDialog(TfrmConfig& dialog, TViewerConfig& config, const std::function<void()>& act, QPushButton* close) {
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget() == &dialog) act();
        close->click();
        if (dialog.isVisible()) dialog.reject();
    });
    return ExecuteConfigDialog(dialog, config);
}

TEST(ConfigFrm, BindingsRoundTripWithLoopModeInvertedAndIndexesClamped) {
    TfrmConfig dialog;
    const TViewerConfig odd{false, 1, 1, true, 0, 2, 1, -5, 14};
    WriteViewerConfig(dialog, odd);
    EXPECT_TRUE(dialog.chkLoopMode->isChecked());
    EXPECT_TRUE(dialog.rgrImgInfoShow->Item(2)->isChecked());
    EXPECT_EQ(ReadViewerConfig(dialog), odd);

    TViewerConfig c;
    c.ImageSortType = 7;
    c.ImageInfoType = -4;
    WriteViewerConfig(dialog, c);
    EXPECT_FALSE(dialog.chkLoopMode->isChecked());
    EXPECT_EQ(dialog.rgrImageSort->Item(2)->text(), "ランダム");
    EXPECT_TRUE(dialog.rgrImageSort->Item(2)->isChecked());
    EXPECT_FALSE(dialog.rgrImgInfoType->Item(0)->isChecked() || dialog.rgrImgInfoType->Item(1)->isChecked());
    const TViewerConfig read = ReadViewerConfig(dialog);
    EXPECT_TRUE(read.LoopMode);
    EXPECT_EQ(read.ImageSortType, 2);
    EXPECT_EQ(read.ImageInfoType, -1);
}

TEST(ConfigFrm, OkTakesTheEditsCancelNothing) {
    TfrmConfig dialog;
    TViewerConfig config;
    const auto edit = [&] {
        dialog.chkLoopMode->setChecked(true);
        for (QLineEdit* e : {dialog.edtAutoSlideTime, dialog.edtImgInfoTime, dialog.edtImgInfoFontSize}) e->clear();
        dialog.rgrImageSort->Item(1)->setChecked(true);
        dialog.PageControl1->setCurrentIndex(1);
    };
    EXPECT_FALSE(RunDialog(dialog, config, edit, dialog.btnCancel));
    EXPECT_EQ(config, TViewerConfig{});

    // The page last shown stays; the abandoned edits do not.
    int page = -1;
    bool loopBox = true;
    const auto look = [&] {
        page = dialog.PageControl1->currentIndex();
        loopBox = dialog.chkLoopMode->isChecked();
    };
    EXPECT_FALSE(RunDialog(dialog, config, look, dialog.btnCancel));
    EXPECT_EQ(page, 1);
    EXPECT_FALSE(loopBox);

    config = TViewerConfig{true, 0, 0, false, 8, 1, 0, 7, 30};
    ASSERT_TRUE(RunDialog(dialog, config, edit, dialog.btnOk));
    EXPECT_FALSE(config.LoopMode);
    // Edits without an integer give their defaults.
    EXPECT_EQ(std::make_tuple(config.AutoSlideTime, config.ImageInfoTime, config.ImageInfoFontSize),
              std::make_tuple(3, 1, 9));
    EXPECT_EQ(config.ImageSortType, 1);
}

}  // namespace
}  // namespace pelumir

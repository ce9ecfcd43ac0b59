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
    const TViewerConfig odd{.LoopMode = false,
                            .ImageSortType = 1,
                            .RightClickMode = 1,
                            .AutoSlideEnabled = true,
                            .AutoSlideTime = 0,
                            .ImageInfoShow = 2,
                            .ImageInfoType = 1,
                            .ImageInfoTime = -5,
                            .ImageInfoFontSize = 14};
    WriteViewerConfig(dialog, odd);
    EXPECT_TRUE(dialog.chkLoopMode->isChecked());
    EXPECT_TRUE(dialog.rgrImgInfoShow->Item(2)->isChecked());
    EXPECT_EQ(ReadViewerConfig(dialog, {}), odd);

    TViewerConfig c;
    c.ImageSortType = 7;
    c.ImageInfoType = -4;
    WriteViewerConfig(dialog, c);
    EXPECT_FALSE(dialog.chkLoopMode->isChecked());
    EXPECT_EQ(dialog.rgrImageSort->Item(2)->text(), "ランダム");
    EXPECT_TRUE(dialog.rgrImageSort->Item(2)->isChecked());
    EXPECT_FALSE(dialog.rgrImgInfoType->Item(0)->isChecked() || dialog.rgrImgInfoType->Item(1)->isChecked());
    const TViewerConfig read = ReadViewerConfig(dialog, {});
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

    config = TViewerConfig{};
    config.AutoSlideTime = 8;
    config.ImageInfoTime = 7;
    config.ImageInfoFontSize = 30;
    ASSERT_TRUE(RunDialog(dialog, config, edit, dialog.btnOk));
    EXPECT_FALSE(config.LoopMode);
    // Edits without an integer give their defaults.
    EXPECT_EQ(std::make_tuple(config.AutoSlideTime, config.ImageInfoTime, config.ImageInfoFontSize),
              std::make_tuple(3, 1, 9));
    EXPECT_EQ(config.ImageSortType, 1);
}

// The page "その他" is there only with settings of our own, one check box
// each, bound to its field; the other fields of the record stay as given.
TEST(ConfigFrm, ThePageOfOurOwnSettingsHasABoxPerRow) {
    TfrmConfig real;
    ASSERT_EQ(real.PageControl1->count(), 3);
    WriteViewerConfig(real, TViewerConfig{});
    ASSERT_EQ(real.chkExtras.size(), 3u);
    EXPECT_EQ(real.chkExtras[0]->text(), "撮影時の向き (Exif) に合わせて表示する(&E)");
    EXPECT_TRUE(real.chkExtras[0]->isChecked());
    EXPECT_EQ(real.chkExtras[1]->text(), "JPEG と BMP 以外の形式も表示する(&O)");
    EXPECT_FALSE(real.chkExtras[1]->isChecked());
    EXPECT_EQ(real.chkExtras[2]->text(), "色を正しく表示する (カラープロファイル)(&C)");
    EXPECT_TRUE(real.chkExtras[2]->isChecked());

    const ExtraSetting rows[] = {{"A", &TViewerConfig::AutoSlideEnabled, false, "一つ目"},
                                 {"B", &TViewerConfig::LoopMode, true, "二つ目"}};
    TfrmConfig dialog(nullptr, rows);
    ASSERT_EQ(dialog.PageControl1->count(), 3);
    EXPECT_EQ(dialog.PageControl1->tabText(2), "その他");
    ASSERT_EQ(dialog.chkExtras.size(), 2u);
    EXPECT_EQ(dialog.chkExtras[1]->text(), "二つ目");
    TViewerConfig config;
    config.LoopMode = false;
    config.AutoSlideEnabled = true;
    bool first = false, second = true;
    const auto flip = [&] {
        first = dialog.chkExtras[0]->isChecked();
        second = dialog.chkExtras[1]->isChecked();
        dialog.chkExtras[0]->setChecked(false);
        dialog.chkExtras[1]->setChecked(true);
    };
    ASSERT_TRUE(RunDialog(dialog, config, flip, dialog.btnOk));
    EXPECT_TRUE(first && !second);
    EXPECT_FALSE(config.AutoSlideEnabled);
    EXPECT_TRUE(config.LoopMode);
}

}  // namespace
}  // namespace pelumir

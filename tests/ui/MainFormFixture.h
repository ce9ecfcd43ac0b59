#pragma once
// A main window's surroundings: a private folder for the program (its
// settings and default list live beside it, so no run sees another's) and
// error boxes collected instead of shown.
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "platform/ErrorDisplay.h"

namespace testutil {

class MainFormFixture : public ::testing::Test {
protected:
    void SetUp() override {
        pelumir::SetErrorDisplayHook([this](const std::string& m) { errors.push_back(m); });
        input.executablePath = app.filePath("pelumir").toStdString();
    }
    void TearDown() override { pelumir::SetErrorDisplayHook(nullptr); }
    // The window shown and holding the keyboard.
    static void Activate(QWidget& w) {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    QTemporaryDir app;
    pelumir::StartupInput input;
    std::vector<std::string> errors;
};

}  // namespace testutil

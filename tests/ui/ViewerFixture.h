#pragma once
// Shared pieces of the viewer tests: flat-colour images of known sizes and a
// viewer shown at 1024 x 768 without blocking.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ErrorDisplay.h"
#include "tests/unit/ImageFixtures.h"
#include "viewer/grpform.h"

namespace testutil {

// A flat-colour picture, a JPEG ("JPG") or a 24-bit bitmap ("BMP").
inline std::string WriteImage(const QTemporaryDir& dir, const std::string& name, int w, int h, QRgb colour,
                              const char* format = "JPG") {
    const std::vector<uint8_t> bytes =
        std::string(format) == "BMP"
            ? BuildBmp({w, h, 24}, std::vector<uint32_t>(size_t(w) * size_t(h), colour & 0xFFFFFF))
            : FlatJpeg({.width = w, .height = h}, colour);
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// True when the colour is within a JPEG's rounding of the wanted one.
inline bool Near(uint32_t got, uint32_t want, int tol = 16) {
    for (int shift : {0, 8, 16}) {
        const int a = int((got >> shift) & 0xFF), b = int((want >> shift) & 0xFF);
        if (std::abs(a - b) > tol) return false;
    }
    return true;
}

inline void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton button) {
    const QPointF pos(10, 10);
    QMouseEvent ev(type, pos, w->mapToGlobal(pos), button,
                   type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(w, &ev);
}

inline void Click(QWidget* w, Qt::MouseButton button) {
    SendMouse(w, QEvent::MouseButtonPress, button);
    SendMouse(w, QEvent::MouseButtonRelease, button);
}

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        pelumir::SetErrorDisplayHook([this](const std::string& m) { errors.push_back(m); });
        view.resize(1024, 768);
        // Each change is looked at as soon as it is asked for.
        view.WaitForEachImage(true);
    }
    void TearDown() override {
        view.hide();
        pelumir::SetErrorDisplayHook(nullptr);
    }
    void Show(std::vector<std::string> images, const pelumir::TViewerConfig& config) {
        view.SourceImages = std::move(images);
        view.ApplySettings(config);
        view.show();
    }

    QTemporaryDir dir;
    pelumir::TfrmGrpView view;
    std::vector<std::string> errors;
};

}  // namespace testutil

#pragma once
// Shared pieces of the viewer tests: flat-colour images of known sizes and a
// viewer shown at 1024 x 768 without blocking.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/ErrorDisplay.h"
#include "viewer/grpform.h"

namespace testutil {

inline std::string WriteImage(const QTemporaryDir& dir, const std::string& name, int w, int h, QRgb colour,
                              const char* format = "JPG") {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    const QString path = dir.filePath(QString::fromStdString(name));
    EXPECT_TRUE(img.save(path, format, 100));
    return path.toStdString();
}

// The 32-bit frame pixel as 0xRRGGBB.
inline uint32_t FramePixel(const pelumir::Bitmap& b, int x, int y) {
    const uint8_t* p = b.Row(y) + 4 * x;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
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

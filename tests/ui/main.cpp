// Widget tests on the offscreen platform unless a display is asked for.
#include "platform/ErrorDisplay.h"
#include <gtest/gtest.h>

#include "viewer/DecoderLink.h"

#include "platform/Fonts.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    pelumir::TApplication app(argc, argv);
    // The decoder process as built, not one beside the test program.
    pelumir::DecoderLink::SetExecutable(PELUMIR_DECODER_PATH);
    pelumir::InstallUiFont();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

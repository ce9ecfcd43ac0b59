// Unit tests: pure logic. A core application object gives timers an event
// loop; nothing here needs a display.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "viewer/DecoderLink.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The decoder process as built, not one beside the test program.
    pelumir::DecoderLink::SetExecutable(PELUMIR_DECODER_PATH);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The two ways a bit-field channel widens to 8 bits, checked against plain
// arithmetic for every value of every narrow width.
#include <gtest/gtest.h>

#include "platform/MaskChannel.h"

namespace pelumir {
namespace {

TEST(MaskChannel, BothWideningsMatchTheirArithmeticAtEveryWidth) {
    for (int bits = 1; bits <= 12; ++bits) {
        for (int shift : {0, 3, 32 - bits}) {
            SCOPED_TRACE(testing::Message() << bits << " bits at " << shift);
            const uint32_t top = (1u << bits) - 1;
            const MaskChannel channel(top << shift);
            for (uint32_t v = 0; v <= top; ++v) {
                // Bits outside the mask must never leak in.
                const uint32_t pixel = (v << shift) | ~(top << shift);
                const uint32_t rounded = bits >= 8 ? v >> (bits - 8) : (v * 255 + top / 2) / top;
                ASSERT_EQ(channel.Scaled(pixel), rounded) << v;
                uint32_t repeated = 0;  // the value's bits over and over, read from the top
                for (int i = 0; i < 8; ++i) repeated |= ((v >> (bits - 1 - i % bits)) & 1) << (7 - i);
                ASSERT_EQ(channel.Extract(pixel), bits >= 8 ? v >> (bits - 8) : repeated) << v;
            }
        }
    }
}

TEST(MaskChannel, EmptyAndGappedMasks) {
    const MaskChannel none(0);
    EXPECT_EQ(none.Scaled(0xFFFFFFFF), 0);
    EXPECT_EQ(none.Extract(0xFFFFFFFF), 0u);
    // Only the lowest run counts: 0xF0F reads as the 4 bits at the bottom.
    const MaskChannel gapped(0xF0F);
    EXPECT_EQ(gapped.Scaled(0xF00), 0);
    EXPECT_EQ(gapped.Scaled(0x00F), 255);
    const MaskChannel whole(0xFFFFFFFF);
    EXPECT_EQ(whole.Scaled(0xAB000000), 0xAB);
    EXPECT_EQ(whole.Extract(0xAB123456), 0xABu);
}

}  // namespace
}  // namespace pelumir

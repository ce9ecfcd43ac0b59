#include <gtest/gtest.h>

#include "platform/MessageRules.h"

using namespace pelumir;

TEST(MessageRules, ErrorTextGetsAFullStopAfterCharactersSortingAfterIt) {
    EXPECT_EQ(ErrorBoxText("Bitmap Size Error"), "Bitmap Size Error.");
    EXPECT_EQ(ErrorBoxText("done."), "done.");
    EXPECT_EQ(ErrorBoxText("what?"), "what?.");  // "?" sorts after "."
    EXPECT_EQ(ErrorBoxText("a-"), "a-");          // "-" sorts before "."
    EXPECT_EQ(ErrorBoxText("trailing "), "trailing ");
    EXPECT_EQ(ErrorBoxText("1/2"), "1/2.");
    EXPECT_EQ(ErrorBoxText("画像フォーマットが不正です"), "画像フォーマットが不正です.");
    EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(MessageRules, ButtonsStandInOneOrderWithFixedDefaultAndEscape) {
    const MsgButtons ync{MsgButton::Cancel, MsgButton::No, MsgButton::Yes};
    EXPECT_EQ(OrderedButtons(ync), (MsgButtons{MsgButton::Yes, MsgButton::No, MsgButton::Cancel}));
    EXPECT_EQ(DefaultButton(ync), MsgButton::Yes);
    EXPECT_EQ(EscapeResult(ync), MsgButton::Cancel);

    const MsgButtons okCancel{MsgButton::Cancel, MsgButton::OK};
    EXPECT_EQ(OrderedButtons(okCancel), (MsgButtons{MsgButton::OK, MsgButton::Cancel}));
    EXPECT_EQ(DefaultButton(okCancel), MsgButton::OK);
    EXPECT_EQ(EscapeResult(okCancel), MsgButton::Cancel);

    const MsgButtons yesNo{MsgButton::Yes, MsgButton::No};
    EXPECT_EQ(EscapeResult(yesNo), MsgButton::No);
    EXPECT_EQ(DefaultButton(MsgButtons{MsgButton::OK}), MsgButton::OK);
    EXPECT_EQ(EscapeResult(MsgButtons{MsgButton::OK}), MsgButton::OK);
    EXPECT_EQ(DefaultButton(MsgButtons{MsgButton::Yes, MsgButton::OK}), MsgButton::OK);
}

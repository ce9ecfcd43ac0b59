#include "platform/MessageRules.h"

#include <algorithm>

#include "platform/Path.h"

namespace pelumir {

namespace {
bool Has(const MsgButtons& b, MsgButton x) { return std::find(b.begin(), b.end(), x) != b.end(); }
}  // namespace

MsgButtons OrderedButtons(const MsgButtons& asked) {
    MsgButtons out;
    for (MsgButton b : {MsgButton::Yes, MsgButton::No, MsgButton::OK, MsgButton::Cancel})
        if (Has(asked, b)) out.push_back(b);
    return out;
}

MsgButton DefaultButton(const MsgButtons& asked) {
    if (Has(asked, MsgButton::OK)) return MsgButton::OK;
    if (Has(asked, MsgButton::Yes)) return MsgButton::Yes;
    const MsgButtons ordered = OrderedButtons(asked);
    return ordered.empty() ? MsgButton::OK : ordered.front();
}

MsgButton EscapeResult(const MsgButtons& asked) {
    if (Has(asked, MsgButton::Cancel)) return MsgButton::Cancel;
    if (Has(asked, MsgButton::No)) return MsgButton::No;
    return MsgButton::OK;
}

std::string CaptionFor(MsgType type) { return type == MsgType::Warning ? "警告" : "エラー"; }

std::string ButtonText(MsgButton button) {
    switch (button) {
    case MsgButton::Yes: return "はい(&Y)";
    case MsgButton::No: return "いいえ(&N)";
    case MsgButton::OK: return "OK";
    case MsgButton::Cancel: return "キャンセル";
    }
    return {};
}

std::string ErrorBoxText(const std::string& message) {
    if (message.empty()) return message;
    const CodePage cp = ActiveCodePage();
    size_t last = 0;
    for (size_t i = 0; i < message.size(); i += CharLength(message, i, cp)) last = i;
    const std::string_view tail = std::string_view(message).substr(last);
    return tail > std::string_view(".") ? message + "." : message;
}

}  // namespace pelumir

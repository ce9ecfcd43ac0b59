#pragma once
// The rules of the program's message boxes and error display, free of any
// window so they can be checked alone.
#include <string>
#include <vector>

namespace pelumir {

enum class MsgType { Warning, Error };
enum class MsgButton { Yes, No, OK, Cancel };
using MsgButtons = std::vector<MsgButton>;

// The buttons in the order they stand, left to right: Yes, No, OK, Cancel.
MsgButtons OrderedButtons(const MsgButtons& asked);
// OK when present, else Yes (else the first button).
MsgButton DefaultButton(const MsgButtons& asked);
// What Escape and the close box give: Cancel, else No, else OK.
MsgButton EscapeResult(const MsgButtons& asked);
// "警告" or "エラー".
std::string CaptionFor(MsgType type);
std::string ButtonText(MsgButton button);

// The error box's text: a "." is added when the last character (a
// multi-byte character taken whole) sorts after "." in byte order.
std::string ErrorBoxText(const std::string& message);

}  // namespace pelumir

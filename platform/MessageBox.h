#pragma once
// The program's own message box: buttons in a fixed order whatever the
// desktop style does, the default and Escape results of our rules.
#include <optional>
#include <string>

#include "platform/MessageRules.h"

class QWidget;

namespace pelumir {

// A question whose usual default would lose something names its own.
MsgButton ShowMessage(QWidget* parent, const std::string& text, MsgType type, const MsgButtons& buttons,
                      std::optional<MsgButton> defaultButton = std::nullopt);

}  // namespace pelumir

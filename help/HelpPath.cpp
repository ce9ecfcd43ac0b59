#include "help/HelpPath.h"

#include "platform/Path.h"

namespace pelumir {

std::string HelpFileForExecutable(const std::string& executablePath) {
    return ChangeFileExt(executablePath, ".hlp");
}

}  // namespace pelumir

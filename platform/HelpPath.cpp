#include "platform/HelpPath.h"

namespace pelumir {

std::string HelpFileForExecutable(const std::string& executablePath) {
    // No byte of a UTF-8 multi-byte character equals "/" or ".", so a byte
    // search never splits a character.
    const std::size_t slash = executablePath.rfind('/');
    const std::size_t dot = executablePath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? executablePath.substr(0, dot) : executablePath) + ".hlp";
}

}  // namespace pelumir

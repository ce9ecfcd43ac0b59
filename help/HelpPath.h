#pragma once
// Where the help file is: beside the executable, named after it.
#include <string>

namespace pelumir {

// The executable's path with its extension replaced by ".hlp". The extension
// is the text from the last "." after the last "/"; without one, ".hlp" is
// appended. "/opt/pelumir" gives "/opt/pelumir.hlp", "/opt/v1.2/pelumir.bin"
// gives "/opt/v1.2/pelumir.hlp".
std::string HelpFileForExecutable(const std::string& executablePath);

}  // namespace pelumir

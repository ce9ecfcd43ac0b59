#pragma once
// The program's failures are exceptions carrying the text the user sees.
#include <stdexcept>
#include <string>

namespace pelumir {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// The bitmap type's own error for a pixel layout it cannot handle.
class EInvalidGraphic : public Exception {
public:
    EInvalidGraphic() : Exception("画像フォーマットが不正です") {}
};

// A bitmap whose pixels would not fit in memory (or past our sane limit).
class EOutOfResources : public Exception {
public:
    EOutOfResources() : Exception("メモリが不足しています") {}
};

}  // namespace pelumir

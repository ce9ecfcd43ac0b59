// The list's bytes through the edit box's text and back must be exact, for
// any bytes; and text as a user could type it saves to bytes that read back
// to the same bytes.
#include <QString>

#include <cstring>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QString text = pelumir::ListBytesToText(bytes);
    FUZZ_CHECK(pelumir::ListTextToBytes(text) == bytes);
    // A CR reaches the box only as part of a line break.
    FUZZ_CHECK(!text.contains(QChar(u'\r')));

    // The same bytes taken as UTF-16 text, lone surrogates and all.
    QString typed(qsizetype(size / 2), Qt::Uninitialized);
    if (size >= 2) std::memcpy(typed.data(), data, size / 2 * 2);
    const std::string saved = pelumir::ListTextToBytes(typed);
    FUZZ_CHECK(pelumir::ListTextToBytes(pelumir::ListBytesToText(saved)) == saved);
    return 0;
}

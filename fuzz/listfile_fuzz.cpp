// Reading a list file: the file's bytes come back exactly, the list text
// made from them has only CR LF breaks (in UTF-8) and is stable when read
// again, and the line operations agree with each other on it.
#include <fuzzer/FuzzedDataProvider.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "app/ListFile.h"
#include "app/ListText.h"

namespace {

// An in-memory file with a path, so the reader runs its real open and read.
std::string ReadThroughFile(const std::string& bytes) {
    static const int fd = ::memfd_create("list", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size()))
        std::abort();
    return pelumir::ReadListFile("/proc/self/fd/" + std::to_string(fd));
}

void CheckLines(const std::string& text) {
    const std::vector<std::string> lines = pelumir::Lines(text);
    FUZZ_CHECK(int(lines.size()) == pelumir::LineCount(text));
    std::string joined;
    bool cut = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(pelumir::GetLine(text, int(i)) == lines[i]);
        FUZZ_CHECK(lines[i].size() <= pelumir::kMaxLineBytes);
        cut = cut || lines[i].size() == pelumir::kMaxLineBytes;
        joined += lines[i] + "\r\n";
    }
    FUZZ_CHECK(pelumir::GetLine(text, int(lines.size())).empty());
    // Uncut lines joined again give the text, give or take its final break.
    if (!cut) FUZZ_CHECK(joined == text || joined == text + "\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool shiftJis = in.ConsumeBool();
    const std::string appended = in.ConsumeRandomLengthString(64);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const auto cp = shiftJis ? pelumir::CodePage::ShiftJis : pelumir::CodePage::Utf8;

    FUZZ_CHECK(ReadThroughFile(bytes) == bytes);
    const std::string text = pelumir::NormaliseLineBreaks(bytes, cp);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    FUZZ_CHECK(pelumir::NormaliseLineBreaks(text, cp) == text);
    if (!shiftJis) {
        // In UTF-8 no byte of a character looks like CR or LF: every break
        // in the text is a CR LF pair.
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r') FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
            if (text[i] == '\n') FUZZ_CHECK(i > 0 && text[i - 1] == '\r');
        }
    }
    CheckLines(text);

    // A line added to the list becomes its last line, whatever the text.
    if (!appended.empty() && appended.find_first_of("\r\n") == std::string::npos &&
        appended.size() < pelumir::kMaxLineBytes) {
        std::string edited = text;
        pelumir::AppendLine(edited, appended);
        const int count = pelumir::LineCount(edited);
        FUZZ_CHECK(count == pelumir::LineCount(text) + 1);
        FUZZ_CHECK(pelumir::GetLine(edited, count - 1) == appended);
        FUZZ_CHECK(edited == text + pelumir::AppendedText(pelumir::LastLineOpen(text), {appended}));
    }
    return 0;
}

// The settings store on an arbitrary file: reading never fails, and writing
// one key changes that key's value and nothing else in the file's meaning.
#include <fuzzer/FuzzedDataProvider.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/Exception.h"
#include "settings/IniFileX.h"

namespace {

// The names the program uses, in other letter cases too, and a few others.
const char* const kSections[] = {"Grobal", "AutoSlide", "ImageInfo", "GROBAL", "imageinfo", "a", "A b"};
const char* const kKeys[] = {"ConfigVersion", "DefaultFileName", "LoopMode", "Time", "Enabled",
                             "TIME", "enabled", "k", "K x"};

std::string ScratchFile() {
    static const std::string path = [] {
        // Each write syncs the file: on a memory file system that is free.
        const char* base = std::getenv("PELUMIR_FUZZ_TMP");
        std::string dir = std::string(base && *base ? base : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                          "/pelumir-ini-fuzz-XXXXXX";
        if (::mkdtemp(dir.data()) == nullptr) std::abort();
        static const std::string kept = dir;
        std::atexit([] {
            ::unlink((kept + "/plm.ini").c_str());
            ::rmdir(kept.c_str());
        });
        return dir + "/plm.ini";
    }();
    return path;
}

std::string Slurp(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

template <size_t N>
std::string Pick(FuzzedDataProvider& in, const char* const (&names)[N]) {
    return names[in.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = Pick(in, kSections);
    const std::string key = Pick(in, kKeys);
    const bool quoted = in.ConsumeBool();
    const std::string value = in.ConsumeRandomLengthString(3000);
    const std::string file = in.ConsumeRemainingBytesAsString();

    const std::string path = ScratchFile();
    Spit(path, file);
    pelumir::TIniFileEx ini(path);

    // What every name reads before the write.
    std::vector<std::string> before;
    for (const char* s : kSections)
        for (const char* k : kKeys)
            before.push_back(ini.ReadString(s, k, "\x01missing"));
    (void)ini.ReadInteger(section, key, 7);
    (void)ini.ReadBool(section, key, true);

    const bool breaks = value.find_first_of("\r\n") != std::string::npos;
    try {
        if (quoted) ini.WriteQuotedString(section, key, value);
        else ini.WriteString(section, key, "v" + value + "v");  // no blanks or quotes at its ends
        FUZZ_CHECK(!breaks);
    } catch (const pelumir::Exception&) {
        // A value with a line break would plant other keys: refused, and
        // the file stays as it was.
        FUZZ_CHECK(breaks);
        FUZZ_CHECK(Slurp(path) == file);
        return 0;
    }

    const std::string expected = quoted ? value : "v" + value + "v";
    FUZZ_CHECK(ini.ReadString(section, key, "\x01missing") == expected.substr(0, pelumir::TIniFileEx::MaxValueLength));
    size_t i = 0;
    for (const char* s : kSections)
        for (const char* k : kKeys) {
            const bool written = SameName(s, section) && SameName(k, key);
            if (!written) FUZZ_CHECK(ini.ReadString(s, k, "\x01missing") == before[i]);
            ++i;
        }
    return 0;
}

#include "settings/IniFileX.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/Exception.h"
#include "settings/IntegerText.h"

namespace pelumir {

namespace {

struct Line {
    std::string text;  // without its line break
    std::string eol;   // "\r\n", "\n", or "" for a last line without a break
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

std::vector<Line> SplitLines(const std::string& bytes) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t nl = bytes.find('\n', start);
        if (nl == std::string::npos) {
            // A CR that ends the file is the start of a line break, as it
            // would be once a line is added after it: taking it as part of
            // the value would let a write elsewhere change this value.
            const bool cr = bytes.back() == '\r';
            lines.push_back({bytes.substr(start, bytes.size() - start - (cr ? 1 : 0)), cr ? "\r" : ""});
            break;
        }
        const bool cr = nl > start && bytes[nl - 1] == '\r';
        const size_t end = cr ? nl - 1 : nl;
        lines.push_back({bytes.substr(start, end - start), cr ? "\r\n" : "\n"});
        start = nl + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string bytes;
    for (const Line& line : lines) bytes += line.text + line.eol;
    return bytes;
}

// What a line means to the store. A UTF-8 byte order mark some editors put
// in front of the first line must not hide the first section header.
std::string_view Significant(const std::vector<Line>& lines, size_t i) {
    std::string_view text = lines[i].text;
    if (i == 0 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return Trim(text);
}

std::optional<std::string_view> SectionName(std::string_view line) {
    if (!line.starts_with('[')) return std::nullopt;
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> SplitEntry(std::string_view line) {
    if (line.starts_with(';') || line.starts_with('#')) return std::nullopt;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return Entry{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

struct Location {
    std::optional<size_t> entry;       // the line holding the key
    std::optional<size_t> sectionEnd;  // last non-blank line of the first such section
};

Location Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Location loc;
    bool inSection = false;
    int sectionsSeen = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text = Significant(lines, i);
        if (const auto name = SectionName(text)) {
            inSection = EqualsNoCase(*name, section);
            if (inSection && ++sectionsSeen == 1) loc.sectionEnd = i;
            continue;
        }
        if (!inSection) continue;
        if (const auto entry = SplitEntry(text); entry && EqualsNoCase(entry->key, key)) {
            loc.entry = i;
            return loc;
        }
        // New keys go after the section's last line, before the blank lines
        // that set it apart from the next one.
        if (sectionsSeen == 1 && !text.empty()) loc.sectionEnd = i;
    }
    return loc;
}

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Failed;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return ReadStatus::Failed;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

[[noreturn]] void ThrowWriteError(const std::string& fileName) {
    throw Exception(fileName + " に書き込めません");
}

// A link to the settings file stays a link: its target is what gets replaced.
std::string ResolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes the new contents beside the file and renames them over it, so a
// full disk or a failing device leaves the old file whole rather than cut.
bool ReplaceFile(const std::string& path, const std::string& bytes) {
    const std::string target = ResolveLink(path);
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    if (existed) {
        // Keep the file's permissions and, where we may, its owner.
        (void)::fchmod(fd, old.st_mode & 07777);
        (void)::fchown(fd, old.st_uid, old.st_gid);
    }
    const bool written = WriteAll(fd, bytes) && ::fdatasync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// Gives a line that the file ends without a whole break one, before a
// line is added after it.
void EndLine(Line& line, const std::string& eol) {
    if (line.eol.empty()) line.eol = eol;
    else if (line.eol == "\r") line.eol = "\r\n";
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

TIniFileEx::TIniFileEx(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TIniFileEx::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    std::string bytes;
    if (ReadWholeFile(fileName_, bytes) != ReadStatus::Ok) return def;
    const std::vector<Line> lines = SplitLines(bytes);
    const Location loc = Locate(lines, section, key);
    if (!loc.entry) return def;

    std::string_view value = SplitEntry(Significant(lines, *loc.entry))->value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, MaxValueLength));
}

int32_t TIniFileEx::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    return StrToIntDef(ReadString(section, key, ""), def);
}

bool TIniFileEx::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFileEx::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    // A line break would end the line early and could plant other keys.
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        section.find(']') != std::string::npos || key.find('=') != std::string::npos)
        ThrowWriteError(fileName_);

    std::string bytes;
    // A file that exists but cannot be read must not be replaced by one
    // holding nothing but this key.
    if (ReadWholeFile(fileName_, bytes) == ReadStatus::Failed) ThrowWriteError(fileName_);
    std::vector<Line> lines = SplitLines(bytes);
    const std::string eol = !lines.empty() && lines.front().eol == "\n" ? "\n" : "\r\n";

    const Location loc = Locate(lines, section, key);
    if (loc.entry) {
        Line& line = lines[*loc.entry];
        line.text = std::string(SplitEntry(Significant(lines, *loc.entry))->key) + "=" + value;
    } else if (loc.sectionEnd) {
        EndLine(lines[*loc.sectionEnd], eol);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*loc.sectionEnd) + 1, Line{key + "=" + value, eol});
    } else {
        if (!lines.empty()) EndLine(lines.back(), eol);
        lines.push_back({"[" + section + "]", eol});
        lines.push_back({key + "=" + value, eol});
    }
    if (!ReplaceFile(fileName_, JoinLines(lines))) ThrowWriteError(fileName_);
}

void TIniFileEx::WriteQuotedString(const std::string& section, const std::string& key, const std::string& value) {
    WriteString(section, key, "\"" + value + "\"");
}

void TIniFileEx::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFileEx::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

}  // namespace pelumir

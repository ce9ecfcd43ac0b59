#include "settings/IniFileX.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/Exception.h"
#include "platform/FileReplace.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/TextLines.h"
#include "settings/IntegerText.h"

namespace pelumir {

namespace {

std::string JoinLines(const std::vector<TextLine>& lines) {
    std::string bytes;
    for (const TextLine& line : lines) bytes += line.text + line.eol;
    return bytes;
}

// What a line means to the store. A UTF-8 byte order mark some editors put
// in front of the first line must not hide the first section header.
std::string_view Significant(const std::vector<TextLine>& lines, size_t i) {
    std::string_view text = lines[i].text;
    if (i == 0 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return TrimBlanks(text);
}

std::optional<std::string_view> SectionName(std::string_view line) {
    if (!line.starts_with('[')) return std::nullopt;
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimBlanks(line.substr(1, close - 1));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> SplitEntry(std::string_view line) {
    if (line.starts_with(';') || line.starts_with('#')) return std::nullopt;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return Entry{TrimBlanks(line.substr(0, eq)), TrimBlanks(line.substr(eq + 1))};
}

struct Location {
    std::optional<size_t> entry;       // the line holding the key
    std::optional<size_t> sectionEnd;  // last non-blank line of the first such section
};

Location Locate(const std::vector<TextLine>& lines, std::string_view section, std::string_view key) {
    Location loc;
    bool inSection = false;
    int sectionsSeen = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text = Significant(lines, i);
        if (const auto name = SectionName(text)) {
            inSection = EqualsIgnoringAsciiCase(*name, section);
            if (inSection && ++sectionsSeen == 1) loc.sectionEnd = i;
            continue;
        }
        if (!inSection) continue;
        if (const auto entry = SplitEntry(text); entry && EqualsIgnoringAsciiCase(entry->key, key)) {
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

// Far more than any settings file; a bigger one is not ours to parse.
constexpr uint64_t kMaxIniFileBytes = uint64_t(64) << 20;

ReadStatus ReadIniFile(const std::string& path, std::string& bytes) {
    switch (ReadWholeFile(path, bytes, kMaxIniFileBytes)) {
    case ReadResult::Ok: return ReadStatus::Ok;
    case ReadResult::Missing: return ReadStatus::Missing;
    default: return ReadStatus::Failed;
    }
}

[[noreturn]] void ThrowWriteError(const std::string& fileName) {
    throw Exception(fileName + " に書き込めません");
}

// Gives a line that the file ends without a whole break one, before a
// line is added after it.
void EndLine(TextLine& line, const std::string& eol) {
    if (line.eol.empty()) line.eol = eol;
    else if (line.eol == "\r") line.eol = "\r\n";
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Removes every line of the key in the section, then the headers of the
// sections of that name that hold nothing but blank lines, with those lines.
void RemoveKey(std::vector<TextLine>& lines, const std::string& section, const std::string& key) {
    for (std::optional<size_t> at; (at = Locate(lines, section, key).entry);)
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*at));
    for (size_t i = 0; i < lines.size();) {
        const auto name = SectionName(Significant(lines, i));
        size_t end = i + 1;
        while (end < lines.size() && Significant(lines, end).empty()) ++end;
        if (name && EqualsIgnoringAsciiCase(*name, section) &&
            (end == lines.size() || SectionName(Significant(lines, end))))
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.begin() + static_cast<std::ptrdiff_t>(end));
        else
            ++i;
    }
}

// Replaces the key's value where it stands, or appends the key to its
// section, or appends the section.
void SetValue(std::vector<TextLine>& lines, const IniValue& v) {
    if (!v.value) return RemoveKey(lines, v.section, v.key);
    const std::string eol = !lines.empty() && lines.front().eol == "\n" ? "\n" : "\r\n";

    const Location loc = Locate(lines, v.section, v.key);
    if (loc.entry) {
        TextLine& line = lines[*loc.entry];
        line.text = std::string(SplitEntry(Significant(lines, *loc.entry))->key) + "=" + *v.value;
    } else if (loc.sectionEnd) {
        EndLine(lines[*loc.sectionEnd], eol);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*loc.sectionEnd) + 1,
                     TextLine{v.key + "=" + *v.value, eol});
    } else {
        if (!lines.empty()) EndLine(lines.back(), eol);
        lines.push_back({"[" + v.section + "]", eol});
        lines.push_back({v.key + "=" + *v.value, eol});
    }
}

}  // namespace

TIniSnapshot::TIniSnapshot(const std::string& fileName) {
    std::string bytes;
    readable_ = ReadIniFile(fileName, bytes) == ReadStatus::Ok;
    if (readable_) lines_ = SplitLines(bytes);
}

std::string TIniSnapshot::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    if (!readable_) return def;
    const Location loc = Locate(lines_, section, key);
    if (!loc.entry) return def;

    std::string_view value = SplitEntry(Significant(lines_, *loc.entry))->value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, TIniFileEx::MaxValueLength));
}

int32_t TIniSnapshot::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    return StrToIntDef(ReadString(section, key, ""), def);
}

bool TIniSnapshot::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

TIniFileEx::TIniFileEx(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TIniFileEx::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    return Snapshot().ReadString(section, key, def);
}

int32_t TIniFileEx::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    return Snapshot().ReadInteger(section, key, def);
}

bool TIniFileEx::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return Snapshot().ReadBool(section, key, def);
}

void TIniFileEx::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    WriteValues({{section, key, value}});
}

void TIniFileEx::WriteValues(const std::vector<IniValue>& values) {
    // A line break would end the line early and could plant other keys.
    for (const IniValue& v : values)
        if (HasLineBreak(v.section) || HasLineBreak(v.key) || HasLineBreak(v.value.value_or("")) ||
            v.section.find(']') != std::string::npos || v.key.find('=') != std::string::npos)
            ThrowWriteError(fileName_);

    // Another copy of the program writing the file meanwhile would have its
    // keys lost or mixed with ours: each reads and replaces it in its turn.
    const FileLock lock(fileName_);
    std::string bytes;
    // A file that exists but cannot be read must not be replaced by one
    // holding nothing but these keys.
    if (ReadIniFile(fileName_, bytes) == ReadStatus::Failed) ThrowWriteError(fileName_);
    std::vector<TextLine> lines = SplitLines(bytes);
    for (const IniValue& v : values) SetValue(lines, v);
    if (ReplaceFileContents(fileName_, JoinLines(lines)) != ReplaceResult::Ok) ThrowWriteError(fileName_);
}

void TIniFileEx::WriteQuotedString(const std::string& section, const std::string& key, const std::string& value) {
    WriteString(section, key, QuotedText(value));
}

void TIniFileEx::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, IntegerText(value));
}

void TIniFileEx::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, BoolText(value));
}

std::string TIniFileEx::QuotedText(const std::string& value) { return "\"" + value + "\""; }
std::string TIniFileEx::IntegerText(int32_t value) { return std::to_string(value); }
std::string TIniFileEx::BoolText(bool value) { return value ? "1" : "0"; }

}  // namespace pelumir

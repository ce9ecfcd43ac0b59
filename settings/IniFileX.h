#pragma once
// A small INI store with the value rules of the Windows profile functions:
// sections and keys match in any letter case, values lose surrounding blanks
// and one pair of matching quotes, and are read up to 2,047 bytes. Every
// write goes to the file at once and touches nothing but its own line.
// Bytes are kept as they are: no encoding is assumed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/TextLines.h"

namespace pelumir {

struct IniValue {
    std::string section;
    std::string key;
    std::optional<std::string> value;  // none: the key is removed
};

// The file as it stood at one moment, read once: every value taken from it
// comes from the same save, even while another copy of the program writes.
class TIniSnapshot {
public:
    explicit TIniSnapshot(const std::string& fileName);

    // The reads of TIniFileEx, by the same rules.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

private:
    bool readable_ = false;
    std::vector<TextLine> lines_;
};

class TIniFileEx {
public:
    // The longest value a read returns, in bytes.
    static constexpr size_t MaxValueLength = 2047;

    explicit TIniFileEx(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    // A missing file, section or key (or a file that cannot be read) gives def.
    // Each read reads the file afresh; take several keys from a Snapshot.
    TIniSnapshot Snapshot() const { return TIniSnapshot(fileName_); }
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // An integer; non-zero is true.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Replaces the key's value where it stands, or appends the key to its
    // section, or appends the section; creates the file when missing.
    // Throws Exception("<file> に書き込めません") when the file cannot be
    // written; the file then keeps its previous contents.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    // Writes every value in one replace of the file, in order, each as
    // WriteString would: the file holds all of them or, on failure, none.
    // A value of none removes every line of the key in its section, and the
    // section's header when nothing but blank lines is left in it, so that
    // writing a key and then removing it gives back the file as it was.
    // Two writers (two copies of the program) take turns.
    void WriteValues(const std::vector<IniValue>& values);
    // The value wrapped in double quotes, so blanks at its ends survive a read.
    void WriteQuotedString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    // Written as "1" or "0".
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // The texts the typed writes above store, for WriteValues.
    static std::string QuotedText(const std::string& value);
    static std::string IntegerText(int32_t value);
    static std::string BoolText(bool value);

private:
    std::string fileName_;
};

}  // namespace pelumir

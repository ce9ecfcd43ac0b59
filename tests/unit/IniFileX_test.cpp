#include "settings/IniFileX.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "platform/Exception.h"
#include "settings/IntegerText.h"
#include "tests/unit/TestFiles.h"

namespace pelumir {
namespace {

using testutil::Slurp;
using testutil::Spit;

struct IniDir {
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/plm.ini";
};

TEST(IniFileX, ValueRulesOnAHandWrittenFile) {
    IniDir d;
    const std::string big(3000, 'x');
    Spit(d.path, "; Plain=comment\r\n[grobal]\r\n  Plain =  two words  \r\nDQ = \"  kept  \"\r\nSQ='single'\r\n"
                 "Mixed=\"a'\r\nOne=\"\r\nEmpty=\r\nEq=a=b\r\nBig=\"" + big + "\"\r\n\r\n[Other]\r\nPlain=other\r\n");
    const TIniFileEx ini(d.path);
    const std::pair<const char*, std::string> expected[] = {
        {"plain", "two words"}, {"DQ", "  kept  "}, {"sq", "single"}, {"Mixed", "\"a'"}, {"One", "\""},
        {"Empty", ""},          {"Eq", "a=b"},      {"Big", big.substr(0, 2047)},        {"Missing", "-"}};
    for (const auto& [key, value] : expected) EXPECT_EQ(ini.ReadString("GROBAL", key, "-"), value) << key;
    EXPECT_EQ(ini.ReadString("other", "PLAIN", "-"), "other");
    EXPECT_EQ(ini.ReadString("Nowhere", "Plain", "-"), "-");
    EXPECT_EQ(TIniFileEx(d.path + ".none").ReadString("Grobal", "Plain", "-"), "-");
}

TEST(IniFileX, ASnapshotKeepsTheSaveItReadWhenAnotherReplacesIt) {
    IniDir d;
    Spit(d.path, "[S]\r\nA=1\r\nB=\"one\"\r\nOn=1\r\n");
    const TIniFileEx ini(d.path);
    const TIniSnapshot before = ini.Snapshot();
    TIniFileEx(d.path).WriteValues({{"S", "A", "2"}, {"S", "B", "two"}, {"S", "On", "0"}});
    // Every key from the first save, none from the second, by the same rules.
    EXPECT_EQ(before.ReadInteger("s", "a", -1), 1);
    EXPECT_EQ(before.ReadString("S", "B", "-"), "one");
    EXPECT_TRUE(before.ReadBool("S", "ON", false));
    EXPECT_EQ(before.ReadString("S", "Missing", "-"), "-");
    EXPECT_EQ(ini.ReadInteger("S", "A", -1), 2);  // a fresh read sees the new save
    std::remove(d.path.c_str());
    EXPECT_EQ(before.ReadInteger("S", "A", -1), 1);
    EXPECT_EQ(ini.Snapshot().ReadInteger("S", "A", -1), -1);  // a missing file gives defaults
}

TEST(IniFileX, IntegerRule) {
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"0x0A", 10}, {"0X0a", 10}, {"$FFFFFFFF", -1}, {"$7fffffff", INT32_MAX}, {"x10", 16}, {"X10", 16},
        {"$000000001", 1}, {"  42", 42}, {"+7", 7}, {"-7", -7}, {"007", 7}, {"-2147483648", INT32_MIN},
        {"2147483647", INT32_MAX}, {"2147483648", {}}, {"-2147483649", {}}, {"$100000000", {}},
        {"-$10", {}}, {"-0x10", {}}, {"$", {}}, {"0x", {}}, {"42 ", {}}, {"12abc", {}}, {"- 5", {}}, {"abc", {}},
        {"", {}}};
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseInteger(text), value) << '"' << text << '"';
    EXPECT_EQ(StrToIntDef("abc", 3), 3);
}

TEST(IniFileX, WritesTouchOnlyTheirOwnLine) {
    IniDir d;
    TIniFileEx ini(d.path);
    ini.WriteString("S", "K", "v");  // a new file
    EXPECT_EQ(Slurp(d.path), "[S]\r\nK=v\r\n");

    Spit(d.path, "junk line\n[grobal]\n; note\nloopmode = 5\nUnknown=x\n\n[Other]\nK=1");
    ini.WriteBool("Grobal", "LoopMode", true);
    ini.WriteInteger("Grobal", "New", -3);
    ini.WriteQuotedString("Other", "Name", "  a b  ");
    ini.WriteString("Added", "K", "");
    EXPECT_EQ(Slurp(d.path), "junk line\n[grobal]\n; note\nloopmode=1\nUnknown=x\nNew=-3\n\n[Other]\nK=1\n"
                             "Name=\"  a b  \"\n[Added]\nK=\n");
    EXPECT_EQ(ini.ReadString("other", "name", ""), "  a b  ");
}

// A key written and removed again leaves the file as it was; a removal takes
// every line of the key, and the section only when nothing but blanks is left.
TEST(IniFileX, RemovingAKeyGivesBackTheFileWithoutIt) {
    IniDir d;
    TIniFileEx ini(d.path);
    const std::string spec = "[Grobal]\r\nLoopMode=1\r\n[ImageInfo]\r\nFontSize=9\r\n";
    for (const std::string& before : {spec, std::string("[A]\nk=1\n\n[B]\nj=2\n")}) {
        Spit(d.path, before);
        ini.WriteValues({{"Pelumir", "One", "0"}, {"Pelumir", "Two", "1"}});
        ini.WriteValues({{"Pelumir", "One", std::nullopt}});
        EXPECT_NE(Slurp(d.path), before);
        ini.WriteValues({{"PELUMIR", "two", std::nullopt}});
        EXPECT_EQ(Slurp(d.path), before);
    }
    const struct {
        std::string before, after;
    } cases[] = {
        {"[P]\nK=1\n; mine\n[Q]\nK=1\n[p]\n k = 2\n\n[R]\n", "[P]\n; mine\n[Q]\nK=1\n[R]\n"},
        {"[Q]\nA=1\n\n[P]\nK=1\n\n\n", "[Q]\nA=1\n\n"},
        {"[Q]\nA=1\n", "[Q]\nA=1\n"},
    };
    for (const auto& c : cases) {
        Spit(d.path, c.before);
        ini.WriteValues({{"P", "K", std::nullopt}});
        EXPECT_EQ(Slurp(d.path), c.after) << c.before;
    }
}

TEST(IniFileX, HashAndSemicolonLinesAreComments) {
    IniDir d;
    Spit(d.path, "[Grobal]\r\n#Time=5\r\n  # Size=1\r\n;Type=2\r\n");
    TIniFileEx ini(d.path);
    for (const char* key : {"#Time", "# Size", ";Type"}) EXPECT_EQ(ini.ReadString("Grobal", key, "-"), "-") << key;
    // A key written under the same name as a commented one is new: the comment stays as it was.
    ini.WriteString("Grobal", "#Time", "7");
    EXPECT_EQ(Slurp(d.path), "[Grobal]\r\n#Time=5\r\n  # Size=1\r\n;Type=2\r\n#Time=7\r\n");
}

TEST(IniFileX, ACarriageReturnEndingTheFileBelongsToTheLineBreak) {
    // Writing another key puts a line after it; the value before must read
    // the same before and after that.
    IniDir d;
    TIniFileEx ini(d.path);
    for (const char* eol : {"\r\n", "\n"}) {
        SCOPED_TRACE(eol[0] == '\r' ? "CR LF" : "LF");
        Spit(d.path, std::string("[a]") + eol + "k=v\r");
        EXPECT_EQ(ini.ReadString("a", "k", "-"), "v");
        ini.WriteString("a", "n", "1");
        ini.WriteString("s", "k", "2");
        EXPECT_EQ(ini.ReadString("a", "k", "-"), "v");
        EXPECT_EQ(ini.ReadString("a", "n", "-"), "1");
        EXPECT_EQ(ini.ReadString("s", "k", "-"), "2");
        EXPECT_EQ(Slurp(d.path), std::string("[a]") + eol + "k=v\r\nn=1" + eol + "[s]" + eol + "k=2" + eol);
    }
}

TEST(IniFileX, FailedWritesLeaveTheFileWhole) {
    IniDir d;
    const std::string before = "[S]\r\nK=" + std::string(200, 'o') + "\r\n";
    Spit(d.path, before);
    TIniFileEx ini(d.path);
    const auto failure = [&](const std::string& value) -> std::string {
        try {
            ini.WriteString("S", "K", value);
        } catch (const Exception& e) {
            return e.what();
        }
        return "written";
    };
    // A line break would plant a key of its own.
    EXPECT_EQ(failure("x\r\nEvil=1"), d.path + " に書き込めません");
    {
        testutil::FileSizeLimit full(64);
        ASSERT_TRUE(full.active);
        EXPECT_EQ(failure(std::string(300, 'n')), d.path + " に書き込めません");
    }
    EXPECT_EQ(Slurp(d.path), before);
    EXPECT_EQ(QDir(d.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"plm.ini"});

    // A file that cannot be read is not replaced by one holding a single key.
    const std::string folder = d.dir.path().toStdString() + "/folder.ini";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_THROW(TIniFileEx(folder).WriteString("S", "K", "v"), Exception);
    struct stat st {};
    EXPECT_TRUE(stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

}  // namespace
}  // namespace pelumir

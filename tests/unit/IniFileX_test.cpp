#include "settings/IniFileX.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Exception.h"
#include "settings/IntegerText.h"
#include "tests/unit/TestFiles.h"

namespace pelumir {
namespace {

using test::Slurp;
using test::Spit;

struct IniDir {
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/plm.ini";
};

TEST(IniFileX, ValueRulesOnAHandWrittenFile) {
    IniDir d;
    Spit(d.path,
         "; Plain=comment\r\n[grobal]\r\n  Plain =  two words  \r\nDQ = \"  kept  \"\r\nSQ='single'\r\n"
         "Mixed=\"a'\r\nOne=\"\r\nEmpty=\r\nEq=a=b\r\n\r\n[Other]\r\nPlain=other\r\n");
    const TIniFileEx ini(d.path);
    EXPECT_EQ(ini.ReadString("GROBAL", "plain", "-"), "two words");
    EXPECT_EQ(ini.ReadString("Grobal", "DQ", "-"), "  kept  ");
    EXPECT_EQ(ini.ReadString("Grobal", "SQ", "-"), "single");
    EXPECT_EQ(ini.ReadString("Grobal", "Mixed", "-"), "\"a'");
    EXPECT_EQ(ini.ReadString("Grobal", "One", "-"), "\"");
    EXPECT_EQ(ini.ReadString("Grobal", "Empty", "-"), "");
    EXPECT_EQ(ini.ReadString("Grobal", "Eq", "-"), "a=b");
    EXPECT_EQ(ini.ReadString("other", "PLAIN", "-"), "other");
    EXPECT_EQ(ini.ReadString("Grobal", "Missing", "-"), "-");
    EXPECT_EQ(ini.ReadString("Nowhere", "Plain", "-"), "-");
    EXPECT_EQ(TIniFileEx(d.path + ".none").ReadString("Grobal", "Plain", "-"), "-");
}

TEST(IniFileX, LongValuesAreCutTo2047Bytes) {
    IniDir d;
    const std::string big(3000, 'x');
    Spit(d.path, "[S]\nPlain=" + big + "\nQuoted=\"" + big + "\"\n");
    const TIniFileEx ini(d.path);
    EXPECT_EQ(ini.ReadString("S", "Plain", ""), big.substr(0, 2047));
    EXPECT_EQ(ini.ReadString("S", "Quoted", ""), big.substr(0, 2047));
}

TEST(IniFileX, IntegerRule) {
    const struct {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"0x0A", 10},   {"0X0a", 10},       {"$FFFFFFFF", -1}, {"$7fffffff", INT32_MAX}, {"x10", 16},
        {"X10", 16},    {"$000000001", 1},  {"  42", 42},      {"+7", 7},                {"-7", -7},
        {"007", 7},     {"0", 0},           {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
        {"2147483648", {}}, {"-2147483649", {}}, {"$100000000", {}}, {"99999999999999999999", {}},
        {"-$10", {}},   {"-0x10", {}},      {"$", {}},         {"0x", {}},               {"42 ", {}},
        {"12abc", {}},  {"1.5", {}},        {"- 5", {}},       {"abc", {}},              {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseInteger(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(StrToIntDef("abc", 3), 3);

    IniDir d;
    Spit(d.path, "[AutoSlide]\nTime=0x0A\nBad=abc\nQuoted='12'\nLoop=5\nOff=0\n");
    const TIniFileEx ini(d.path);
    EXPECT_EQ(ini.ReadInteger("AutoSlide", "Time", 3), 10);
    EXPECT_EQ(ini.ReadInteger("AutoSlide", "Bad", 3), 3);
    EXPECT_EQ(ini.ReadInteger("AutoSlide", "Quoted", 3), 12);
    EXPECT_TRUE(ini.ReadBool("AutoSlide", "Loop", false));
    EXPECT_FALSE(ini.ReadBool("AutoSlide", "Off", true));
    EXPECT_TRUE(ini.ReadBool("AutoSlide", "Bad", true));
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
    EXPECT_EQ(Slurp(d.path),
              "junk line\n[grobal]\n; note\nloopmode=1\nUnknown=x\nNew=-3\n\n[Other]\nK=1\nName=\"  a b  \"\n"
              "[Added]\nK=\n");
    EXPECT_EQ(ini.ReadString("other", "name", ""), "  a b  ");
}

TEST(IniFileX, RefusedWritesLeaveTheFileAlone) {
    IniDir d;
    const std::string before = "[S]\r\nK=old\r\n";
    Spit(d.path, before);
    TIniFileEx ini(d.path);
    const std::string message = d.path + " に書き込めません";

    // A line break in a value would plant a key of its own.
    try {
        ini.WriteString("S", "K", "x\r\nEvil=1");
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.what(), message);
    }
    EXPECT_EQ(Slurp(d.path), before);

    // A file that cannot be read must not be replaced by one holding a single key.
    const std::string folder = d.dir.path().toStdString() + "/folder.ini";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_THROW(TIniFileEx(folder).WriteString("S", "K", "v"), Exception);
    struct stat st {};
    EXPECT_TRUE(stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

// A full disk, made by a file-size limit that binds root as well: the write
// fails part way and the old file must still be whole.
TEST(IniFileX, FailedWriteLeavesNoTruncatedFile) {
    IniDir d;
    const std::string before = "[S]\r\nK=" + std::string(200, 'o') + "\r\n";
    Spit(d.path, before);

    std::string message;
    {
        test::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        try {
            TIniFileEx(d.path).WriteString("S", "K", std::string(300, 'n'));
        } catch (const Exception& e) {
            message = e.what();
        }
    }
    EXPECT_EQ(message, d.path + " に書き込めません");
    EXPECT_EQ(Slurp(d.path), before);
    EXPECT_EQ(QDir(d.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"plm.ini"});
}

}  // namespace
}  // namespace pelumir

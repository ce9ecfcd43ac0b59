#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "help/HelpFile.h"

using namespace pelumir;

namespace {

const char* const kSample =
    "\xEF\xBB\xBF; written for the tests\r\n"
    "@title Sample Help\r\n"
    "stray text before any topic\r\n"
    "@topic contents 目次\r\n"
    "@keywords 目次《もくじ》\r\n"
    "See [[rotate]] and [[keys|the keys]] and [[nowhere]].\r\n"
    "@topic rotate 画像の回転\r\n"
    "@keywords 回転《かいてん》、右クリック《みぎくりっく》 , Rotate\r\n"
    "Line one\n"
    "line two & <more>\n"
    "\n"
    "## Steps\n"
    "- first\n"
    "- second\n"
    "    cmake --install build\n"
    "    ls -l\n"
    "after\n"
    "\n"
    "\n"
    "@topic keys キー操作\n"
    "@keywords Esc キー《えすけーぷ》, 右クリック《みぎくりっく》\n"
    "@keywords ＥＳＣ\n";

std::vector<std::string> Labels(const std::vector<HelpIndexEntry>& index) {
    std::vector<std::string> out;
    for (const HelpIndexEntry& e : index) out.push_back(e.label);
    return out;
}

}  // namespace

TEST(HelpFile, ParsesTopicsKeywordsAndReadings) {
    const HelpBook book = ParseHelpFile(kSample);
    EXPECT_EQ(book.title, "Sample Help");
    ASSERT_EQ(book.topics.size(), 3u);
    EXPECT_EQ(book.topics[0].id, "contents");
    EXPECT_EQ(book.topics[0].title, "目次");
    EXPECT_EQ(book.Find("keys"), 2);
    EXPECT_EQ(book.Find("missing"), -1);

    const auto& k = book.topics[1].keywords;
    ASSERT_EQ(k.size(), 3u);  // split at "、" and ",", blanks trimmed
    EXPECT_EQ(k[0].text, "回転");
    EXPECT_EQ(k[0].reading, "かいてん");
    EXPECT_EQ(k[1].text, "右クリック");
    EXPECT_EQ(k[2].text, "Rotate");
    EXPECT_EQ(k[2].reading, "");
    EXPECT_EQ(book.topics[2].keywords.size(), 3u);  // @keywords may repeat

    // CR LF and LF alike; trailing blank lines dropped; comments and the
    // text before the first topic are not part of any body.
    const auto& body = book.topics[1].body;
    ASSERT_EQ(body.size(), 9u);
    EXPECT_EQ(body.front(), "Line one");
    EXPECT_EQ(body.back(), "after");
    EXPECT_EQ(book.topics[0].body.size(), 1u);
}

TEST(HelpFile, RendersBlocksEscapesAndLinks) {
    const HelpBook book = ParseHelpFile(kSample);
    const std::string contents = RenderTopicHtml(book, 0);
    EXPECT_NE(contents.find("<h2>目次</h2>"), std::string::npos);
    EXPECT_NE(contents.find("<a href=\"topic:rotate\">画像の回転</a>"), std::string::npos);
    EXPECT_NE(contents.find("<a href=\"topic:keys\">the keys</a>"), std::string::npos);
    // An unknown target stays as text, not as a dead link.
    EXPECT_EQ(contents.find("topic:nowhere"), std::string::npos);
    EXPECT_NE(contents.find("and nowhere."), std::string::npos);

    const std::string rotate = RenderTopicHtml(book, 1);
    EXPECT_NE(rotate.find("<p>Line one<br>\nline two &amp; &lt;more&gt;</p>"), std::string::npos);
    EXPECT_NE(rotate.find("<h3>Steps</h3>"), std::string::npos);
    EXPECT_NE(rotate.find("<ul>\n<li>first</li>\n<li>second</li>\n</ul>"), std::string::npos);
    EXPECT_NE(rotate.find("<pre>cmake --install build\nls -l</pre>"), std::string::npos);
    EXPECT_NE(rotate.find("<p>after</p>"), std::string::npos);

    EXPECT_EQ(RenderTopicHtml(book, 3), "");
    EXPECT_EQ(RenderTopicHtml(book, -1), "");
}

TEST(HelpFile, ValuesOfTheRunningProgramFillTheirPlacesEscaped) {
    const HelpBook book = ParseHelpFile(
        "@topic files Files\n"
        "In use: {{basedir}}, see [[files]] {{basedir}}\n"
        "- {{basedir}}/plm.ini and {{other}} and {{basedir\n"
        "## {{basedir}}\n"
        "    ls {{basedir}}\n");
    const HelpValues values = {{"basedir", "/pictures a&b/<c>"}};
    const std::string html = RenderTopicHtml(book, 0, values);
    const std::string folder = "/pictures a&amp;b/&lt;c&gt;";
    EXPECT_NE(html.find("<p>In use: " + folder + ", see <a href=\"topic:files\">Files</a> " + folder + "</p>"),
              std::string::npos) << html;
    // A name the program did not give, and an unclosed one, stay as written.
    EXPECT_NE(html.find("<li>" + folder + "/plm.ini and {{other}} and {{basedir</li>"), std::string::npos) << html;
    EXPECT_NE(html.find("<h3>" + folder + "</h3>"), std::string::npos) << html;
    EXPECT_NE(html.find("<pre>ls " + folder + "</pre>"), std::string::npos) << html;
    EXPECT_NE(RenderTopicHtml(book, 0).find("In use: {{basedir}}"), std::string::npos);
}

TEST(HelpFile, IndexIsInReadingOrderAndNamesSharedKeywords) {
    const HelpBook book = ParseHelpFile(kSample);
    const auto index = BuildKeywordIndex(book);
    // Latin first, then the kana order of the readings (え, か, み, も),
    // whatever the keywords' own script; full width sorts as half width.
    EXPECT_EQ(Labels(index),
              (std::vector<std::string>{"ＥＳＣ", "Rotate", "Esc キー", "回転", "右クリック（キー操作）",
                                        "右クリック（画像の回転）", "目次"}));
    EXPECT_EQ(index[3].topic, 1);
}

TEST(HelpFile, TypingMatchesLooselyAndFindsTheOneTopic) {
    const HelpBook book = ParseHelpFile(kSample);
    const auto index = BuildKeywordIndex(book);
    auto entry = [&](const std::string& label) {
        for (const HelpIndexEntry& e : index)
            if (e.label == label) return e;
        throw std::runtime_error("no entry " + label);
    };
    EXPECT_TRUE(KeywordContains(entry("回転"), "カイテン"));   // katakana for a hiragana reading
    EXPECT_TRUE(KeywordContains(entry("回転"), "ｶｲﾃﾝ"));       // half width
    EXPECT_TRUE(KeywordContains(entry("回転"), "転"));
    EXPECT_TRUE(KeywordContains(entry("Esc キー"), "escキー"));  // case and blanks
    EXPECT_TRUE(KeywordContains(entry("Rotate"), ""));
    EXPECT_FALSE(KeywordContains(entry("Rotate"), "回転"));
    EXPECT_TRUE(KeywordStartsWith(entry("右クリック（キー操作）"), "みぎ"));
    EXPECT_FALSE(KeywordStartsWith(entry("右クリック（キー操作）"), "クリック"));

    EXPECT_EQ(TopicForKeyword(index, "かいてん"), 1);
    EXPECT_EQ(TopicForKeyword(index, "ROTATE"), 1);
    EXPECT_EQ(TopicForKeyword(index, "esc"), 2);     // ＥＳＣ, full width
    EXPECT_EQ(TopicForKeyword(index, "右クリック"), -1);  // two topics
    EXPECT_EQ(TopicForKeyword(index, "回"), -1);     // only part of a keyword
    EXPECT_EQ(TopicForKeyword(index, ""), -1);
}

TEST(HelpFile, EmptyOrTopiclessTextHasNoTopics) {
    EXPECT_TRUE(ParseHelpFile("").topics.empty());
    EXPECT_TRUE(ParseHelpFile("just text\n@keywords a, b\n").topics.empty());
    const HelpBook bare = ParseHelpFile("@topic only");
    ASSERT_EQ(bare.topics.size(), 1u);
    EXPECT_EQ(bare.topics[0].title, "only");
}

// The help file we ship: every link leads somewhere, every topic can be
// found from the index, and the pages a user looks for are there.
TEST(HelpFile, ShippedHelpFileHoldsTogether) {
    std::ifstream in(PELUMIR_RESOURCES_DIR "/pelumir.hlp", std::ios::binary);
    ASSERT_TRUE(in) << "resources/pelumir.hlp";
    std::ostringstream text;
    text << in.rdbuf();
    const HelpBook book = ParseHelpFile(text.str());
    ASSERT_FALSE(book.topics.empty());
    EXPECT_EQ(book.topics[0].id, "contents");
    for (const char* id : {"list", "listfile", "show", "navigate", "rotate", "info", "preferences", "files"})
        EXPECT_GE(book.Find(id), 0) << id;

    std::set<std::string> ids;
    for (const HelpTopic& t : book.topics) {
        EXPECT_TRUE(ids.insert(t.id).second) << "duplicate topic " << t.id;
        if (t.id != "contents") {
            EXPECT_FALSE(t.keywords.empty()) << t.id;
        }
        for (const std::string& line : t.body)
            for (std::size_t at = line.find("[["); at != std::string::npos; at = line.find("[[", at + 2)) {
                const std::string link = line.substr(at + 2, line.find_first_of("|]", at + 2) - at - 2);
                EXPECT_GE(book.Find(link), 0) << t.id << ": " << line;
            }
    }
}

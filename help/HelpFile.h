#pragma once
// The help file: topics with keywords, in a small text format of ours.
//
//   ; a comment line
//   @title Pelumir ヘルプ                  the help window's caption (optional)
//   @topic contents 目次                   starts a topic: id, then title
//   @keywords 回転《かいてん》, Esc キー   index keywords, optional reading
//   body text ...
//
// In a body: a blank line ends a paragraph, "## " starts a heading, "- " a
// list item, four blanks a preformatted line; [[id]] links to a topic by its
// title, [[id|text]] with a text of its own; {{name}} is a value only the
// running program knows, such as the folder it keeps its settings in. The
// first topic is the contents page. The file is UTF-8.
#include <map>
#include <string>
#include <vector>

namespace pelumir {

struct HelpKeyword {
    std::string text;
    std::string reading;  // how the keyword is read, for sorting and typing in kana
};

struct HelpTopic {
    std::string id;
    std::string title;
    std::vector<HelpKeyword> keywords;
    std::vector<std::string> body;  // the lines as written
};

struct HelpBook {
    std::string title;
    std::vector<HelpTopic> topics;

    // Index of the topic with this id, or -1.
    int Find(const std::string& id) const;
};

struct HelpIndexEntry {
    std::string label;  // the keyword, with the topic's title when it leads to several
    const HelpKeyword* keyword;
    int topic;
};

HelpBook ParseHelpFile(const std::string& text);

// The values the running program fills into {{name}}, by name.
using HelpValues = std::map<std::string, std::string>;

// The topic as a page for a rich-text view; links are "topic:<id>". A
// {{name}} not in `values` stays as written, so a missing one shows.
std::string RenderTopicHtml(const HelpBook& book, int topic, const HelpValues& values = {});

// One entry per keyword and topic, in Japanese dictionary order of the
// readings. The entries point into `book`, which must outlive them.
std::vector<HelpIndexEntry> BuildKeywordIndex(const HelpBook& book);

// Whether what the user typed occurs in the entry's keyword or reading,
// regardless of letter case, full or half width, hiragana or katakana.
bool KeywordContains(const HelpIndexEntry& entry, const std::string& typed);
// The same test for the start of the keyword or reading.
bool KeywordStartsWith(const HelpIndexEntry& entry, const std::string& typed);
// The one topic whose keyword equals `typed` in the same loose sense, or -1
// when none or several do.
int TopicForKeyword(const std::vector<HelpIndexEntry>& index, const std::string& typed);

}  // namespace pelumir

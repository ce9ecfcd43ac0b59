#include "help/HelpFile.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <map>
#include <string_view>

#include "platform/TextLines.h"

namespace pelumir {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kIdeographicComma = "\xE3\x80\x81";  // 、
constexpr std::string_view kReadingOpen = "\xE3\x80\x8A";       // 《
constexpr std::string_view kReadingClose = "\xE3\x80\x8B";      // 》

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string Trim(std::string_view s) { return std::string(TrimBlanks(s, Blanks::SpaceTabIdeographic)); }

HelpKeyword ParseKeyword(const std::string& item) {
    HelpKeyword k{item, {}};
    const std::size_t open = item.find(kReadingOpen);
    const std::size_t close = item.rfind(kReadingClose);
    if (open != std::string::npos && close != std::string::npos && close > open) {
        k.text = Trim(std::string_view(item).substr(0, open));
        k.reading = Trim(std::string_view(item).substr(open + kReadingOpen.size(),
                                                       close - open - kReadingOpen.size()));
    }
    return k;
}

void ParseKeywords(std::string_view list, std::vector<HelpKeyword>& out) {
    std::string item;
    auto flush = [&] {
        std::string t = Trim(item);
        if (!t.empty()) out.push_back(ParseKeyword(t));
        item.clear();
    };
    while (!list.empty()) {
        if (list.front() == ',') {
            flush();
            list.remove_prefix(1);
        } else if (StartsWith(list, kIdeographicComma)) {
            flush();
            list.remove_prefix(kIdeographicComma.size());
        } else {
            item += list.front();
            list.remove_prefix(1);
        }
    }
    flush();
}

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Escaped text with each known {{name}} replaced by its value.
std::string Fill(std::string_view s, const HelpValues& values) {
    std::string out;
    for (;;) {
        const std::size_t open = s.find("{{");
        const std::size_t close = open == std::string_view::npos ? open : s.find("}}", open + 2);
        if (close == std::string_view::npos) return out + Escape(s);
        const auto value = values.find(std::string(s.substr(open + 2, close - open - 2)));
        out += Escape(s.substr(0, value == values.end() ? close + 2 : open));
        if (value != values.end()) out += Escape(value->second);
        s.remove_prefix(close + 2);
    }
}

// Plain text with [[id]] and [[id|text]] links.
std::string Inline(const HelpBook& book, std::string_view s, const HelpValues& values) {
    std::string out;
    for (;;) {
        const std::size_t open = s.find("[[");
        const std::size_t close = open == std::string_view::npos ? open : s.find("]]", open + 2);
        if (close == std::string_view::npos) {
            out += Fill(s, values);
            return out;
        }
        out += Fill(s.substr(0, open), values);
        const std::string_view link = s.substr(open + 2, close - open - 2);
        const std::size_t bar = link.find('|');
        const std::string id = Trim(link.substr(0, bar));
        const int target = book.Find(id);
        std::string label = bar == std::string_view::npos ? std::string() : Trim(link.substr(bar + 1));
        if (label.empty()) label = target >= 0 ? book.topics[target].title : id;
        // A link to a topic the file does not have stays readable as text.
        if (target >= 0)
            out += "<a href=\"topic:" + Escape(id) + "\">" + Escape(label) + "</a>";
        else
            out += Escape(label);
        s.remove_prefix(close + 2);
    }
}

// Hiragana and katakana, full and half width, letter case and blanks all
// compare equal, so "かいてん", "カイテン" and "ｶｲﾃﾝ" find the same keyword.
QString Loose(const std::string& s) {
    QString q = QString::fromUtf8(s).normalized(QString::NormalizationForm_KC);
    QString out;
    out.reserve(q.size());
    for (QChar c : q) {
        const char16_t u = c.unicode();
        if (c.isSpace()) continue;
        out += (u >= 0x30A1 && u <= 0x30F6) ? QChar(char16_t(u - 0x60)) : c;
    }
    return out.toCaseFolded();
}

}  // namespace

int HelpBook::Find(const std::string& id) const {
    for (std::size_t i = 0; i < topics.size(); ++i)
        if (topics[i].id == id) return static_cast<int>(i);
    return -1;
}

HelpBook ParseHelpFile(const std::string& text) {
    HelpBook book;
    HelpTopic* topic = nullptr;
    std::string_view body(text);
    if (StartsWith(body, kBom)) body.remove_prefix(kBom.size());
    for (TextLine& split : SplitLines(body)) {
        std::string& line = split.text;
        const std::string_view v(line);
        if (StartsWith(v, ";")) continue;
        if (StartsWith(v, "@title ")) {
            book.title = Trim(v.substr(7));
        } else if (StartsWith(v, "@topic ")) {
            const std::string rest = Trim(v.substr(7));
            const std::size_t blank = rest.find_first_of(" \t");
            HelpTopic t;
            t.id = rest.substr(0, blank);
            t.title = blank == std::string::npos ? std::string() : Trim(std::string_view(rest).substr(blank));
            if (t.title.empty()) t.title = t.id;
            book.topics.push_back(std::move(t));
            topic = &book.topics.back();
        } else if (topic && StartsWith(v, "@keywords ")) {
            ParseKeywords(v.substr(10), topic->keywords);
        } else if (topic) {
            topic->body.push_back(std::move(line));
        }
    }
    for (HelpTopic& t : book.topics)
        while (!t.body.empty() && Trim(t.body.back()).empty()) t.body.pop_back();
    return book;
}

std::string RenderTopicHtml(const HelpBook& book, int topic, const HelpValues& values) {
    if (topic < 0 || topic >= static_cast<int>(book.topics.size())) return {};
    const HelpTopic& t = book.topics[topic];
    std::string html = "<h2>" + Escape(t.title) + "</h2>\n";
    enum class Block { None, Paragraph, List, Pre } block = Block::None;
    auto close = [&] {
        static const char* const endTags[] = {"", "</p>\n", "</ul>\n", "</pre>\n"};
        html += endTags[static_cast<int>(block)];
        block = Block::None;
    };
    auto open = [&](Block b, const char* tag) {
        if (block == b) return false;
        close();
        html += tag;
        block = b;
        return true;
    };
    for (const std::string& line : t.body) {
        const std::string_view v(line);
        if (Trim(v).empty()) {
            close();
        } else if (StartsWith(v, "    ")) {
            if (!open(Block::Pre, "<pre>")) html += '\n';
            html += Fill(v.substr(4), values);
        } else if (StartsWith(v, "## ")) {
            close();
            html += "<h3>" + Inline(book, Trim(v.substr(3)), values) + "</h3>\n";
        } else if (StartsWith(v, "- ")) {
            open(Block::List, "<ul>\n");
            html += "<li>" + Inline(book, Trim(v.substr(2)), values) + "</li>\n";
        } else {
            if (!open(Block::Paragraph, "<p>")) html += "<br>\n";
            html += Inline(book, Trim(v), values);
        }
    }
    close();
    return html;
}

std::vector<HelpIndexEntry> BuildKeywordIndex(const HelpBook& book) {
    std::vector<HelpIndexEntry> index;
    std::map<QString, int> topicsPerKeyword;
    for (std::size_t i = 0; i < book.topics.size(); ++i)
        for (const HelpKeyword& k : book.topics[i].keywords) {
            index.push_back({k.text, &k, static_cast<int>(i)});
            ++topicsPerKeyword[Loose(k.text)];
        }
    for (HelpIndexEntry& e : index)
        if (topicsPerKeyword[Loose(e.keyword->text)] > 1)
            e.label += "\xEF\xBC\x88" + book.topics[e.topic].title + "\xEF\xBC\x89";  // （title）

    std::vector<QString> keys;
    keys.reserve(index.size());
    for (const HelpIndexEntry& e : index)
        keys.push_back(Loose(e.keyword->reading.empty() ? e.keyword->text : e.keyword->reading));
    std::vector<std::size_t> order(index.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    QCollator collator{QLocale(QLocale::Japanese, QLocale::Japan)};
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = collator.compare(keys[a], keys[b]);
        return c != 0 ? c < 0 : index[a].label < index[b].label;
    });
    std::vector<HelpIndexEntry> sorted;
    sorted.reserve(index.size());
    for (std::size_t i : order) sorted.push_back(index[i]);
    return sorted;
}

bool KeywordContains(const HelpIndexEntry& entry, const std::string& typed) {
    const QString t = Loose(typed);
    return Loose(entry.keyword->text).contains(t) ||
           (!entry.keyword->reading.empty() && Loose(entry.keyword->reading).contains(t));
}

bool KeywordStartsWith(const HelpIndexEntry& entry, const std::string& typed) {
    const QString t = Loose(typed);
    return Loose(entry.keyword->text).startsWith(t) ||
           (!entry.keyword->reading.empty() && Loose(entry.keyword->reading).startsWith(t));
}

int TopicForKeyword(const std::vector<HelpIndexEntry>& index, const std::string& typed) {
    const QString t = Loose(typed);
    if (t.isEmpty()) return -1;
    int found = -1;
    for (const HelpIndexEntry& e : index) {
        if (Loose(e.keyword->text) != t && (e.keyword->reading.empty() || Loose(e.keyword->reading) != t))
            continue;
        if (found >= 0 && found != e.topic) return -1;
        found = e.topic;
    }
    return found;
}

}  // namespace pelumir

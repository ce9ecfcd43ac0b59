#pragma once
// The locale's case-insensitive word sort: letters without regard to case,
// digits as characters (IMG_10 before IMG_2), hyphen and apostrophe weighing
// less than other punctuation.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelumir {

class Collator {
public:
    // localeName as in LANG ("ja_JP.UTF-8"); "C", "POSIX" or "" use the
    // language-neutral order.
    explicit Collator(const std::string& localeName);
    ~Collator();
    Collator(const Collator&) = delete;
    Collator& operator=(const Collator&) = delete;

    // <0, 0, >0. Byte strings are read as UTF-8; stray bytes compare as a
    // replacement character.
    int Compare(std::string_view a, std::string_view b) const;
    // Ascending; names that collate equal keep byte order, so the result
    // does not depend on the order the file system gave.
    void Sort(std::vector<std::string>& items) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The user's locale from LC_ALL, LC_COLLATE or LANG.
std::string UserCollationLocale();
// Built once: a tailored collator costs far more to make than to use.
const Collator& UserCollator();

}  // namespace pelumir

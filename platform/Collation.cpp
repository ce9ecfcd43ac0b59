#include "platform/Collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/tblcoll.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace pelumir {

namespace {

// Hyphen and apostrophe get no primary weight, as in the word sort; every
// other punctuation mark keeps its weight and sorts before digits and letters.
const char16_t kWordSortRules[] = u"&[last primary ignorable]<<\\-<<\\'";

std::string IcuLocaleName(std::string name) {
    name = name.substr(0, name.find_first_of(".@"));
    if (name == "C" || name == "POSIX") return {};
    return name;
}

}  // namespace

struct Collator::Impl {
    std::unique_ptr<icu::Collator> collator;
};

Collator::Collator(const std::string& localeName) : impl_(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(IcuLocaleName(localeName).c_str());
    std::unique_ptr<icu::Collator> base(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || base == nullptr) {
        status = U_ZERO_ERROR;
        base.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    icu::UnicodeString rules;
    if (auto* tailored = dynamic_cast<icu::RuleBasedCollator*>(base.get())) rules = tailored->getRules();
    rules.append(icu::UnicodeString(kWordSortRules));
    status = U_ZERO_ERROR;
    auto rb = std::make_unique<icu::RuleBasedCollator>(rules, status);
    if (U_SUCCESS(status)) impl_->collator = std::move(rb);
    else impl_->collator = std::move(base);
    impl_->collator->setStrength(icu::Collator::SECONDARY);
}

Collator::~Collator() = default;

int Collator::Compare(std::string_view a, std::string_view b) const {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = impl_->collator->compareUTF8(
        icu::StringPiece(a.data(), int32_t(a.size())), icu::StringPiece(b.data(), int32_t(b.size())), status);
    if (U_FAILURE(status)) return a.compare(b);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

void Collator::Sort(std::vector<std::string>& items) const {
    // Sort keys make each comparison a byte compare: a folder of 100,000
    // names sorts in a fraction of the time pairwise collation takes.
    std::vector<std::string> keys(items.size());
    std::vector<uint8_t> buf(256);
    for (size_t i = 0; i < items.size(); ++i) {
        const icu::UnicodeString u = icu::UnicodeString::fromUTF8(
            icu::StringPiece(items[i].data(), int32_t(items[i].size())));
        int32_t n = impl_->collator->getSortKey(u, buf.data(), int32_t(buf.size()));
        if (n > int32_t(buf.size())) {
            buf.resize(size_t(n));
            n = impl_->collator->getSortKey(u, buf.data(), n);
        }
        keys[i].assign(reinterpret_cast<const char*>(buf.data()), size_t(std::max(n, 0)));
    }
    std::vector<size_t> order(items.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        const int c = keys[x].compare(keys[y]);
        return c != 0 ? c < 0 : items[x] < items[y];
    });
    std::vector<std::string> sorted;
    sorted.reserve(items.size());
    for (size_t i : order) sorted.push_back(std::move(items[i]));
    items = std::move(sorted);
}

std::string UserCollationLocale() {
    for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* v = std::getenv(var);
        if (v != nullptr && *v != '\0') return v;
    }
    return {};
}

const Collator& UserCollator() {
    static const Collator collator(UserCollationLocale());
    return collator;
}

}  // namespace pelumir

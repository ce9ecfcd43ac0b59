#include "platform/TextCodec.h"

namespace pelumir {

namespace {

constexpr char16_t kParagraphSeparator = 0x2029;

// A character the box would show or keep differently from what was read.
bool MustEscape(char32_t cp) {
    return cp == 0x2028 || cp == 0x2029 || cp == 0xFDD0 || cp == 0xFDD1 ||
           (cp >= kByteEscapeFirst && cp <= kByteEscapeLast);
}

bool IsTrail(unsigned char c, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return c >= lo && c <= hi;
}

// Length of the well-formed UTF-8 sequence at p (1 to 4), or 0 when the
// bytes there are not one; overlong forms and surrogates are not UTF-8.
int SequenceLength(const unsigned char* p, std::size_t left) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    auto trails = [&](int n, unsigned char lo, unsigned char hi) {
        if (left < std::size_t(n) + 1 || !IsTrail(p[1], lo, hi)) return 0;
        for (int k = 2; k <= n; ++k)
            if (!IsTrail(p[k])) return 0;
        return n + 1;
    };
    if (c >= 0xC2 && c <= 0xDF) return trails(1, 0x80, 0xBF);
    if (c == 0xE0) return trails(2, 0xA0, 0xBF);
    if (c == 0xED) return trails(2, 0x80, 0x9F);
    if (c >= 0xE1 && c <= 0xEF) return trails(2, 0x80, 0xBF);
    if (c == 0xF0) return trails(3, 0x90, 0xBF);
    if (c >= 0xF1 && c <= 0xF3) return trails(3, 0x80, 0xBF);
    if (c == 0xF4) return trails(3, 0x80, 0x8F);
    return 0;
}

char32_t DecodeSequence(const unsigned char* p, int len) {
    switch (len) {
    case 1: return p[0];
    case 2: return char32_t(p[0] & 0x1F) << 6 | (p[1] & 0x3F);
    case 3: return char32_t(p[0] & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
    default:
        return char32_t(p[0] & 0x07) << 18 | char32_t(p[1] & 0x3F) << 12 |
               char32_t(p[2] & 0x3F) << 6 | (p[3] & 0x3F);
    }
}

void PutUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace

QString ListBytesToText(std::string_view bytes) {
    // Every byte gives at most one UTF-16 unit (a 4-byte character gives two),
    // so the result fits in as many units as there are bytes.
    QString text(qsizetype(bytes.size()), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    char16_t* const begin = out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c == '\r' && i + 1 < n && p[i + 1] == '\n') {
            *out++ = u'\n';
            i += 2;
            continue;
        }
        const int len = SequenceLength(p + i, n - i);
        const char32_t cp = len ? DecodeSequence(p + i, len) : 0;
        if (len == 0 || cp == 0 || cp == '\r' || cp == '\n' || MustEscape(cp)) {
            for (int k = 0; k < (len ? len : 1); ++k) *out++ = char16_t(kByteEscapeFirst + p[i + k]);
            i += len ? len : 1;
            continue;
        }
        if (cp >= 0x10000) {
            *out++ = char16_t(0xD800 + ((cp - 0x10000) >> 10));
            *out++ = char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *out++ = char16_t(cp);
        }
        i += len;
    }
    text.truncate(out - begin);
    return text;
}

std::string ListTextToBytes(QStringView text) {
    std::string out;
    out.reserve(std::size_t(text.size()) + std::size_t(text.size()) / 2);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u == u'\n' || u == kParagraphSeparator) {
            out += "\r\n";
        } else if (u >= kByteEscapeFirst && u <= kByteEscapeLast) {
            out += char(u - kByteEscapeFirst);
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            PutUtf8(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            PutUtf8(out, 0xFFFD);
        } else {
            PutUtf8(out, u);
        }
    }
    return out;
}

}  // namespace pelumir

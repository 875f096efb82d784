// Turkish collation keys: a rank table for every UTF-16 unit, built once, and LIKE matching.
#include "engine/CursorCollation.h"

#include "core/Errors.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

namespace cursor {

namespace {

// Letters of the Turkish alphabet in order, with q, w and x where a Turkish keyboard user expects
// them and the circumflex variants right after their base letter.
constexpr char16_t kAlphabet[] = u"aâbcçdefgğhıiîjklmnoöpqrsştuûüvwxyz";

char16_t fold(char16_t unit) {
    if (unit == u'I')
        return u'ı';
    if (unit == u'İ')
        return u'i';
    if (QChar::isSurrogate(unit))
        return unit;
    return QChar(unit).toLower().unicode();
}

// Sort weight of a folded unit: category in the upper bits, order inside it below.
std::uint32_t weight(char16_t folded) {
    for (std::size_t i = 0; kAlphabet[i] != 0; ++i)
        if (kAlphabet[i] == folded)
            return 0x20000u + std::uint32_t(i);
    if (folded >= u'0' && folded <= u'9')
        return 0x10000u + folded;
    if (!QChar::isSurrogate(folded) && QChar(folded).isLetter())
        return 0x30000u + folded;
    return folded;
}

using RankTable = std::array<char16_t, 0x10000>;

std::unique_ptr<RankTable> buildRanks() {
    auto table = std::make_unique<RankTable>();
    std::vector<char16_t> folded(0x10000);
    std::vector<bool> isRepresentative(0x10000, false);
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
        folded[u] = fold(char16_t(u));
        isRepresentative[folded[u]] = true;
    }
    std::vector<char16_t> representatives;
    for (std::uint32_t u = 0; u < 0x10000; ++u)
        if (isRepresentative[u])
            representatives.push_back(char16_t(u));
    std::vector<std::uint32_t> weights(0x10000);
    for (char16_t r : representatives)
        weights[r] = weight(r);
    std::sort(representatives.begin(), representatives.end(),
              [&](char16_t a, char16_t b) { return weights[a] < weights[b]; });
    std::vector<char16_t> rankOf(0x10000, 0);
    for (std::size_t i = 0; i < representatives.size(); ++i)
        rankOf[representatives[i]] = char16_t(i + 1);
    for (std::uint32_t u = 0; u < 0x10000; ++u)
        (*table)[u] = rankOf[folded[u]];
    return table;
}

const RankTable& ranks() {
    static const std::unique_ptr<RankTable> table = buildRanks();
    return *table;
}

} // namespace

char16_t collationRank(char16_t unit) {
    return ranks()[unit];
}

CollationKey collationKey(const QString& text) {
    const RankTable& table = ranks();
    CollationKey key;
    key.resize(std::size_t(text.size()));
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < text.size(); ++i)
        key[std::size_t(i)] = table[units[i]];
    return key;
}

CollationKey collationKeyUtf8(const char* data, std::size_t size) {
    const RankTable& table = ranks();
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    CollationKey key;
    key.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            key.push_back(table[c]);
            ++i;
            continue;
        }
        // Multi-byte sequence: lead byte gives the length, continuation bytes are 10xxxxxx.
        int extra = 0;
        std::uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            key.push_back(table[0xFFFD]);
            ++i;
            continue;
        }
        bool valid = i + std::size_t(extra) < size;
        for (int k = 1; valid && k <= extra; ++k) {
            if ((s[i + std::size_t(k)] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (s[i + std::size_t(k)] & 0x3F);
        }
        if (!valid || cp > 0x10FFFF) {
            key.push_back(table[0xFFFD]);
            ++i;
            continue;
        }
        i += std::size_t(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            key.push_back(table[0xD800 + (cp >> 10)]);
            key.push_back(table[0xDC00 + (cp & 0x3FF)]);
        } else {
            key.push_back(table[cp]);
        }
    }
    return key;
}

int compareKeys(std::u16string_view a, std::u16string_view b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

quint64 keyPrefix(std::u16string_view key) {
    quint64 p = 0;
    for (std::size_t i = 0; i < 4; ++i)
        p = (p << 16) | (i < key.size() ? key[i] : 0u);
    return p;
}

LikePattern LikePattern::compile(const QString& pattern) {
    LikePattern result;
    const RankTable& table = ranks();
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i].unicode();
        Token token{Kind::Literal, 0, {}};
        if (c == u'*' || c == u'%') {
            token.kind = Kind::Run;
        } else if (c == u'?' || c == u'_') {
            token.kind = Kind::One;
        } else if (c == u'[') {
            const qsizetype close = pattern.indexOf(u']', i + 1);
            if (close < 0 || close == i + 1)
                throw EOleException(QStringLiteral("Invalid pattern string"));
            token.set = collationKey(pattern.mid(i + 1, close - i - 1));
            // A set of one character ("[*]", the way a literal wildcard is written) is a literal.
            if (token.set.size() == 1)
                token.rank = token.set.front();
            else
                token.kind = Kind::Set;
            i = close;
        } else {
            token.rank = table[c];
        }
        result.tokens_.push_back(std::move(token));
    }
    std::size_t literals = 0;
    while (literals < result.tokens_.size() && result.tokens_[literals].kind == Kind::Literal)
        result.prefix_.push_back(result.tokens_[literals++].rank);
    result.literal_ = literals == result.tokens_.size();
    result.prefixPattern_ =
        literals + 1 == result.tokens_.size() && result.tokens_.back().kind == Kind::Run;
    return result;
}

LikePattern LikePattern::prefix(const QString& literal) {
    LikePattern result;
    result.prefix_ = collationKey(literal);
    for (char16_t rank : result.prefix_)
        result.tokens_.push_back({Kind::Literal, rank, {}});
    result.tokens_.push_back({Kind::Run, 0, {}});
    result.prefixPattern_ = true;
    return result;
}

bool LikePattern::tokenMatches(const Token& token, char16_t rank) const {
    switch (token.kind) {
    case Kind::Literal:
        return token.rank == rank;
    case Kind::One:
        return true;
    case Kind::Set:
        return token.set.find(rank) != CollationKey::npos;
    case Kind::Run:
        break;
    }
    return false;
}

// Greedy matching that backtracks only to the most recent run wildcard: linear in practice and
// never worse than pattern length times text length.
bool LikePattern::matches(std::u16string_view key) const {
    if (literal_)
        return key == std::u16string_view(prefix_);
    if (prefixPattern_)
        return key.substr(0, prefix_.size()) == std::u16string_view(prefix_);
    const std::size_t count = tokens_.size();
    std::size_t t = 0, k = 0;
    std::size_t runToken = count, runKey = 0;
    while (k < key.size()) {
        if (t < count && tokens_[t].kind == Kind::Run) {
            runToken = t++;
            runKey = k;
        } else if (t < count && tokenMatches(tokens_[t], key[k])) {
            ++t;
            ++k;
        } else if (runToken != count) {
            t = runToken + 1;
            k = ++runKey;
        } else {
            return false;
        }
    }
    while (t < count && tokens_[t].kind == Kind::Run)
        ++t;
    return t == count;
}

} // namespace cursor

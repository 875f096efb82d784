// Turkish case folding and alphabetical order as collation keys, and LIKE patterns over them.
#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cursor {

// One rank per UTF-16 unit: the unit folded to lower case the Turkish way (I gives ı, İ gives i),
// then numbered so that comparing ranks gives the order blanks and punctuation, digits, the
// Turkish alphabet (a â b c ç d e f g ğ h ı i î j k l m n o ö p q r s ş t u û ü v w x y z), other
// letters. Two texts are equal ignoring case exactly when their keys are equal. Rank 0 is never
// used, so a key never contains it.
using CollationKey = std::u16string;

char16_t collationRank(char16_t unit);
CollationKey collationKey(const QString& text);
// Decodes UTF-8 (invalid bytes give U+FFFD) straight into ranks.
CollationKey collationKeyUtf8(const char* data, std::size_t size);
// Three-way comparison of two keys.
int compareKeys(std::u16string_view a, std::u16string_view b);
// The first four ranks packed so that comparing the integers orders keys by their start.
quint64 keyPrefix(std::u16string_view key);

// A LIKE pattern: "*" and "%" match any run of characters, "?" and "_" exactly one, "[...]" one of
// the characters listed (all taken literally, so "[*]" matches a star and "[[]" an opening
// bracket); any other character, "]" included, matches itself ignoring case.
class LikePattern {
public:
    // Throws EOleException("Invalid pattern string") on a "[" without its "]" or an empty set.
    static LikePattern compile(const QString& pattern);
    // The pattern of every text that starts with literal, each of its characters taken as itself.
    static LikePattern prefix(const QString& literal);

    bool matches(std::u16string_view key) const;
    // True when the pattern is literal text followed by a single run wildcard ("Al*"): it then
    // matches exactly the keys that start with literalPrefix().
    bool isPrefixPattern() const { return prefixPattern_; }
    // True when the pattern has no wildcard at all: it matches exactly the key literalPrefix().
    bool isLiteral() const { return literal_; }
    const CollationKey& literalPrefix() const { return prefix_; }

private:
    enum class Kind { Literal, One, Run, Set };
    struct Token {
        Kind kind;
        char16_t rank = 0;
        CollationKey set;
    };
    bool tokenMatches(const Token& token, char16_t rank) const;

    std::vector<Token> tokens_;
    CollationKey prefix_;
    bool prefixPattern_ = false;
    bool literal_ = false;
};

} // namespace cursor

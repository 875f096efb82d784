// Turkish collation keys, LIKE patterns and the criteria reader of the cursor engine.
#include "engine/CursorCollation.h"
#include "core/Errors.h"
#include "engine/CursorCriteria.h"

#include <gtest/gtest.h>

using namespace cursor;

namespace {

int compareTexts(const QString& a, const QString& b) {
    return compareKeys(collationKey(a), collationKey(b));
}

} // namespace

// ---- order and folding ----

struct OrderCase {
    const char* before;
    const char* after;
};

class TurkishOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(TurkishOrder, SortsBefore) {
    const QString a = QString::fromUtf8(GetParam().before);
    const QString b = QString::fromUtf8(GetParam().after);
    EXPECT_LT(compareTexts(a, b), 0) << a.toStdString() << " < " << b.toStdString();
    EXPECT_GT(compareTexts(b, a), 0);
    EXPECT_LT(keyPrefix(collationKey(a)), keyPrefix(collationKey(b)) + 1)
        << "the packed prefix must never contradict the full order";
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, TurkishOrder,
    testing::Values(OrderCase{"Cem", "Çelik"}, OrderCase{"Çelik", "Demir"},
                    OrderCase{"Sarp", "Şahin"}, OrderCase{"Şahin", "Tekin"},
                    OrderCase{"Ozan", "Öztürk"}, OrderCase{"Öztürk", "Pamuk"},
                    OrderCase{"Uğur", "Ümit"}, OrderCase{"Ümit", "Vural"}, OrderCase{"Gül", "Ğ"},
                    OrderCase{"Ğ", "Hakan"}, OrderCase{"Irmak", "ışık"}, // I is the capital of ı
                    OrderCase{"Işık", "İsmail"},                         // ı comes before i
                    OrderCase{"ılık", "ilik"}, OrderCase{"Pelin", "Quartz"},
                    OrderCase{"Quartz", "Rıza"}, OrderCase{"Veli", "Walter"},
                    OrderCase{"Walter", "Xavier"}, OrderCase{"Xavier", "Yavuz"},
                    OrderCase{"34 ABC 123", "Ahmet"}, OrderCase{"0", "9"}, OrderCase{"Al", "Ala"},
                    OrderCase{"", "a"}, OrderCase{"Ali Can", "Alican"}, OrderCase{"Kamil", "Kâmil"},
                    OrderCase{"Zeynep", "Ωmega"}));

struct FoldCase {
    const char* a;
    const char* b;
    bool equal;
};

class TurkishFolding : public testing::TestWithParam<FoldCase> {};

TEST_P(TurkishFolding, EqualIgnoringCase) {
    const QString a = QString::fromUtf8(GetParam().a);
    const QString b = QString::fromUtf8(GetParam().b);
    EXPECT_EQ(compareTexts(a, b) == 0, GetParam().equal)
        << a.toStdString() << " / " << b.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, TurkishFolding,
    testing::Values(FoldCase{"ışık", "IŞIK", true}, FoldCase{"İstanbul", "istanbul", true},
                    FoldCase{"Istanbul", "istanbul", false},
                    FoldCase{"İstanbul", "ıstanbul", false}, FoldCase{"ÇĞÖŞÜ", "çğöşü", true},
                    FoldCase{"ALİ", "ali", true}, FoldCase{"ALI", "ali", false},
                    FoldCase{"Kâmil", "Kamil", false}));

TEST(CollationKeyUtf8, MatchesTheUtf16Key) {
    for (const char* text :
         {"Şahin Öztürk", "İĞÜ ışık", "plain", "", "emoji \xF0\x9F\x9A\x97 car", "€ 12,50"}) {
        const QByteArray utf8(text);
        EXPECT_EQ(collationKeyUtf8(utf8.constData(), std::size_t(utf8.size())),
                  collationKey(QString::fromUtf8(utf8)))
            << text;
    }
}

TEST(CollationKeyUtf8, InvalidBytesBecomeReplacementCharacters) {
    const char bytes[] = {'a', char(0xC3), 'b', char(0xFF)};
    EXPECT_EQ(collationKeyUtf8(bytes, sizeof bytes),
              collationKey(QStringLiteral("a\uFFFDb\uFFFD")));
}

// ---- LIKE patterns ----

struct LikeCase {
    const char* pattern;
    const char* text;
    bool matches;
};

class LikeMatching : public testing::TestWithParam<LikeCase> {};

TEST_P(LikeMatching, MatchesAsExpected) {
    const LikePattern pattern = LikePattern::compile(QString::fromUtf8(GetParam().pattern));
    EXPECT_EQ(pattern.matches(collationKey(QString::fromUtf8(GetParam().text))), GetParam().matches)
        << GetParam().pattern << " ~ " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, LikeMatching,
    testing::Values(LikeCase{"Al*", "Alican", true}, LikeCase{"Al*", "al", true},
                    LikeCase{"Al*", "Hal", false}, LikeCase{"Al%", "Alper", true},
                    LikeCase{"*can", "Alican", true}, LikeCase{"*c*n", "Alican", true},
                    LikeCase{"A?i*", "Alican", true}, LikeCase{"A_i*", "Alican", true},
                    LikeCase{"A?can", "Alican", false}, LikeCase{"ış*", "IŞIK", true},
                    LikeCase{"is*", "İstanbul", true}, LikeCase{"is*", "Istanbul", false},
                    LikeCase{"O'Neil*", "o'neil ltd", true}, LikeCase{"a[*]b", "a*b", true},
                    LikeCase{"a[*]b", "axb", false}, LikeCase{"[%]*", "%50", true},
                    LikeCase{"[#]1", "#1", true}, LikeCase{"[[]x]", "[x]", true},
                    LikeCase{"a]b", "a]b", true}, LikeCase{"[bc]at", "Cat", true},
                    LikeCase{"[bc]at", "rat", false}, LikeCase{"*", "", true},
                    LikeCase{"?", "", false}, LikeCase{"", "", true}, LikeCase{"", "x", false},
                    LikeCase{"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
                    LikeCase{"Ali", "ali", true}, LikeCase{"Ali", "alix", false}));

TEST(LikePattern, RecognisesPrefixAndLiteralPatterns) {
    EXPECT_TRUE(LikePattern::compile("Al*").isPrefixPattern());
    EXPECT_EQ(LikePattern::compile("Al*").literalPrefix(), collationKey("al"));
    EXPECT_FALSE(LikePattern::compile("Al*x").isPrefixPattern());
    EXPECT_FALSE(LikePattern::compile("A?*").isPrefixPattern());
    EXPECT_FALSE(LikePattern::compile("Al**").isPrefixPattern());
    EXPECT_TRUE(LikePattern::compile("A[*]l[_]*").isPrefixPattern())
        << "a bracketed single character is literal text";
    EXPECT_EQ(LikePattern::compile("A[*]l[_]*").literalPrefix(), collationKey("a*l_"));
    EXPECT_FALSE(LikePattern::compile("A[bc]*").isPrefixPattern());
    EXPECT_TRUE(LikePattern::compile("Ali").isLiteral());
    EXPECT_TRUE(LikePattern::compile("[A]li").isLiteral());
    EXPECT_FALSE(LikePattern::compile("[AB]li").isLiteral());
}

TEST(LikePattern, UnclosedOrEmptySetIsRejected) {
    for (const char* bad : {"A[", "A[bc", "[]x"}) {
        try {
            LikePattern::compile(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const EOleException& e) {
            EXPECT_EQ(e.message(), "Invalid pattern string") << bad;
        }
    }
}

// ---- criteria ----

TEST(Criteria, ReadsTheFormsLocateAndFiltersUse) {
    using K = Criterion::ValueKind;
    struct Row {
        const char* text;
        const char* field;
        CompareOp op;
        K kind;
        const char* value;
    };
    const Row rows[] = {
        {"(f_adi like 'Al*')", "f_adi", CompareOp::Like, K::Quoted, "Al*"},
        {"(f_adi like #O'Neil*#)", "f_adi", CompareOp::Like, K::Hashed, "O'Neil*"},
        {"(f_adi like 'O''Neil*')", "f_adi", CompareOp::Like, K::Quoted, "O'Neil*"},
        {"(f_adi=Null)", "f_adi", CompareOp::Equal, K::Null, ""},
        {"(id=123)", "id", CompareOp::Equal, K::Bare, "123"},
        {"(f_tarih=#2008-12-25 14:30:00#)", "f_tarih", CompareOp::Equal, K::Hashed,
         "2008-12-25 14:30:00"},
        {"([Müşteri Adı] LIKE 'x')", "Müşteri Adı", CompareOp::Like, K::Quoted, "x"},
        {"  f_km <> '12'  ", "f_km", CompareOp::NotEqual, K::Quoted, "12"},
        {"(id>=5)", "id", CompareOp::GreaterEqual, K::Bare, "5"},
        {"(id<5)", "id", CompareOp::Less, K::Bare, "5"},
        {"((f_adi='a)b'))", "f_adi", CompareOp::Equal, K::Quoted, "a)b"},
    };
    for (const Row& row : rows) {
        const std::vector<Criterion> parsed = parseCriteria(QString::fromUtf8(row.text));
        ASSERT_EQ(parsed.size(), 1u) << row.text;
        EXPECT_EQ(parsed[0].field, QString::fromUtf8(row.field)) << row.text;
        EXPECT_EQ(parsed[0].op, row.op) << row.text;
        EXPECT_EQ(parsed[0].kind, row.kind) << row.text;
        EXPECT_EQ(parsed[0].value, QString::fromUtf8(row.value)) << row.text;
    }
}

TEST(Criteria, JoinsWithAndInAnyCase) {
    const auto parsed = parseCriteria("(f_adi like 'Al*') AND (id=5) and f_km='x and y'");
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[1].field, "id");
    EXPECT_EQ(parsed[2].value, "x and y");
}

TEST(Criteria, RejectsMalformedTextWithItsReason) {
    const std::pair<const char*, const char*> rows[] = {
        {"(f_adi like 'Al*'", "Invalid criterion \"(f_adi like 'Al*'\": expected \")\""},
        {"(f_adi like 'Al*)", "Invalid criterion \"(f_adi like 'Al*)\": a quoted value lacks its "
                              "closing quote"},
        {"(f_adi ~ 'x')", "Invalid criterion \"(f_adi ~ 'x')\": expected an operator (=, <>, <, "
                          "<=, >, >= or LIKE)"},
        {"(f_adi='x') OR (f_adi='y')",
         "Invalid criterion \"(f_adi='x') OR (f_adi='y')\": expected AND after a comparison"},
        {"(f_tarih=#2008-12-25)",
         "Invalid criterion \"(f_tarih=#2008-12-25)\": a value in \"#\" lacks its closing \"#\""},
        {"", "Invalid criterion \"\": the criterion is empty"},
        {"(='x')", "Invalid criterion \"(='x')\": expected a field name"},
        {"(f_adi=)", "Invalid criterion \"(f_adi=)\": expected a value"},
    };
    for (const auto& [text, message] : rows) {
        try {
            parseCriteria(QString::fromUtf8(text));
            ADD_FAILURE() << text << " was accepted";
        } catch (const EOleException& e) {
            EXPECT_EQ(e.message().toStdString(), message);
        }
    }
}

TEST(SortText, ReadsColumnsAndDirections) {
    const auto parsed = parseSort("f_adi, [Araç Plakası] DESC ,id ASC");
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0].field, "f_adi");
    EXPECT_FALSE(parsed[0].descending);
    EXPECT_EQ(parsed[1].field, QString::fromUtf8("Araç Plakası"));
    EXPECT_TRUE(parsed[1].descending);
    EXPECT_EQ(parsed[2].field, "id");
    EXPECT_FALSE(parsed[2].descending);
    EXPECT_TRUE(parseSort("  ").empty());
    EXPECT_THROW(parseSort("f_adi,,id"), EOleException);
}

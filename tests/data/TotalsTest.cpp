// Visit sums: exact money arithmetic and the rounding of doubles, unreadable and too large amounts,
// the totals line's texts, and a pass over the rows that leaves the record set, its window and its
// links untouched.
#include "data/Totals.h"
#include "DataTestSupport.h"

#include <QProcess>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

using namespace data;
using datatest::EventLog;
using datatest::RecordingLink;

namespace {

Money m(const char* text) {
    return *Money::fromStorageText(QString::fromLatin1(text));
}

TEST(VisitTotals, SumsExactlyAndWritesTheTotalsLine) {
    TVisitTotals totals;
    EXPECT_EQ(totalsLineText(totals), "Toplam Tutar:  0,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                                      "Kalan Ödeme:  0,00 TL  ");
    const std::optional<TVisitSums> one = totals.add({m("100"), m("50.5"), m("120")});
    ASSERT_TRUE(one);
    EXPECT_EQ(one->total, m("150.5"));
    EXPECT_EQ(one->balance, m("30.5"));
    EXPECT_EQ(totalsLineText(totals), "Toplam Tutar:  150,50 TL  -   Toplam Ödeme:  120,00 TL  -   "
                                      "Kalan Ödeme:  30,50 TL  ");
    // Four decimals are kept through the sums: 0.0049 three times rounds to 0,01 only at the end.
    TVisitTotals small;
    for (int i = 0; i < 3; ++i)
        small.add({m("0.0049"), Money{}, Money{}});
    EXPECT_EQ(small.total(), m("0.0147"));
    EXPECT_EQ(sumWithUnit(small.total()), "0,01 TL");
    // An overpaid visit leaves a negative balance with its sign in front of the grouped digits.
    TVisitTotals over;
    over.add({m("1000"), m("234.5"), m("2469")});
    EXPECT_EQ(totalsLineText(over), "Toplam Tutar:  1.234,50 TL  -   Toplam Ödeme:  2.469,00 TL  "
                                    "-   Kalan Ödeme:  -1.234,50 TL  ");
}

TEST(VisitTotals, AnUnreadableAmountWinsOverEverySumAndOverASumTooLarge) {
    TVisitTotals totals;
    totals.add({m("1"), m("2"), m("3")});
    EXPECT_FALSE(totals.add({Money::fromRaw(INT64_MAX), m("1"), Money{}})); // the visit overflows
    EXPECT_EQ(totals.status(), TVisitTotals::Status::TooLarge);
    EXPECT_EQ(totalsLineText(totals), "Toplamlar hesaplanamadı: tutarlar çok büyük");
    EXPECT_FALSE(totals.add({m("1"), std::nullopt, m("1")}));
    EXPECT_EQ(totals.status(), TVisitTotals::Status::UnreadableAmount);
    EXPECT_EQ(totalsLineText(totals), "Toplamlar hesaplanamadı: okunamayan bir tutar var");
    EXPECT_EQ(totalsProblemText(totals), totalsLineText(totals));

    // Sums of visits each within range whose sum is not.
    TVisitTotals big;
    const Money half = Money::fromRaw(INT64_MAX / 4);
    big.add({half, half, Money{}});
    EXPECT_TRUE(big.formed() || big.status() == TVisitTotals::Status::TooLarge);
    big.add({half, half, Money{}});
    big.add({half, half, Money{}});
    EXPECT_EQ(big.status(), TVisitTotals::Status::TooLarge);
}

TEST(VisitTotals, AVisitsSumsAreWhatItsCalculatedFieldsReadBack) {
    // Beyond 2^53 ten-thousandths a double no longer holds every amount: the total reads back
    // rounded, and the balance is formed from the total as read back.
    const Money labour = Money::fromRaw((qint64(1) << 53) + 1);
    const std::optional<TVisitSums> sums = visitSums(labour, Money{}, Money{});
    ASSERT_TRUE(sums);
    EXPECT_EQ(sums->total, *Money::fromDouble(labour.toDouble()));
    EXPECT_NE(sums->total, labour);
    EXPECT_EQ(sums->balance, sums->total);
    EXPECT_FALSE(visitSums(Money::fromRaw(INT64_MAX), Money::fromRaw(1), Money{}));
    EXPECT_FALSE(visitSums(Money::fromRaw(INT64_MIN + 10), Money{}, Money::fromRaw(100)));
}

TEST(VisitTotals, RunsAddUpLikeTheirVisits) {
    TVisitTotals a, b, all;
    for (const char* amount : {"10", "20.25"}) {
        a.add({m(amount), Money{}, m("5")});
        all.add({m(amount), Money{}, m("5")});
    }
    b.add({m("7"), m("1"), Money{}});
    all.add({m("7"), m("1"), Money{}});
    a.add(b);
    EXPECT_EQ(totalsLineText(a), totalsLineText(all));
    TVisitTotals broken;
    broken.add({std::nullopt, Money{}, Money{}});
    a.add(broken);
    EXPECT_EQ(a.status(), TVisitTotals::Status::UnreadableAmount);
}

// Sums over a visit set on a real file, compared with what a second client (sqlite3) sums.
class VisitSetTotals : public ::testing::Test {
protected:
    void SetUp() override {
        connection.setConnectionString(korvelaConnectionString(db.directory()));
        customer = db.addCustomer("Ahmet");
        other = db.addCustomer("Veli");
        for (int i = 0; i < 40; ++i)
            db.addVisit(customer, QString("%1.2500").arg(100 + i * 7), QString("%1.5000").arg(i),
                        QString("%1.0000").arg(50 + i * 3));
        db.addVisit(customer, "", "", ""); // no amounts at all: zero
        db.addVisit(other, "1.0000", "2.0000", "3.0000");
    }
    // A sum worked out by the sqlite3 program on the file, as money text with two decimals.
    QString sqliteSum(const QString& expression) {
        QProcess p;
        p.start("sqlite3", {db.path(), QString("select printf('%.2f', sum(%1)) from t_servis "
                                               "where id_musteri = %2")
                                           .arg(expression)
                                           .arg(customer)});
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed().replace('.', ',');
    }

    datatest::TestDatabase db;
    TConnection connection;
    qint64 customer = 0, other = 0;
};

TEST_F(VisitSetTotals, ReadsEveryVisitWithoutMovingTheSetOrTellingItsLinks) {
    auto visits = datatest::serviceQuery(connection, customer);
    EventLog log;
    log.attach(*visits, false);
    TDataSource source;
    source.setDataSet(visits.get());
    RecordingLink link(log);
    link.setBufferCount(5);
    link.setDataSource(&source);
    visits->open();
    visits->moveBy(3);
    log.take();
    const int recNo = visits->recNo();
    const int active = visits->activeRecord();

    const TVisitTotals totals = sumVisits(*visits);
    EXPECT_EQ(log.take(), QStringList()); // no event, no notification
    EXPECT_EQ(visits->recNo(), recNo);
    EXPECT_EQ(visits->activeRecord(), active);
    ASSERT_TRUE(totals.formed());
    // The money text groups thousands with "."; sqlite3 writes none.
    const auto ungrouped = [](Money sum) { return sumText(sum).remove('.'); };
    EXPECT_EQ(ungrouped(totals.total()),
              sqliteSum("coalesce(f_iscilik, 0) + coalesce(f_tutar, 0)"));
    EXPECT_EQ(ungrouped(totals.paid()), sqliteSum("coalesce(f_odeme, 0)"));
    EXPECT_EQ(ungrouped(totals.balance()),
              sqliteSum("coalesce(f_iscilik, 0) + coalesce(f_tutar, 0) - coalesce(f_odeme, 0)"));
    EXPECT_EQ(sumText(totals.total()), "10.270,00");
}

TEST_F(VisitSetTotals, AnAmountStoredAsTextThatIsNoAmountMakesTheSumsUnreadable) {
    db.exec(QString("update t_servis set f_odeme = 'abc' where id = "
                    "(select max(id) from t_servis where id_musteri = %1 and f_odeme is not null)")
                .arg(customer));
    auto visits = datatest::serviceQuery(connection, customer);
    visits->OnCalcFields = [](TDataSet& ds) { calculateVisit(ds); };
    visits->open();
    visits->last();
    visits->prior(); // the last visit with a payment
    EXPECT_EQ(visits->fieldByName("f_odeme").displayText(), "BCD overflow");
    EXPECT_EQ(visits->fieldByName("c_toplam").displayText(), ""); // the visit's own sums: empty
    EXPECT_EQ(sumVisits(*visits).status(), TVisitTotals::Status::UnreadableAmount);
    // Per customer the other customer is unharmed.
    auto all = datatest::serviceQuery(connection);
    all->open();
    const auto perCustomer = sumVisitsByCustomer(*all);
    ASSERT_EQ(perCustomer.size(), 2u);
    EXPECT_EQ(perCustomer.at(customer).status(), TVisitTotals::Status::UnreadableAmount);
    EXPECT_EQ(totalsLineText(perCustomer.at(other)),
              "Toplam Tutar:  3,00 TL  -   Toplam Ödeme:  3,00 TL  -   Kalan Ödeme:  0,00 TL  ");
}

TEST_F(VisitSetTotals, AClosedSetCannotBeRead) {
    auto visits = datatest::serviceQuery(connection, customer);
    try {
        sumVisits(*visits);
        FAIL() << "a closed set was read";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "qryServis: Cannot perform this operation on a closed dataset");
    }
}

// A double becomes money at the nearest ten-thousandth, ties to even, exactly as the C library's
// long-double rounding gives it; beyond the range, or not finite, it is nothing. Halves of a
// ten-thousandth (odd multiples of 1/32), the edges of the range and values of every size.
TEST(MoneyFromDouble, RoundsAsTheLibraryRoundsEveryKindOfValue) {
    const auto library = [](double v) -> std::optional<Money> {
        if (!std::isfinite(v))
            return std::nullopt;
        const long double r = std::nearbyintl((long double)v * Money::Scale);
        if (r >= 9223372036854775808.0L || r < -9223372036854775808.0L)
            return std::nullopt;
        return Money::fromRaw(static_cast<std::int64_t>(r));
    };
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1e-300,
                                  -1e-300,
                                  0.00005,
                                  -0.00005,
                                  0.00015,
                                  922337203685477.5807,
                                  922337203685477.5808,
                                  -922337203685477.5808,
                                  -922337203685477.5809,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::lowest(),
                                  std::numeric_limits<double>::denorm_min()};
    for (int k = 1; k < 4000; k += 2) {
        values.push_back(k / 32.0);
        values.push_back(-k / 32.0);
    }
    for (const double edge : {std::ldexp(1.0, 62) / 10000, std::ldexp(1.0, 63) / 10000}) {
        double up = edge, down = edge;
        for (int i = 0; i < 50; ++i) {
            values.insert(values.end(), {up, down, -up, -down});
            up = std::nextafter(up, HUGE_VAL);
            down = std::nextafter(down, -HUGE_VAL);
        }
    }
    std::mt19937_64 random(20091225);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int e = -30; e <= 54; ++e)
        for (int i = 0; i < 2000; ++i)
            values.push_back(std::ldexp(unit(random), e));
    int differ = 0;
    for (const double v : values)
        if (Money::fromDouble(v) != library(v) && ++differ <= 5)
            ADD_FAILURE() << "differs for " << v;
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(Money::fromDouble(1 / 32.0), Money::fromRaw(312)); // 312.5 to the even 312
    EXPECT_EQ(Money::fromDouble(3 / 32.0), Money::fromRaw(938)); // 937.5 to the even 938
    EXPECT_EQ(Money::fromDouble(-1 / 32.0), Money::fromRaw(-312));
}

} // namespace

// Visit sums in money arithmetic: one visit's total and balance, the sums of many visits, and the
// totals line's text.
#pragma once

#include "core/Money.h"

#include <QString>
#include <optional>
#include <unordered_map>

namespace data {

class TDataSet;
class TField;

// A visit's three stored amounts; nullopt where the stored value cannot be read as money (it
// shows "BCD overflow").
struct TVisitAmounts {
    std::optional<Money> labour, material, paid;
};

// A visit's total and balance as its calculated fields give them back: each is kept as a double
// and read back as money.
struct TVisitSums {
    Money total, balance;
};

// The sums of one visit; nullopt when a result lies outside the money range.
std::optional<TVisitSums> visitSums(Money labour, Money material, Money paid);

// The sums of a run of visits, added one at a time, in exact money arithmetic.
class TVisitTotals {
public:
    enum class Status {
        Formed,           // every amount read and every sum formed
        UnreadableAmount, // some stored amount cannot be read
        TooLarge,         // some sum lies outside the money range or its text
    };

    // Adds one visit and returns its own sums (nullopt when they cannot be formed).
    std::optional<TVisitSums> add(const TVisitAmounts& visit);
    // Adds the visits another run has summed (the sums of several customers).
    void add(const TVisitTotals& other);

    Status status() const;
    bool formed() const { return status() == Status::Formed; }
    // The sums so far; meaningful only while formed.
    Money total() const { return total_.value_or(Money{}); }
    Money paid() const { return paid_.value_or(Money{}); }
    Money balance() const { return balance_.value_or(Money{}); }

private:
    std::optional<Money> total_ = Money{}, paid_ = Money{}, balance_ = Money{};
    bool unreadable_ = false;
};

// The sums of every visit of an open visit set (fields f_iscilik, f_tutar and f_odeme), read
// through a copy of its cursor: the current record, the record window and the events stay as
// they are. Raises what TDataSet::readRecords raises.
TVisitTotals sumVisits(const TDataSet& visits);
// The same per customer: the visits' sums by their id_musteri.
std::unordered_map<qint64, TVisitTotals> sumVisitsByCustomer(const TDataSet& visits);

// The fields of a visit set that its calculated fields read and write, looked up once: a set's
// declared fields live as long as the set (fields made at open live until it closes).
struct TVisitFields {
    explicit TVisitFields(const TDataSet& visits);
    TField &labour, &material, &paid, &total, &balance;
};

// The calculated fields of the visit a visit set is calculating (its OnCalcFields): c_toplam and
// c_kalan, both left empty when an amount cannot be read or a sum cannot be formed.
void calculateVisit(TDataSet& visits);
void calculateVisit(const TVisitFields& visit);

// The money text of a sum (two decimals, grouped thousands, the regional separators, through the
// hundredths form); empty when the amount cannot be converted.
QString sumText(Money sum);

// The totals line: "Toplam Tutar:  150,50 TL  -   Toplam Ödeme:  120,00 TL  -   Kalan Ödeme:
// 30,50 TL  " (with exactly those blanks), or, when the sums are not formed, what it says instead.
QString totalsLineText(const TVisitTotals& totals);
// The totals line for three sums as they are (a sum without text leaves a blank before "TL").
QString totalsLineText(Money total, Money paid, Money balance);
// What the totals line says for sums it cannot form (empty while formed).
QString totalsProblemText(const TVisitTotals& totals);

// The words of the three sums, in the totals line's order.
inline constexpr const char* kTotalLabel = "Toplam Tutar:  ";
inline constexpr const char* kPaidLabel = "Toplam Ödeme:  ";
inline constexpr const char* kBalanceLabel = "Kalan Ödeme:  ";
// A sum's text with its unit, as the totals line writes it ("150,50 TL").
QString sumWithUnit(Money sum);

} // namespace data

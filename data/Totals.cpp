// Visit sums: one visit's calculated amounts, the sums of many visits and the totals line's text.
#include "data/Totals.h"

#include "data/DataSet.h"
#include "xlib/XLib.h"

namespace data {

namespace {

// A stored amount as a money field reads it: null is zero, anything but an amount is unreadable.
std::optional<Money> amountOf(const cursor::Value& value) {
    if (const auto* m = std::get_if<Money>(&value))
        return *m;
    if (std::holds_alternative<std::monostate>(value))
        return Money{};
    return std::nullopt;
}

// Whether the money text can write the sum: its hundredths form must stay in range.
bool hasText(Money sum) {
    std::int64_t hundredths = 0;
    return !__builtin_mul_overflow(sum.raw, std::int64_t(100), &hundredths);
}

} // namespace

std::optional<TVisitSums> visitSums(Money labour, Money material, Money paid) {
    const std::optional<Money> total = Money::sum(labour, material);
    if (!total)
        return std::nullopt;
    // The calculated fields keep doubles: the balance is formed from the total as it reads back.
    const std::optional<Money> totalBack = Money::fromDouble(total->toDouble());
    if (!totalBack)
        return std::nullopt;
    const std::optional<Money> balance = Money::difference(*totalBack, paid);
    if (!balance)
        return std::nullopt;
    const std::optional<Money> balanceBack = Money::fromDouble(balance->toDouble());
    if (!balanceBack)
        return std::nullopt;
    return TVisitSums{*totalBack, *balanceBack};
}

std::optional<TVisitSums> TVisitTotals::add(const TVisitAmounts& visit) {
    if (!visit.labour || !visit.material || !visit.paid) {
        unreadable_ = true;
        return std::nullopt;
    }
    const std::optional<TVisitSums> sums = visitSums(*visit.labour, *visit.material, *visit.paid);
    if (!sums) {
        total_.reset();
        return std::nullopt;
    }
    total_ = total_ ? Money::sum(*total_, sums->total) : std::nullopt;
    paid_ = paid_ ? Money::sum(*paid_, *visit.paid) : std::nullopt;
    balance_ = balance_ ? Money::sum(*balance_, sums->balance) : std::nullopt;
    return sums;
}

void TVisitTotals::add(const TVisitTotals& other) {
    unreadable_ = unreadable_ || other.unreadable_;
    const auto join = [](std::optional<Money>& mine, const std::optional<Money>& theirs) {
        mine = mine && theirs ? Money::sum(*mine, *theirs) : std::nullopt;
    };
    join(total_, other.total_);
    join(paid_, other.paid_);
    join(balance_, other.balance_);
}

TVisitTotals::Status TVisitTotals::status() const {
    if (unreadable_)
        return Status::UnreadableAmount;
    // A sum too large for the money text would show as a blank beside "TL".
    if (!total_ || !paid_ || !balance_ || !hasText(*total_) || !hasText(*paid_) ||
        !hasText(*balance_))
        return Status::TooLarge;
    return Status::Formed;
}

TVisitTotals sumVisits(const TDataSet& visits) {
    const std::vector<const TField*> amounts = {&visits.fieldByName(QStringLiteral("f_iscilik")),
                                                &visits.fieldByName(QStringLiteral("f_tutar")),
                                                &visits.fieldByName(QStringLiteral("f_odeme"))};
    TVisitTotals totals;
    visits.readRecords(amounts, [&totals](const TRecordValues& v) {
        totals.add({amountOf(v[0]), amountOf(v[1]), amountOf(v[2])});
    });
    return totals;
}

std::unordered_map<qint64, TVisitTotals> sumVisitsByCustomer(const TDataSet& visits) {
    const std::vector<const TField*> fields = {&visits.fieldByName(QStringLiteral("id_musteri")),
                                               &visits.fieldByName(QStringLiteral("f_iscilik")),
                                               &visits.fieldByName(QStringLiteral("f_tutar")),
                                               &visits.fieldByName(QStringLiteral("f_odeme"))};
    std::unordered_map<qint64, TVisitTotals> totals;
    // A customer's visits mostly follow each other: the last one's sums are kept at hand.
    qint64 lastCustomer = 0;
    TVisitTotals* last = nullptr;
    visits.readRecords(fields, [&](const TRecordValues& v) {
        const cursor::Value id = v[0];
        const qint64* customer = std::get_if<qint64>(&id);
        if (!customer)
            return;
        if (!last || *customer != lastCustomer) {
            last = &totals[*customer];
            lastCustomer = *customer;
        }
        last->add({amountOf(v[1]), amountOf(v[2]), amountOf(v[3])});
    });
    return totals;
}

TVisitFields::TVisitFields(const TDataSet& visits)
    : labour(visits.fieldByName(QStringLiteral("f_iscilik"))),
      material(visits.fieldByName(QStringLiteral("f_tutar"))),
      paid(visits.fieldByName(QStringLiteral("f_odeme"))),
      total(visits.fieldByName(QStringLiteral("c_toplam"))),
      balance(visits.fieldByName(QStringLiteral("c_kalan"))) {}

void calculateVisit(TDataSet& visits) {
    calculateVisit(TVisitFields(visits));
}

void calculateVisit(const TVisitFields& visit) {
    const std::optional<Money> labour = visit.labour.tryAsMoney();
    const std::optional<Money> material = visit.material.tryAsMoney();
    const std::optional<Money> paid = visit.paid.tryAsMoney();
    // An unreadable amount or a result outside the money range leaves both cells empty; the
    // other visits stay usable.
    if (!labour || !material || !paid || !visitSums(*labour, *material, *paid))
        return;
    visit.total.setAsMoney(*labour + *material);
    // The balance is formed from the total as the field gives it back.
    visit.balance.setAsMoney(visit.total.asMoney() - *paid);
}

QString sumText(Money sum) {
    std::int64_t hundredths = 0;
    if (__builtin_mul_overflow(sum.raw, std::int64_t(100), &hundredths))
        return {};
    return xlib::moneyTextFromHundredths(Money::fromRaw(hundredths));
}

QString sumWithUnit(Money sum) {
    return sumText(sum) + QStringLiteral(" TL");
}

QString totalsProblemText(const TVisitTotals& totals) {
    switch (totals.status()) {
    case TVisitTotals::Status::Formed:
        break;
    case TVisitTotals::Status::UnreadableAmount:
        return QStringLiteral("Toplamlar hesaplanamadı: okunamayan bir tutar var");
    case TVisitTotals::Status::TooLarge:
        return QStringLiteral("Toplamlar hesaplanamadı: tutarlar çok büyük");
    }
    return {};
}

QString totalsLineText(Money total, Money paid, Money balance) {
    const QString gap = QStringLiteral("  -   ");
    return QString::fromUtf8(kTotalLabel) + sumWithUnit(total) + gap +
           QString::fromUtf8(kPaidLabel) + sumWithUnit(paid) + gap +
           QString::fromUtf8(kBalanceLabel) + sumWithUnit(balance) + QStringLiteral("  ");
}

QString totalsLineText(const TVisitTotals& totals) {
    if (!totals.formed())
        return totalsProblemText(totals);
    return totalsLineText(totals.total(), totals.paid(), totals.balance());
}

} // namespace data

// The statement, the service form and the debtors list, read through the data layer's record
// sets so that every amount and date reads as it does on the screen.
#include "reports/Papers.h"

#include "core/Errors.h"
#include "core/RegionalSettings.h"
#include "data/Connection.h"
#include "data/FieldText.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "data/ShopHeading.h"
#include "data/Totals.h"
#include "engine/CursorCollation.h"
#include "platform/Jpeg.h"

#include <QDate>
#include <QFile>
#include <algorithm>
#include <unordered_map>

namespace reports {

namespace {

using data::TDataSet;
using data::TQuery;

QString today() {
    return data::fieldtext::dateTimeText(QDateTime(QDate::currentDate(), QTime(0, 0)),
                                         core::formatSettings());
}

QString text(const TDataSet& set, const char* field) {
    return set.fieldByName(QString::fromLatin1(field)).displayText();
}

std::pair<QString, QString> pair(const TDataSet& set, const char* field) {
    const data::TField& f = set.fieldByName(QString::fromLatin1(field));
    return {f.displayName(), f.displayText()};
}

// The running balance and other sums in the grid's money format.
QString amountText(Money amount) {
    return data::fieldtext::currencyText(amount, core::formatSettings());
}

data::TVisitAmounts amountsOf(const TDataSet& visits) {
    return {visits.fieldByName(QStringLiteral("f_iscilik")).tryAsMoney(),
            visits.fieldByName(QStringLiteral("f_tutar")).tryAsMoney(),
            visits.fieldByName(QStringLiteral("f_odeme")).tryAsMoney()};
}

// The three sums in the totals line's words, one a line, or what it says when they cannot be
// formed.
TPaperSums sumLines(const data::TVisitTotals& totals) {
    if (!totals.formed())
        return {{data::totalsProblemText(totals)}};
    return {{QString::fromUtf8(data::kTotalLabel) + data::sumWithUnit(totals.total()),
             QString::fromUtf8(data::kPaidLabel) + data::sumWithUnit(totals.paid()),
             QString::fromUtf8(data::kBalanceLabel) + data::sumWithUnit(totals.balance())}};
}

// A customer record set on one customer (empty when there is none with that id).
void openCustomer(TQuery& customer, qint64 id) {
    customer.addSql(QStringLiteral("select * from t_musteri where id=") + QString::number(id));
    data::declareCustomerFields(customer);
    customer.open();
}

// A visit record set with its calculated fields, as the main window has it.
void openVisits(TQuery& visits, const QString& sql) {
    visits.addSql(sql);
    data::declareServiceFields(visits);
    visits.OnCalcFields = [](TDataSet& ds) { data::calculateVisit(ds); };
    visits.open();
}

TPaperFields customerFields(const TDataSet& customer) {
    return {{pair(customer, "f_adi"), pair(customer, "f_arac_plaka"), pair(customer, "f_tel"),
             pair(customer, "f_arac_marka"), pair(customer, "f_gsm"),
             pair(customer, "f_arac_model"), pair(customer, "f_adres"),
             pair(customer, "f_arac_yil")}};
}

} // namespace

TPaperHeading paperHeading(const QString& applicationDirectory) {
    const data::TShopHeading shop = data::shopHeading(applicationDirectory);
    if (shop.isEmpty()) {
        QFile logo(QStringLiteral(":/images/logo.jpg"));
        QImage picture;
        if (logo.open(QIODevice::ReadOnly))
            picture = platform::decodeJpeg(logo.readAll());
        return {QStringLiteral("Korvela Takip"), {}, picture};
    }
    TPaperHeading heading{shop.name, {}, {}};
    if (!shop.address.isEmpty())
        heading.lines << shop.address;
    if (!shop.phone.isEmpty())
        heading.lines << QStringLiteral("Tel: ") + shop.phone;
    QStringList tax;
    if (!shop.taxOffice.isEmpty())
        tax << QStringLiteral("Vergi Dairesi: ") + shop.taxOffice;
    if (!shop.taxNumber.isEmpty())
        tax << QStringLiteral("Vergi No: ") + shop.taxNumber;
    if (!tax.isEmpty())
        heading.lines << tax.join(QStringLiteral("   "));
    return heading;
}

TPaper statementPaper(data::TConnection& connection, qint64 customerId,
                      const TPaperHeading& heading) {
    TQuery customer(QStringLiteral("qryCustomer"), &connection);
    openCustomer(customer, customerId);
    if (customer.isEmpty())
        throw EDatabaseError(QStringLiteral("There is no customer with the id %1").arg(customerId));
    TPaper paper{heading, QString::fromUtf8(kStatementTitle), today(), {}};
    paper.blocks.emplace_back(customerFields(customer));

    // Visits without a date come last.
    TQuery visits(QStringLiteral("qryVisits"), &connection);
    openVisits(visits, QStringLiteral("select * from t_servis where id_musteri=%1 "
                                      "order by (f_tarih is null), f_tarih, id")
                           .arg(customerId));
    TPaperTable table{{{visits.fieldByName(QStringLiteral("f_tarih")).displayName(), 1.35},
                       {visits.fieldByName(QStringLiteral("f_km")).displayName(), 0.6, true},
                       {visits.fieldByName(QStringLiteral("f_islem")).displayName(), 1.8},
                       {visits.fieldByName(QStringLiteral("c_toplam")).displayName(), 0.95, true},
                       {visits.fieldByName(QStringLiteral("f_odeme")).displayName(), 0.95, true},
                       {QStringLiteral("Bakiye"), 0.95, true}},
                      {}};
    data::TVisitTotals totals;
    for (visits.first(); !visits.eof(); visits.next()) {
        totals.add(amountsOf(visits));
        // After a visit whose sums cannot be formed the balance so far is unknown.
        table.rows.push_back({text(visits, "f_tarih"), text(visits, "f_km"),
                              text(visits, "f_islem"), text(visits, "c_toplam"),
                              text(visits, "f_odeme"),
                              totals.formed() ? amountText(totals.balance()) : QString()});
    }
    paper.blocks.emplace_back(std::move(table));
    paper.blocks.emplace_back(sumLines(totals));
    return paper;
}

TPaper serviceFormPaper(data::TConnection& connection, qint64 visitId,
                        const TPaperHeading& heading) {
    TQuery visit(QStringLiteral("qryVisit"), &connection);
    openVisits(visit, QStringLiteral("select * from t_servis where id=%1").arg(visitId));
    if (visit.isEmpty())
        throw EDatabaseError(QStringLiteral("There is no visit with the id %1").arg(visitId));
    TQuery customer(QStringLiteral("qryCustomer"), &connection);
    openCustomer(customer, visit.fieldByName(QStringLiteral("id_musteri")).asInteger());

    TPaper paper{heading, QString::fromUtf8(kServiceFormTitle), today(), {}};
    if (!customer.isEmpty())
        paper.blocks.emplace_back(customerFields(customer));
    paper.blocks.emplace_back(TPaperFields{{pair(visit, "f_tarih"), pair(visit, "f_km")}});
    for (const char* field : {"f_ariza", "f_islem", "f_parca", "f_malzeme"}) {
        const auto [label, value] = pair(visit, field);
        paper.blocks.emplace_back(TPaperText{label, value});
    }
    TPaperSums amounts;
    for (const char* field : {"f_iscilik", "f_tutar", "c_toplam", "f_odeme", "c_kalan"}) {
        const auto [label, value] = pair(visit, field);
        amounts.lines << label + QStringLiteral(":  ") + value;
    }
    data::TVisitTotals totals;
    totals.add(amountsOf(visit));
    if (!totals.formed())
        amounts.lines << data::totalsProblemText(totals);
    paper.blocks.emplace_back(std::move(amounts));
    // A memo's display text is only a marker ("(MEMO)"): the note itself is printed.
    const data::TField& note = visit.fieldByName(QStringLiteral("f_not"));
    paper.blocks.emplace_back(TPaperText{note.displayName(), note.asString()});
    paper.blocks.emplace_back(
        TPaperSignatures{{QStringLiteral("Teslim Eden"), QStringLiteral("Teslim Alan")}});
    return paper;
}

namespace {

// A customer who owes, or whose sums cannot be formed, as the debtors list shows them.
struct Debtor {
    QStringList cells; // plate, name, phone, cell number
    data::TVisitTotals totals;
    bool formed;
    Money balance;
    std::u16string nameKey;
};

// Every visit's amounts, summed per customer with the totals line's arithmetic.
std::unordered_map<qint64, data::TVisitTotals> sumsPerCustomer(data::TConnection& connection) {
    TQuery visits(QStringLiteral("qryVisits"), &connection);
    visits.addSql(QStringLiteral("select id_musteri, f_iscilik, f_tutar, f_odeme from t_servis"));
    visits.addField(QStringLiteral("id_musteri"), data::TFieldType::ftInteger);
    for (const char* amount : {"f_iscilik", "f_tutar", "f_odeme"})
        visits.addField(QString::fromLatin1(amount), data::TFieldType::ftBCD);
    visits.open();
    return data::sumVisitsByCustomer(visits);
}

// The customers who owe: the largest balance first; sums that cannot be formed after every
// formed one; then names.
std::vector<Debtor> readDebtors(data::TConnection& connection) {
    const std::unordered_map<qint64, data::TVisitTotals> perCustomer = sumsPerCustomer(connection);
    std::vector<Debtor> debtors;
    TQuery customers(QStringLiteral("qryCustomers"), &connection);
    customers.addSql(QStringLiteral("select id, f_arac_plaka, f_adi, f_tel, f_gsm from t_musteri"));
    customers.addField(QStringLiteral("id"), data::TFieldType::ftAutoInc);
    for (const char* text : {"f_arac_plaka", "f_adi", "f_tel", "f_gsm"})
        customers.addField(QString::fromLatin1(text), data::TFieldType::ftWideString);
    customers.open();
    const auto textOf = [](const cursor::Value& v) {
        const QString* s = std::get_if<QString>(&v);
        return s ? *s : QString();
    };
    customers.readRecords({&customers.field(0), &customers.field(1), &customers.field(2),
                           &customers.field(3), &customers.field(4)},
                          [&](const data::TRecordValues& v) {
                              const cursor::Value key = v[0];
                              const qint64* id = std::get_if<qint64>(&key);
                              const auto found = id ? perCustomer.find(*id) : perCustomer.end();
                              if (found == perCustomer.end())
                                  return;
                              const data::TVisitTotals& t = found->second;
                              const bool formed = t.formed();
                              if (formed && t.balance() <= Money{})
                                  return;
                              const QString name = textOf(v[2]);
                              debtors.push_back({{textOf(v[1]), name, textOf(v[3]), textOf(v[4])},
                                                 t,
                                                 formed,
                                                 t.balance(),
                                                 cursor::collationKey(name)});
                          });
    std::stable_sort(debtors.begin(), debtors.end(), [](const Debtor& a, const Debtor& b) {
        if (a.formed != b.formed)
            return a.formed;
        if (a.formed && a.balance != b.balance)
            return a.balance > b.balance;
        return a.nameKey < b.nameKey;
    });
    return debtors;
}

// The debtors' table under the customer grid's titles; all takes every debtor's sums.
TPaperTable debtorsTable(const std::vector<Debtor>& debtors, data::TVisitTotals& all) {
    TQuery labels(QStringLiteral("qryLabels"));
    data::declareCustomerFields(labels);
    const auto title = [&labels](const char* field) {
        return labels.fieldByName(QString::fromLatin1(field)).displayName();
    };
    TPaperTable table{{{title("f_arac_plaka"), 0.8},
                       {title("f_adi"), 1.2},
                       {title("f_tel"), 1.0},
                       {title("f_gsm"), 1.0},
                       {QStringLiteral("Toplam Tutar"), 1.0, true},
                       {QStringLiteral("Toplam Ödeme"), 1.0, true},
                       {QStringLiteral("Kalan Ödeme"), 1.0, true}},
                      {}};
    table.rows.reserve(debtors.size());
    const QString notFormed = QStringLiteral("hesaplanamadı");
    for (const Debtor& debtor : debtors) {
        QStringList row = debtor.cells;
        if (debtor.formed)
            row << data::sumWithUnit(debtor.totals.total())
                << data::sumWithUnit(debtor.totals.paid())
                << data::sumWithUnit(debtor.totals.balance());
        else
            row << notFormed << notFormed << notFormed;
        table.rows.push_back(std::move(row));
        all.add(debtor.totals);
    }
    return table;
}

} // namespace

TPaper debtorsPaper(data::TConnection& connection, const TPaperHeading& heading) {
    const std::vector<Debtor> debtors = readDebtors(connection);
    TPaper paper{heading, QString::fromUtf8(kDebtorsTitle), today(), {}};
    data::TVisitTotals all;
    paper.blocks.emplace_back(debtorsTable(debtors, all));
    TPaperSums sums = sumLines(all);
    sums.lines.prepend(QStringLiteral("Borçlu müşteri sayısı: %1").arg(debtors.size()));
    paper.blocks.emplace_back(std::move(sums));
    return paper;
}

} // namespace reports

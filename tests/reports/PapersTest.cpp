// The three papers written as PDF and read back with pdftotext, every amount, running balance
// and sum compared line by line with what a second client (sqlite3) works out from the file.
#include "reports/Papers.h"
#include "core/Errors.h"
#include "data/Connection.h"
#include "tests/reports/PdfText.h"
#include "tests/support/TestDatabase.h"

#include <QDate>
#include <QFile>
#include <gtest/gtest.h>

using namespace papertest;
using testsupport::TestDatabase;

namespace {

// Rows of a query run by the sqlite3 program on the file, each a list of its columns.
std::vector<QStringList> sqliteRows(const QString& path, const QString& sql) {
    QProcess p;
    p.start("sqlite3", {"-separator", "\x1f", path, sql});
    p.waitForFinished(60000);
    std::vector<QStringList> rows;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
        if (!line.isEmpty())
            rows.push_back(line.split('\x1f'));
    return rows;
}

// A stored date-time as the screen shows it under Turkish settings.
QString shownDate(const QString& iso) {
    const QDateTime t = QDateTime::fromString(iso, "yyyy-MM-dd HH:mm:ss");
    return t.time() == QTime(0, 0) ? t.toString("dd.MM.yyyy") : t.toString("dd.MM.yyyy HH:mm:ss");
}

class Papers : public ::testing::Test {
protected:
    void SetUp() override {
        // Opened by the first paper, after the test has filled the file.
        connection.setConnectionString(data::korvelaConnectionString(db.directory()));
    }
    reports::TPaperHeading heading() { return reports::paperHeading(db.directory()); }
    QString write(const reports::TPaper& paper, const char* name) {
        const QString path = dir.path() + '/' + name;
        reports::writePdf(paper, path);
        return path;
    }
    qint64 customer(const char* name, const char* plate, const char* phone = "",
                    const char* cell = "") {
        const qint64 id = db.addCustomer(QString::fromUtf8(name), QString::fromUtf8(plate));
        db.exec(QString("update t_musteri set f_tel = '%1', f_gsm = '%2', f_arac_marka = 'Fiat', "
                        "f_arac_model = 'Doblo', f_arac_yil = '2005' where id = %3")
                    .arg(QString::fromUtf8(phone), QString::fromUtf8(cell))
                    .arg(id));
        return id;
    }

    TestDatabase db;
    data::TConnection connection;
    QTemporaryDir dir;
};

TEST_F(Papers, AStatementOfThreeHundredVisitsShowsEveryAmountAndRunningBalanceOnSeveralPages) {
    const qint64 id = customer("Şükrü Güneş", "34 SG 1907", "0212 274 55 66", "0532 909 12 12");
    const qint64 other = customer("Veli", "06 V 1");
    db.addVisit(other, "999.0000", "", "");
    // Dates out of order in the file, some with a time, some amounts missing, one overpaid.
    for (int i = 0; i < 300; ++i) {
        const QDate day = QDate(2008, 1, 1).addDays((i * 37) % 300);
        const QString time = i % 5 == 0 ? " 14:30:00" : " 00:00:00";
        const QString labour =
            i % 11 == 0 ? QString() : QString("%1.%2").arg(50 + i).arg(i % 4 * 25);
        const QString material = i % 7 == 0 ? QString() : QString("%1.5000").arg(i * 13 % 900);
        const QString paid = i % 3 == 0 ? QString()
                             : i == 100 ? QString("5000.0000")
                                        : QString("%1.0000").arg(40 + i % 60);
        const qint64 visit =
            db.addVisit(id, labour, material, paid, day.toString("yyyy-MM-dd") + time);
        db.exec(QString("update t_servis set f_km = '%1', f_islem = 'İş %2' where id = %3")
                    .arg(40000 + i * 150)
                    .arg(i)
                    .arg(visit));
    }
    const QString path = write(reports::statementPaper(connection, id, heading()), "ekstre.pdf");

    // The second client's view: every visit in date order with its amounts in hundredths and
    // the balance so far.
    const auto expected = sqliteRows(
        db.path(),
        QString("select f_tarih, f_km, f_islem, "
                "cast(round((coalesce(f_iscilik, 0) + coalesce(f_tutar, 0)) * 100) as integer), "
                "f_odeme is null, cast(round(coalesce(f_odeme, 0) * 100) as integer), "
                "sum(cast(round((coalesce(f_iscilik, 0) + coalesce(f_tutar, 0) - "
                "coalesce(f_odeme, 0)) * 100) as integer)) over (order by f_tarih, id) "
                "from t_servis where id_musteri = %1 order by f_tarih, id")
            .arg(id));
    ASSERT_EQ(expected.size(), 300u);

    const QStringList pages = pdfPages(path);
    ASSERT_GE(pages.size(), 5);
    std::vector<QStringList> rows;
    int headers = 0;
    static const QRegularExpression dateStart("^\\d\\d\\.\\d\\d\\.\\d{4}");
    for (int p = 0; p < pages.size(); ++p) {
        const QStringList lines = pages[p].split('\n');
        // Every page repeats the table's titles and says its number.
        EXPECT_TRUE(lines.contains(QRegularExpression(
            "^\\s*Tarih\\s{2,}KM\\s{2,}Yapılan İşlem\\s{2,}Toplam Tutar\\s{2,}Alınan Ödeme\\s{2,}"
            "Bakiye\\s*$")))
            << "page " << p + 1;
        EXPECT_TRUE(pages[p].contains(QString("Sayfa %1 / %2").arg(p + 1).arg(pages.size())));
        for (const QString& line : lines) {
            if (line.contains(QRegularExpression("^\\s*Tarih\\s{2,}KM")))
                ++headers;
            if (dateStart.match(line.trimmed()).hasMatch() && cells(line).size() >= 4)
                rows.push_back(cells(line)); // the date the paper was made stands alone
        }
    }
    EXPECT_EQ(headers, pages.size());
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QStringList& e = expected[i];
        QStringList want = {shownDate(e[0]), e[1], e[2], turkishMoney(e[3].toLongLong())};
        if (e[4] == "0") // a payment that is null shows nothing
            want << turkishMoney(e[5].toLongLong());
        want << turkishMoney(e[6].toLongLong());
        EXPECT_EQ(rows[i], want) << "visit row " << i + 1;
    }

    // The sums at the end, in the totals line's words.
    const auto sums = sqliteRows(
        db.path(),
        QString("select cast(round(sum(coalesce(f_iscilik, 0) + coalesce(f_tutar, 0)) * 100) as "
                "integer), cast(round(sum(coalesce(f_odeme, 0)) * 100) as integer) from t_servis "
                "where id_musteri = %1")
            .arg(id));
    const qint64 total = sums[0][0].toLongLong(), paid = sums[0][1].toLongLong();
    const QStringList last = pages.last().split('\n');
    for (const QString& sum :
         {"Toplam Tutar: " + turkishMoney(total), "Toplam Ödeme: " + turkishMoney(paid),
          "Kalan Ödeme: " + turkishMoney(total - paid)})
        EXPECT_EQ(
            last.filter(QRegularExpression("^\\s*" + QRegularExpression::escape(sum) + "\\s*$"))
                .size(),
            1)
            << sum.toStdString();
    EXPECT_EQ(expected.back()[6].toLongLong(), total - paid);

    // The customer, vehicle and heading, with the Turkish letters a reader's search finds.
    EXPECT_TRUE(pages[0].contains("Müşteri Adı: Şükrü Güneş"));
    EXPECT_TRUE(pages[0].contains("Araç Plakası: 34 SG 1907"));
    EXPECT_TRUE(pages[0].contains("Araç Markası: Fiat"));
    EXPECT_TRUE(pages[0].contains("Cep Telefonu: 0532 909 12 12"));
    EXPECT_TRUE(pages[0].contains("Korvela Takip"));
    EXPECT_TRUE(pages[0].contains("Hesap Ekstresi"));
    EXPECT_FALSE(pdfText(path).contains("999,00")); // nothing of the other customer
}

TEST_F(Papers, AnUnreadableAmountReadsAsOnTheScreenAndTheSumsSayTheyCannotBeFormed) {
    const qint64 id = customer("Ahmet", "34 A 1");
    db.addVisit(id, "100.0000", "50.5000", "120.0000", "2008-12-01 00:00:00");
    const qint64 bad = db.addVisit(id, "10.0000", "0.0000", "0.0000", "2008-12-02 00:00:00");
    db.addVisit(id, "5.0000", "", "", "2008-12-03 00:00:00");
    db.exec(QString("update t_servis set f_odeme = 'abc' where id = %1").arg(bad));
    const QStringList lines =
        pdfText(write(reports::statementPaper(connection, id, heading()), "e.pdf")).split('\n');
    std::vector<QStringList> rows;
    for (const QString& line : lines)
        if (line.trimmed().startsWith("0") && line.contains(".12.2008"))
            rows.push_back(cells(line));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], QStringList({"01.12.2008", "150,50 TL", "120,00 TL", "30,50 TL"}));
    // The bad payment shows as on the screen; the visit's total and the balance from there on
    // cannot be formed and stay empty.
    EXPECT_EQ(rows[1], QStringList({"02.12.2008", "BCD overflow"}));
    EXPECT_EQ(rows[2], QStringList({"03.12.2008", "5,00 TL"}));
    EXPECT_TRUE(lines.contains(
        QRegularExpression("^\\s*Toplamlar hesaplanamadı: okunamayan bir tutar var\\s*$")));
    EXPECT_FALSE(lines.join('\n').contains("Toplam Tutar: "));
}

TEST_F(Papers, TheDebtorsListHasEveryCustomerWhoOwesLargestFirstAndItsSums) {
    const qint64 a = customer("Ahmet Yılmaz", "34 ABC 123", "0216 345 12 34", "0532 412 55 10");
    const qint64 b = customer("Şükrü Güneş", "34 SG 1907", "0212 274 55 66", "0532 909 12 12");
    const qint64 c = customer("Paid Up", "06 P 1");
    const qint64 d = customer("Over Paid", "06 O 2");
    customer("No Visits", "06 N 3");
    const qint64 e = customer("Çağlar Şimşek", "06 CG 789", "0312 425 66 90", "");
    db.addVisit(a, "100.0000", "", "50.0000");
    db.addVisit(a, "20.0000", "30.2500", "");
    db.addVisit(b, "1000.0000", "234.5000", "0.0000");
    db.addVisit(c, "10.0000", "", "10.0000");
    db.addVisit(d, "10.0000", "", "30.0000");
    db.addVisit(e, "1.0000", "", "");
    const QString path = write(reports::debtorsPaper(connection, heading()), "b.pdf");
    const QStringList lines = pdfText(path).split('\n');

    // The second client's list: balance above zero, largest first.
    const auto expected = sqliteRows(
        db.path(),
        "select m.f_arac_plaka, m.f_adi, coalesce(m.f_tel, ''), coalesce(m.f_gsm, ''), "
        "cast(round(sum(coalesce(f_iscilik, 0) + coalesce(f_tutar, 0)) * 100) as integer) t, "
        "cast(round(sum(coalesce(f_odeme, 0)) * 100) as integer) p "
        "from t_musteri m join t_servis s on s.id_musteri = m.id group by m.id "
        "having t - p > 0 order by t - p desc");
    ASSERT_EQ(expected.size(), 3u);
    std::vector<QStringList> rows;
    for (const QString& line : lines)
        if (line.contains(" TL") && !line.contains(":"))
            rows.push_back(cells(line));
    ASSERT_EQ(rows.size(), expected.size());
    qint64 total = 0, paid = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QStringList& x = expected[i];
        const qint64 t = x[4].toLongLong(), p = x[5].toLongLong();
        QStringList want = {x[0], x[1]};
        for (const QString& number : {x[2], x[3]})
            if (!number.isEmpty())
                want << number;
        want << turkishMoney(t) << turkishMoney(p) << turkishMoney(t - p);
        EXPECT_EQ(rows[i], want) << "debtor " << i + 1;
        total += t;
        paid += p;
    }
    EXPECT_TRUE(lines.contains(QRegularExpression("^\\s*Borçlu müşteri sayısı: 3\\s*$")));
    for (const QString& sum :
         {"Toplam Tutar: " + turkishMoney(total), "Toplam Ödeme: " + turkishMoney(paid),
          "Kalan Ödeme: " + turkishMoney(total - paid)})
        EXPECT_TRUE(
            lines.contains(QRegularExpression("^\\s*" + QRegularExpression::escape(sum) + "\\s*$")))
            << sum.toStdString();
    EXPECT_TRUE(pdfText(path).contains("Şükrü Güneş"));
}

TEST_F(Papers, ADebtorWithAnUnreadableAmountIsListedLastAndTheSumsCannotBeFormed) {
    const qint64 a = customer("Ahmet", "34 A 1");
    const qint64 b = customer("Bora", "34 B 2");
    const qint64 c = customer("Cem", "34 C 3");
    db.addVisit(a, "100.0000", "", "");
    db.addVisit(b, "500.0000", "", "");
    const qint64 bad = db.addVisit(c, "1.0000", "", "");
    db.addVisit(c, "900.0000", "", "");
    db.exec(QString("update t_servis set f_tutar = 'abc' where id = %1").arg(bad));
    const QStringList lines =
        pdfText(write(reports::debtorsPaper(connection, heading()), "b.pdf")).split('\n');
    std::vector<QStringList> rows;
    for (const QString& line : lines)
        if (line.trimmed().startsWith("34 "))
            rows.push_back(cells(line));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], QStringList({"34 B 2", "Bora", "500,00 TL", "0,00 TL", "500,00 TL"}));
    EXPECT_EQ(rows[1], QStringList({"34 A 1", "Ahmet", "100,00 TL", "0,00 TL", "100,00 TL"}));
    EXPECT_EQ(rows[2],
              QStringList({"34 C 3", "Cem", "hesaplanamadı", "hesaplanamadı", "hesaplanamadı"}));
    EXPECT_TRUE(lines.contains(
        QRegularExpression("^\\s*Toplamlar hesaplanamadı: okunamayan bir tutar var\\s*$")));
}

TEST_F(Papers, TheServiceFormHoldsTheWholeVisitOnOnePageWithTwoLinesToSign) {
    const qint64 id = customer("Ayşe Öztürk", "34 KLM 456", "0216 418 20 07", "0533 221 40 18");
    const qint64 visit = db.addVisit(id, "120.0000", "185.5000", "300.0000", "2008-03-12 10:15:00");
    db.exec(QString("update t_servis set f_km = '45000', f_ariza = 'Fren sesi', f_islem = 'Ön "
                    "balata değişimi', f_parca = 'Ön balata', f_malzeme = 'Fren hidroliği DOT4', "
                    "f_not = 'İlk servis kaydı.' where id = %1")
                .arg(visit));
    const QString path = write(reports::serviceFormPaper(connection, visit, heading()), "f.pdf");
    const QStringList pages = pdfPages(path);
    ASSERT_EQ(pages.size(), 1);
    const QString& page = pages[0];
    for (const char* text : {"Servis Formu",
                             "Müşteri Adı: Ayşe Öztürk",
                             "Araç Plakası: 34 KLM 456",
                             "Araç Modeli: Doblo",
                             "Tarih: 12.03.2008 10:15:00",
                             "KM: 45000",
                             "Arıza",
                             "Fren sesi",
                             "Yapılan İşlem",
                             "Ön balata değişimi",
                             "Parça",
                             "Kullanılan Malzeme",
                             "Fren hidroliği DOT4",
                             "İşçilik Tutarı:  120,00 TL",
                             "Malzeme Tutarı:  185,50 TL",
                             "Toplam Tutar:  305,50 TL",
                             "Alınan Ödeme:  300,00 TL",
                             "Kalan Ödeme:  5,50 TL",
                             "Açıklama",
                             "İlk servis kaydı.",
                             "Teslim Eden",
                             "Teslim Alan",
                             "Sayfa 1 / 1"})
        EXPECT_TRUE(flat(page).contains(flat(QString::fromUtf8(text)))) << text;
}

TEST_F(Papers, AMissingCustomerOrVisitIsAnErrorThatNamesIt) {
    try {
        reports::statementPaper(connection, 77, heading());
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "There is no customer with the id 77");
    }
    try {
        reports::serviceFormPaper(connection, 78, heading());
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "There is no visit with the id 78");
    }
}

TEST_F(Papers, TheShopsHeadingFromTheSettingsFileReplacesTheProgramsTitle) {
    const qint64 id = customer("Ahmet", "34 A 1");
    QFile ini(db.directory() + "Korvela.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Shop]\nName=Güneş Oto Servis\nAddress=\"Moda Cad. No: 14, Kadıköy\"\n"
              "Phone=0216 345 12 34\nTaxOffice=Kadıköy\nTaxNumber=1234567890\n");
    ini.close();
    const reports::TPaperHeading shop = heading();
    EXPECT_TRUE(shop.logo.isNull());
    const QString text = pdfText(write(reports::statementPaper(connection, id, shop), "s.pdf"));
    EXPECT_TRUE(text.contains("Güneş Oto Servis"));
    EXPECT_TRUE(text.contains("Moda Cad. No: 14, Kadıköy"));
    EXPECT_TRUE(text.contains("Tel: 0216 345 12 34"));
    EXPECT_TRUE(text.contains("Vergi Dairesi: Kadıköy"));
    EXPECT_TRUE(text.contains("Vergi No: 1234567890"));
    EXPECT_FALSE(text.contains("Korvela Takip"));
    QFile::remove(db.directory() + "Korvela.ini");
    EXPECT_FALSE(heading().logo.isNull()); // without the section: the program's logo
}

TEST_F(Papers, TheFirstPageHasNoInkOutsideItsMargins) {
    const qint64 id = customer("Ahmet Yılmaz", "34 ABC 123");
    for (int i = 0; i < 80; ++i)
        db.addVisit(id, "1234567.8900", "12.0000", "", "2008-12-25 14:30:00");
    db.exec("update t_servis set f_islem = 'Triger seti ve devirdaim pompası değişimi, motor "
            "yağı ve filtre, hava filtresi, polen filtresi, buji takımı' where id % 3 = 0");
    for (const auto& [name, paper] :
         {std::pair<const char*, reports::TPaper>{
              "statement", reports::statementPaper(connection, id, heading())},
          {"debtors", reports::debtorsPaper(connection, heading())},
          {"form", reports::serviceFormPaper(connection, 1, heading())}}) {
        const QImage page = pdfPage(write(paper, "m.pdf"), 1, 72);
        ASSERT_EQ(page.size(), QSize(595, 842)) << name; // A4 portrait at 72 dpi
        // 15 mm is 42.5 points: the pixels wholly outside stay white.
        int inked = 0, inkedInside = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const bool white = page.pixel(x, y) == qRgb(255, 255, 255);
                if (x <= 41 || x >= 553 || y <= 41 || y >= 800)
                    inked += !white;
                else
                    inkedInside += !white;
            }
        EXPECT_EQ(inked, 0) << name;
        EXPECT_GT(inkedInside, 1000) << name;
    }
}

} // namespace

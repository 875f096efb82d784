// korvela-admin: creates Korvela databases (empty, or with demonstration customers and visits);
// the import, backup, restore, check and export commands live in tools/admin/.
//
//   korvela-admin create PATH [--demo] [--keep]
//   korvela-admin upgrade PATH|CONNECTION   (a database of an earlier build; AdminUpgrade.h)
//   korvela-admin create CONNECTION [--keep]  and  copy SOURCE TARGET [--force]: ServerAdmin.h
//   korvela-admin statement|form|debtors ...: the papers as PDF files, PaperAdmin.h
//
// The program itself never creates its database; this tool does. An existing PATH is an error,
// unless --keep is given, which leaves the file exactly as it is and succeeds.
#include "core/Money.h"
#include "data/Schema.h"
#include "platform/Fonts.h"
#include "tools/AdminUpgrade.h"
#include "tools/PaperAdmin.h"
#include "tools/ServerAdmin.h"
#include "tools/admin/Commands.h"
#include "tools/admin/Sqlite.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <sqlite3.h>
#include <string>

namespace {

struct DemoCustomer {
    const char* plate;
    const char* name;
    const char* phone;
    const char* mobile;
    const char* mail;
    const char* taxOffice;
    const char* taxNumber;
    const char* date;
    const char* address;
    const char* make;
    const char* model;
    const char* year;
    const char* fuel;
    const char* colour;
    const char* note;
    int visits; // 0 to 5
};

const DemoCustomer kCustomers[] = {
    {"34 ABC 123", "Ahmet Yılmaz", "0216 345 12 34", "0532 412 55 10", "ahmet.yilmaz@example.com",
     "Kadıköy", "9876543210", "2007-03-12 10:15:00", "Moda Cad. No: 14 Kadıköy / İstanbul", "Fiat",
     "Doblo", "2005", "Dizel", "Beyaz", "Ticari araç, hafta içi gelir.", 3},
    {"34 KLM 456", "Ayşe Öztürk", "0216 418 20 07", "0533 221 40 18", "ayse.ozturk@example.com",
     "Üsküdar", "1234509876", "2007-04-02 14:00:00", "Bağlarbaşı Mah. Gül Sok. 3/5 Üsküdar",
     "Renault", "Clio", "2006", "Benzin", "Kırmızı", "", 5},
    {"06 CG 789", "Çağlar Şimşek", "0312 425 66 90", "0542 318 71 22", "caglar@example.com",
     "Çankaya", "4455667788", "2007-05-20 09:30:00", "Tunalı Hilmi Cad. 88/4 Çankaya / Ankara",
     "Volkswagen", "Passat", "2004", "Dizel", "Gri", "Faturayı şirkete kesiniz.", 2},
    {"35 IZ 1024", "İsmail Güneş", "0232 463 11 45", "0505 612 33 90", "ismail.gunes@example.com",
     "Karşıyaka", "5566778899", "2007-06-01 11:45:00", "Cemal Gürsel Cad. 210 Karşıyaka / İzmir",
     "Ford", "Focus", "2007", "Benzin", "Lacivert", "", 0},
    {"16 BRS 55", "Işıl Kılıç", "0224 233 98 76", "0530 744 21 09", "isil.kilic@example.com",
     "Nilüfer", "6677889900", "2007-07-15 16:20:00", "Fethiye Mah. Beşevler Sok. 7 Nilüfer / Bursa",
     "Toyota", "Corolla", "2003", "LPG", "Gümüş", "Müşteri randevusuz gelir.", 4},
    {"34 SO 2020", "Şükrü Özdemir", "0212 274 55 66", "0532 909 12 12", "sukru@example.com",
     "Beşiktaş", "7788990011", "2007-08-03 08:50:00", "Barbaros Bulvarı 44/2 Beşiktaş / İstanbul",
     "Opel", "Astra", "2002", "Benzin", "Siyah", "", 1},
    {"07 ANT 707", "Ümit Aydın", "0242 311 42 42", "0535 288 64 10", "umit.aydin@example.com",
     "Muratpaşa", "8899001122", "2007-09-10 13:10:00", "Lara Cad. 121 Muratpaşa / Antalya",
     "Hyundai", "Accent", "2001", "LPG", "Yeşil", "Taksi", 5},
    {"01 ADN 303", "Gülşen Doğan", "0322 457 12 80", "0536 412 09 87", "gulsen.dogan@example.com",
     "Seyhan", "9900112233", "2007-10-22 10:05:00", "Atatürk Cad. 55 Seyhan / Adana", "Peugeot",
     "206", "2005", "Benzin", "Sarı", "", 2},
    {"42 KNY 42", "Hüseyin Arslan", "0332 350 77 11", "0543 120 88 45",
     "huseyin.arslan@example.com", "Selçuklu", "1011121314", "2007-11-05 15:30:00",
     "Nalçacı Cad. 301 Selçuklu / Konya", "Fiat", "Linea", "2008", "Dizel", "Beyaz",
     "Garanti kapsamında.", 3},
    {"41 KOC 11", "Zeynep Koç", "0262 321 54 54", "0532 600 70 80", "zeynep.koc@example.com",
     "İzmit", "1516171819", "2007-12-18 09:00:00", "Yahya Kaptan Mah. 12 İzmit / Kocaeli", "Honda",
     "Civic", "2006", "Benzin", "Mavi", "", 1},
    {"34 OGZ 90", "Oğuz Çetin", "0216 577 30 30", "0544 310 20 10", "oguz.cetin@example.com",
     "Kartal", "2021222324", "2008-01-09 12:40:00", "Cevizli Mah. Tugay Yolu 18 Kartal", "Renault",
     "Megane", "2004", "Dizel", "Bordo", "", 4},
    {"26 ESK 260", "Derya Yıldız", "0222 230 11 22", "0505 300 40 50", "derya.yildiz@example.com",
     "Odunpazarı", "2526272829", "2008-02-14 17:15:00", "İsmet İnönü Cad. 9 Eskişehir", "Skoda",
     "Octavia", "2007", "Dizel", "Kahverengi", "Kışlık lastikler depoda.", 0},
    {"34 DMR 34", "Mehmet Demir", "0212 552 43 21", "0533 455 66 77", "mehmet.demir@example.com",
     "Bakırköy", "3031323334", "2008-03-03 08:30:00", "İstanbul Cad. 77 Bakırköy / İstanbul",
     "Ford", "Transit", "2003", "Dizel", "Beyaz", "Kasa araç, şirket: Demir Nakliyat.", 5},
    {"55 SMS 5", "Fatma Şahin", "0362 431 22 33", "0532 711 22 33", "fatma.sahin@example.com",
     "Samsun", "3536373839", "2008-03-28 11:00:00", "Atakum Sahil Yolu 66 Samsun", "Toyota",
     "Yaris", "2008", "Benzin", "Turuncu", "", 2},
    {"61 TRB 61", "Emre Karadeniz", "0462 326 54 32", "0531 987 65 43", "emre.k@example.com",
     "Trabzon", "4041424344", "2008-04-11 14:25:00", "Uzun Sokak 19 Ortahisar / Trabzon",
     "Volkswagen", "Golf", "2005", "Benzin", "Siyah", "", 3},
    {"34 OZK 100", "Özlem Özkan", "0216 360 90 90", "0542 808 09 09", "ozlem.ozkan@example.com",
     "Ataşehir", "4546474849", "2008-05-06 10:10:00", "Atatürk Mah. Girne Cad. 5 Ataşehir",
     "Nissan", "Micra", "2006", "Benzin", "Pembe", "Yedek anahtar bizde.", 1},
    {"20 DNZ 200", "Serkan Kurt", "0258 263 11 00", "0536 777 10 20", "serkan.kurt@example.com",
     "Pamukkale", "5051525354", "2008-05-30 16:45:00", "Saraylar Mah. 24 Merkezefendi / Denizli",
     "Fiat", "Albea", "2004", "LPG", "Gri", "", 4},
    {"34 GOK 77", "Gökhan Aslan", "0212 230 60 60", "0535 123 45 67", "gokhan.aslan@example.com",
     "Şişli", "5556575859", "2008-06-16 09:20:00", "Halaskargazi Cad. 190 Şişli / İstanbul", "BMW",
     "320i", "2006", "Benzin", "Lacivert", "Orijinal parça ister.", 2},
    {"27 GZT 27", "Elif Kaya", "0342 215 33 44", "0532 333 44 55", "elif.kaya@example.com",
     "Şahinbey", "6061626364", "2008-07-07 13:35:00", "Gazi Muhtar Paşa Bulvarı 14 Gaziantep",
     "Hyundai", "Getz", "2007", "Benzin", "Kırmızı", "", 0},
    {"38 KYS 38", "Burak Çelik", "0352 222 10 10", "0544 555 66 11", "burak.celik@example.com",
     "Melikgazi", "6566676869", "2008-08-19 10:50:00", "Sivas Cad. 120 Melikgazi / Kayseri",
     "Renault", "Kangoo", "2005", "Dizel", "Beyaz", "", 3},
    {"34 IST 1453", "İlknur Polat", "0212 631 14 53", "0505 145 31 45", "ilknur.polat@example.com",
     "Fatih", "7071727374", "2008-09-01 15:05:00", "Fevzipaşa Cad. 41 Fatih / İstanbul", "Citroën",
     "C3", "2006", "Benzin", "Mor", "Telefonla ulaşılamazsa e-posta atın.", 5},
    {"10 BLK 10", "Tuğba Erdoğan", "0266 241 75 75", "0533 241 75 75", "tugba.erdogan@example.com",
     "Karesi", "7576777879", "2008-10-13 11:30:00", "Milli Kuvvetler Cad. 8 Karesi / Balıkesir",
     "Opel", "Corsa", "2003", "Benzin", "Yeşil", "", 1},
    {"09 AYD 9", "Cem Aksoy", "0256 212 09 09", "0542 909 09 09", "cem.aksoy@example.com", "Efeler",
     "8081828384", "2008-11-24 08:40:00", "Adnan Menderes Bulvarı 33 Efeler / Aydın", "Dacia",
     "Logan", "2008", "Dizel", "Beyaz", "", 2},
    {"34 MUS 6", "Müşerref Yücel", "0216 411 06 06", "0532 060 60 60", "muserref@example.com",
     "Maltepe", "8586878889", "2008-12-08 14:15:00", "Bağdat Cad. 500 Maltepe / İstanbul",
     "Mercedes-Benz", "C 180", "2002", "Benzin", "Gümüş", "Eski müşteri, indirim uygulanır.", 4},
    {"33 MRS 33", "Barış Tekin", "0324 237 33 33", "0535 330 33 33", "baris.tekin@example.com",
     "Yenişehir", "9091929394", "2008-12-22 10:00:00", "Gazi Mustafa Kemal Bulvarı 3 Mersin",
     "Ford", "Fiesta", "2007", "Benzin", "Sarı", "", 3},
};

struct DemoWork {
    const char* fault;
    const char* work;
    const char* part;
    const char* material;
    const char* labour; // storage text; empty for no amount
    const char* materialAmount;
};

const DemoWork kWork[] = {
    {"Fren sesi", "Ön balata değişimi", "Ön balata", "Fren hidroliği DOT4", "120.0000", "185.5000"},
    {"Yağ değişim zamanı", "Periyodik bakım", "Yağ filtresi", "Motor yağı 5W-30 4 lt", "80.0000",
     "142.7500"},
    {"Klima soğutmuyor", "Klima gazı dolumu", "", "R134a gaz", "60.0000", "95.0000"},
    {"Marş basmıyor", "Akü değişimi", "Akü 60 Ah", "", "25.0000", "210.0000"},
    {"Direksiyon titriyor", "Rot balans ayarı", "", "Balans kurşunu", "70.0000", "12.5000"},
    {"Egzoz sesi", "Egzoz susturucu kaynağı", "Arka susturucu", "Kaynak teli", "90.0000",
     "160.0000"},
    {"Motor arıza lambası yanıyor", "Arıza tespiti ve bobin değişimi", "Ateşleme bobini", "",
     "150.0000", "240.0000"},
    {"Triger kayışı zamanı", "Triger seti ve devirdaim değişimi", "Triger seti", "Antifriz 3 lt",
     "350.0000", "520.0000"},
    {"Lastik patlak", "Lastik tamiri", "", "Yama", "15.0000", ""},
    {"Far yanmıyor", "Far ampulü değişimi", "H7 ampul", "", "", "18.9000"},
};

// Fills the demonstration rows: each customer's visits a few weeks apart with rising odometer
// readings, mostly paid, some partly, one overpaid and one without any amount.
int fillDemo(admin::Sqlite& db) {
    int visitCount = 0;
    int customerIndex = 0;
    for (const DemoCustomer& c : kCustomers) {
        const qint64 id = db.insert(
            "INSERT INTO t_musteri (f_arac_plaka, f_adi, f_tel, f_gsm, f_mail, f_vd, f_vn, "
            "f_tarih, f_adres, f_arac_marka, f_arac_model, f_arac_yil, f_arac_yakit, f_arac_renk, "
            "f_not) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            {QString::fromUtf8(c.plate), QString::fromUtf8(c.name), QString::fromUtf8(c.phone),
             QString::fromUtf8(c.mobile), QString::fromUtf8(c.mail), QString::fromUtf8(c.taxOffice),
             QString::fromUtf8(c.taxNumber), QString::fromUtf8(c.date),
             QString::fromUtf8(c.address), QString::fromUtf8(c.make), QString::fromUtf8(c.model),
             QString::fromUtf8(c.year), QString::fromUtf8(c.fuel), QString::fromUtf8(c.colour),
             QString::fromUtf8(c.note)});
        const QDate first = QDate::fromString(QString::fromUtf8(c.date).left(10), Qt::ISODate);
        for (int v = 0; v < c.visits; ++v) {
            const DemoWork& w = kWork[std::size_t(customerIndex * 3 + v) % std::size(kWork)];
            const QString date =
                first.addDays(20 + v * 47 + customerIndex % 9).toString(Qt::ISODate) +
                QStringLiteral(" %1:%2:00")
                    .arg(9 + (customerIndex + v) % 8, 2, 10, QChar('0'))
                    .arg((v * 15) % 60, 2, 10, QChar('0'));
            QString labour = QString::fromUtf8(w.labour);
            QString material = QString::fromUtf8(w.materialAmount);
            const Money total = Money::fromStorageText(labour).value_or(Money()) +
                                Money::fromStorageText(material).value_or(Money());
            QString paid;
            switch ((customerIndex + v) % 4) {
            case 0:
            case 1: // paid in full
                paid = total.toStorageText();
                break;
            case 2: // partly paid
                paid = Money::fromRaw(total.raw / 2 / Money::Scale * Money::Scale).toStorageText();
                break;
            case 3: // nothing paid yet
                break;
            }
            if (customerIndex == 1 && v == 0) // overpaid
                paid = (total + Money::fromUnits(50)).toStorageText();
            if (customerIndex == 6 && v == 2) // a visit whose amounts were never entered
                labour = material = paid = QString();
            db.insert("INSERT INTO t_servis (f_tarih, f_km, f_ariza, f_islem, f_parca, f_malzeme, "
                      "f_iscilik, f_tutar, f_odeme, id_musteri, f_not) VALUES "
                      "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                      {date, QString::number(45000 + customerIndex * 3100 + v * 7400),
                       QString::fromUtf8(w.fault), QString::fromUtf8(w.work),
                       QString::fromUtf8(w.part), QString::fromUtf8(w.material), labour, material,
                       paid, QString::number(id),
                       v == 0 ? QString::fromUtf8("İlk servis kaydı.") : QString()});
            ++visitCount;
        }
        ++customerIndex;
    }
    return visitCount;
}

int usage() {
    std::fprintf(stderr,
                 "usage: korvela-admin create PATH [--demo] [--keep]\n"
                 "       korvela-admin upgrade PATH\n"
                 "       korvela-admin upgrade CONNECTION\n"
                 "       korvela-admin create CONNECTION [--keep]\n"
                 "       korvela-admin copy SOURCE TARGET [--force]\n%s%s",
                 admin::careUsage(), paperadmin::usage());
    return 2;
}

// The papers are laid out with fonts and written through the toolkit's PDF writer, which need a
// GUI application object; without a display it draws off the screen.
int runPaperCommand(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The toolkit's remarks about its surroundings (no runtime folder and the like) are not the
    // command's to print: only its own messages and real errors reach the terminal.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "korvela-admin: %s\n", text.toUtf8().constData());
    });
    QGuiApplication app(argc, argv);
    platform::loadFonts();
    return paperadmin::run(app.arguments());
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && paperadmin::isPaperCommand({QString(), QString::fromLocal8Bit(argv[1])}))
        return runPaperCommand(argc, argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args[1] == "upgrade")
        return adminUpgrade(args);
    if (const int rc = serveradmin::run(args); rc >= 0) // a server target, or copy
        return rc;
    if (const int rc = admin::runCareCommand(args); rc != admin::kNotACareCommand)
        return rc;
    if (args.size() < 3 || args[1] != "create")
        return usage();
    QString path;
    bool demo = false, keep = false;
    for (int i = 2; i < args.size(); ++i) {
        if (args[i] == "--demo")
            demo = true;
        else if (args[i] == "--keep")
            keep = true;
        else if (path.isEmpty() && !args[i].startsWith("--"))
            path = args[i];
        else
            return usage();
    }
    if (path.isEmpty())
        return usage();
    const QByteArray shown = path.toUtf8();
    if (QFileInfo::exists(path)) {
        if (keep) {
            std::printf("korvela-admin: kept the existing '%s'\n", shown.constData());
            return 0;
        }
        std::fprintf(stderr, "korvela-admin: '%s' already exists (--keep leaves it as it is)\n",
                     shown.constData());
        return 1;
    }
    int visits = 0;
    try {
        admin::Sqlite db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 0);
        db.exec("PRAGMA foreign_keys = ON"); // as every connection to a Korvela file
        db.exec("BEGIN");
        db.exec(data::schemaSql());
        if (demo)
            visits = fillDemo(db);
        db.exec("COMMIT");
    } catch (const admin::Error& e) {
        QFile::remove(path); // never leave a half-made database behind
        std::fprintf(stderr, "korvela-admin: cannot create '%s': %s\n", shown.constData(),
                     e.cause.toUtf8().constData());
        return 1;
    }
    if (demo)
        std::printf("korvela-admin: created '%s' with %d customers and %d visits\n",
                    shown.constData(), int(std::size(kCustomers)), visits);
    else
        std::printf("korvela-admin: created the empty database '%s'\n", shown.constData());
    return 0;
}

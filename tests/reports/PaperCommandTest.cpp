// korvela-admin statement, form and debtors: the papers written without a window, and the
// refusals that leave no file behind.
#include "tests/reports/PdfText.h"
#include "tests/support/TestDatabase.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using testsupport::TestDatabase;

namespace {

struct AdminRun {
    int code = -1;
    QString out, err;
};

AdminRun admin(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM"); // the tool picks its own platform without a display
    env.remove("DISPLAY");
    p.setProcessEnvironment(env);
    p.start(KORVELA_ADMIN_PROGRAM, args);
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

class PaperCommand : public ::testing::Test {
protected:
    void SetUp() override {
        customer = db.addCustomer(QString::fromUtf8("Şükrü Güneş"), "34 SG 1907");
        visit = db.addVisit(customer, "100.0000", "50.5000", "120.0000");
    }
    QString out(const char* name) const { return dir.path() + '/' + name; }

    TestDatabase db;
    QTemporaryDir dir;
    qint64 customer = 0, visit = 0;
};

TEST_F(PaperCommand, WritesEachPaperAsAPdfFile) {
    const AdminRun statement =
        admin({"statement", db.path(), QString::number(customer), out("ekstre.pdf")});
    EXPECT_EQ(statement.code, 0) << statement.err.toStdString();
    EXPECT_EQ(statement.out,
              "korvela-admin: wrote '" + out("ekstre.pdf") + "' (Hesap Ekstresi, 1 page)\n");
    const QString text = papertest::pdfText(out("ekstre.pdf"));
    EXPECT_TRUE(text.contains(QString::fromUtf8("Şükrü Güneş")));
    EXPECT_TRUE(papertest::flat(text).contains(QString::fromUtf8("Kalan Ödeme: 30,50 TL")));

    const AdminRun form = admin({"form", db.path(), QString::number(visit), out("form.pdf")});
    EXPECT_EQ(form.code, 0) << form.err.toStdString();
    EXPECT_TRUE(papertest::pdfText(out("form.pdf")).contains("Teslim Alan"));

    const AdminRun debtors = admin({"debtors", db.path(), out("borclu.pdf")});
    EXPECT_EQ(debtors.code, 0) << debtors.err.toStdString();
    EXPECT_TRUE(papertest::pdfText(out("borclu.pdf"))
                    .contains(QString::fromUtf8("Borçlu müşteri sayısı: 1")));
}

TEST_F(PaperCommand, AMissingIdDatabaseOrFolderIsRefusedWithoutAFile) {
    const QString target = out("x.pdf");
    const struct {
        QStringList args;
        QString message;
    } refusals[] = {
        {{"statement", db.path(), "999", target},
         "korvela-admin: There is no customer with the id 999\n"},
        {{"form", db.path(), "999", target}, "korvela-admin: There is no visit with the id 999\n"},
        {{"statement", db.path(), "abc", target},
         "korvela-admin: 'abc' is not a customer id (a whole number above 0)\n"},
        {{"form", db.path(), "0", target},
         "korvela-admin: '0' is not a visit id (a whole number above 0)\n"},
        {{"debtors", dir.path() + "/none.mdb", target},
         "korvela-admin: there is no database file '" + dir.path() + "/none.mdb'\n"},
        {{"statement", db.path(), QString::number(customer), dir.path() + "/no/such/x.pdf"},
         "korvela-admin: Cannot write '" + dir.path() + "/no/such/x.pdf': "},
    };
    for (const auto& r : refusals) {
        const AdminRun run = admin(r.args);
        EXPECT_EQ(run.code, 1) << r.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(r.message)) << run.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(target));
        EXPECT_FALSE(QFileInfo::exists(dir.path() + "/no"));
        EXPECT_FALSE(QFileInfo::exists(dir.path() + "/none.mdb"));
    }
    // A wrong number of arguments is a usage error.
    EXPECT_EQ(admin({"statement", db.path(), target}).code, 2);
}

} // namespace

// Two workstations at once on one server: each a process of its own with the cursor engine, the
// same rows edited, deleted and added on both; every save lands or gets the conflict text, and
// nothing is lost or written twice.
#include "tests/pgengine/ServerTestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString kConflict = QStringLiteral("error\tRow cannot be located for updating. Some values "
                                         "may have been changed since it was last read");

class Workstation {
public:
    Workstation() {
        process_.start(QStringLiteral(SERVER_PEER), {servertest::connectionString()});
        EXPECT_TRUE(process_.waitForStarted(10000));
        EXPECT_EQ(reply(), "ready");
    }
    ~Workstation() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
    }
    // Sends a command without waiting for its reply.
    void send(const QString& command) {
        process_.write(command.toUtf8() + '\n');
        process_.waitForBytesWritten(10000);
    }
    QString reply() {
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(20000))
                return QStringLiteral("<no reply>");
        return QString::fromUtf8(process_.readLine()).chopped(1);
    }
    QString run(const QString& command) {
        send(command);
        return reply();
    }

private:
    QProcess process_;
};

class TwoWorkstations : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::resetTables();
        customer = servertest::scalar("INSERT INTO t_musteri (f_adi, f_tel) VALUES ('Ahmet', "
                                      "'111') RETURNING id")
                       .toLongLong();
        visit = servertest::scalar("INSERT INTO t_servis (id_musteri, f_km, f_iscilik) VALUES "
                                   "($1, 1000, 10) RETURNING id",
                                   {QByteArray::number(customer)})
                    .toLongLong();
    }
    QString visits() const {
        return QStringLiteral("select * from t_servis where id_musteri=") +
               QString::number(customer);
    }
    qint64 customer = 0, visit = 0;
    Workstation counter, workshop;
};

TEST_F(TwoWorkstations, TheSameCustomerEditedOnBothGivesTheSecondTheConflictAndKeepsTheFirst) {
    EXPECT_EQ(counter.run("open\tselect * from t_musteri"), "ok\t1");
    EXPECT_EQ(workshop.run("open\tselect * from t_musteri"), "ok\t1");
    EXPECT_EQ(counter.run("set\tf_tel\t222"), "ok");
    EXPECT_EQ(counter.run("update"), "ok");
    EXPECT_EQ(workshop.run("set\tf_tel\t333"), "ok");
    EXPECT_EQ(workshop.run("update"), kConflict);
    EXPECT_EQ(workshop.run("value\tf_tel"), "ok\t333") << "the refused edit is still pending";
    EXPECT_EQ(servertest::scalar("SELECT f_tel FROM t_musteri"), "222");
    // A column the first did not touch still saves from the second.
    EXPECT_EQ(workshop.run("cancel"), "ok");
    EXPECT_EQ(workshop.run("set\tf_adres\tKadıköy"), "ok");
    EXPECT_EQ(workshop.run("update"), "ok");
    EXPECT_EQ(servertest::scalar("SELECT f_tel || '/' || f_adres FROM t_musteri"), "222/Kadıköy");
}

TEST_F(TwoWorkstations, AVisitDeletedOnOneWhileEditedOnTheOtherIsNotWrittenBack) {
    EXPECT_EQ(counter.run("open\t" + visits()), "ok\t1");
    EXPECT_EQ(workshop.run("open\t" + visits()), "ok\t1");
    EXPECT_EQ(workshop.run("set\tf_km\t2000"), "ok");
    EXPECT_EQ(counter.run("delete"), "ok");
    EXPECT_EQ(workshop.run("update"), kConflict);
    EXPECT_EQ(servertest::scalar("SELECT count(*) FROM t_servis"), "0");
    // And the other way round: the edit first, then a delete of the row as it was read.
    const QString again =
        servertest::scalar("INSERT INTO t_servis (id_musteri, f_km) VALUES ($1, 5) RETURNING id",
                           {QByteArray::number(customer)});
    EXPECT_EQ(counter.run("open\t" + visits()), "ok\t1");
    EXPECT_EQ(workshop.run("open\t" + visits()), "ok\t1");
    EXPECT_EQ(workshop.run("set\tf_km\t6"), "ok");
    EXPECT_EQ(workshop.run("update"), "ok");
    EXPECT_EQ(counter.run("delete"), kConflict);
    EXPECT_EQ(servertest::scalar("SELECT id || '/' || f_km FROM t_servis"), again + "/6");
}

TEST_F(TwoWorkstations, NewVisitsOnBothAtOnceAllLandOnceEach) {
    EXPECT_EQ(counter.run("open\t" + visits()), "ok\t1");
    EXPECT_EQ(workshop.run("open\t" + visits()), "ok\t1");
    constexpr int kEach = 25;
    for (int i = 0; i < kEach; ++i) {
        // Both send before either reads its reply: the inserts run at the same time.
        for (Workstation* w : {&counter, &workshop}) {
            w->send("add");
            w->send("set\tid_musteri\t" + QString::number(customer));
            w->send(QStringLiteral("set\tf_km\t%1").arg(w == &counter ? 10000 + i : 20000 + i));
            w->send("update");
        }
        for (Workstation* w : {&counter, &workshop})
            for (int reply = 0; reply < 4; ++reply)
                EXPECT_EQ(w->reply(), "ok");
    }
    EXPECT_EQ(servertest::scalar("SELECT count(*) || '/' || count(DISTINCT f_km) || '/' || "
                                 "count(DISTINCT id) FROM t_servis"),
              QStringLiteral("%1/%1/%1").arg(2 * kEach + 1));
    // Each workstation holds its own new rows with their keys read back.
    EXPECT_EQ(counter.run("value\tf_km"), QStringLiteral("ok\t%1").arg(10000 + kEach - 1));
    EXPECT_EQ(counter.run("open\t" + visits()), QStringLiteral("ok\t%1").arg(2 * kEach + 1));
}

TEST_F(TwoWorkstations, AVisitForACustomerTheOtherDeletedIsRefusedWithTheAccessText) {
    EXPECT_EQ(counter.run("open\tselect * from t_musteri"), "ok\t1");
    EXPECT_EQ(workshop.run("open\t" + visits()), "ok\t1");
    EXPECT_EQ(counter.run("delete"), "ok");
    EXPECT_EQ(workshop.run("add"), "ok");
    EXPECT_EQ(workshop.run("set\tid_musteri\t" + QString::number(customer)), "ok");
    EXPECT_EQ(workshop.run("update"),
              "error\tYou cannot add or change a record because a related record is required in "
              "table 't_musteri'");
    EXPECT_EQ(servertest::scalar("SELECT count(*) FROM t_servis"), "0");
}

} // namespace

// The owner, group and mode of the database files that import, restore, upgrade and backup leave:
// a replaced file keeps those of the file it replaces, a new one takes its folder's group, and
// a member of that group can still save afterwards.
#include "AdminTestSupport.h"

#include "data/Schema.h"

#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace admintest;

namespace {

// A group of the shop's kind: as root a throwaway group made for the test (and deleted after);
// otherwise a group the user belongs to besides the primary one.
class ShopGroup {
public:
    ShopGroup() {
        if (geteuid() == 0) {
            name_ = QStringLiteral("korvelat%1").arg(getpid());
            QProcess::execute("groupadd", {name_});
            const group* g = getgrnam(name_.toLocal8Bit().constData());
            if (g) {
                gid_ = g->gr_gid;
                made_ = true;
            }
        } else {
            gid_t groups[256];
            const int n = getgroups(256, groups);
            for (int i = 0; i < n; ++i)
                if (groups[i] != getegid())
                    gid_ = groups[i];
        }
    }
    ~ShopGroup() {
        if (made_)
            QProcess::execute("groupdel", {name_});
    }
    bool valid() const { return gid_ != gid_t(-1); }
    gid_t gid() const { return gid_; }

private:
    QString name_;
    gid_t gid_ = gid_t(-1);
    bool made_ = false;
};

// A user other than the one running the tool, who owns the replaced files (root only can give
// a file away; otherwise the user's own files are used).
uid_t otherOwner() {
    if (geteuid() != 0)
        return geteuid();
    const passwd* p = getpwnam("nobody");
    return p ? p->pw_uid : 65534;
}

struct Attributes {
    uid_t uid;
    gid_t gid;
    mode_t mode;
    bool operator==(const Attributes&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Attributes& a) {
    return os << a.uid << ':' << a.gid << ' ' << std::oct << a.mode << std::dec;
}

Attributes attributesOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {uid_t(-1), gid_t(-1), 0};
    return {st.st_uid, st.st_gid, st.st_mode & 07777};
}

void give(const QString& path, const Attributes& a) {
    const QByteArray p = QFile::encodeName(path);
    ASSERT_EQ(::chown(p.constData(), a.uid, a.gid), 0) << path.toStdString();
    ASSERT_EQ(::chmod(p.constData(), a.mode), 0) << path.toStdString();
}

class FileAttributes : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(group.valid()) << "no group to share the data folder with";
        // Root's usual mask: what gave 644 files before.
        oldMask = umask(022);
        // The shop's user must reach the folders inside the temporary directory.
        ASSERT_EQ(::chmod(QFile::encodeName(top.path()).constData(), 0755), 0);
        shared = folder("data", 02775);
    }
    void TearDown() override { umask(oldMask); }

    // A folder in the temporary directory with the shop's group and MODE.
    QString folder(const QString& name, mode_t mode) {
        const QString path = top.filePath(name);
        QDir().mkpath(path);
        give(path, {geteuid(), group.gid(), mode});
        return path;
    }
    // What the package makes for the database, here owned by another user and with a mode
    // that neither the mask nor the folder would give, so that keeping it shows.
    Attributes replaced() const { return {otherOwner(), group.gid(), 0660}; }
    // A new file in a 2775 folder of the group.
    Attributes fresh() const { return {geteuid(), group.gid(), 0664}; }

    // A member of the group who is not the file's owner saves a customer with a second client.
    // Only root can act as another user (here one without an account, uid 64999); otherwise the
    // test's user, a member, saves.
    void memberSaves(const QString& db) {
        QStringList args;
        if (geteuid() == 0)
            args << "--reuid=64999"
                 << "--regid=" + QString::number(group.gid())
                 << "--groups=" + QString::number(group.gid()) << "sqlite3";
        args << db << "INSERT INTO t_musteri (f_adi) VALUES ('Grup Üyesi')";
        const QString program =
            geteuid() == 0 ? QStringLiteral("setpriv") : QStringLiteral("sqlite3");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", "/nonexistent");
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.waitForFinished(30000);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_EQ(Reader(db)
                      .scalar("SELECT count(*) FROM t_musteri WHERE f_adi = 'Grup Üyesi'")
                      .toStdString(),
                  "1");
    }

    ShopGroup group;
    QTemporaryDir top;
    QString shared;
    mode_t oldMask = 022;
};

QString accessFile() {
    return dataDir() + "Korvela-access2000.mdb";
}

TEST_F(FileAttributes, ImportOverAnExistingDatabaseKeepsItsOwnerGroupAndMode) {
    const QString db = shared + "/Korvela.mdb";
    ASSERT_EQ(runAdmin({"create", db}).exitCode, 0);
    give(db, replaced());
    const AdminRun r = runAdmin({"import", accessFile(), db, "--force"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(attributesOf(db), replaced());
    memberSaves(db);
}

TEST_F(FileAttributes, ImportInPlaceGivesTheNewDatabaseTheAccessFilesOwnerGroupAndMode) {
    const QString db = shared + "/Korvela.mdb";
    writeBytes(db, fileBytes(accessFile()));
    give(db, replaced());
    const AdminRun r = runAdmin({"import", "--in-place", db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(attributesOf(db), replaced());
    const QStringList kept = entries(shared).filter("Korvela-access-");
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(attributesOf(shared + '/' + kept[0]), replaced()) << "the kept Access file";
    memberSaves(db);
}

// A new file takes the folder's group (also without the set-group-id bit that hands it on by
// itself), and the group may write it only when it may write the folder.
TEST_F(FileAttributes, ImportIntoANewFileFollowsTheFolder) {
    struct Case {
        const char* folder;
        mode_t folderMode;
        mode_t fileMode;
    };
    for (const Case c : {Case{"data2775", 02775, 0664}, Case{"data775", 0775, 0664},
                         Case{"data755", 0755, 0644}}) {
        const QString db = folder(c.folder, c.folderMode) + "/Korvela.mdb";
        const AdminRun r = runAdmin({"import", accessFile(), db});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(attributesOf(db), (Attributes{geteuid(), group.gid(), c.fileMode})) << c.folder;
    }
    memberSaves(top.filePath("data2775/Korvela.mdb"));
}

TEST_F(FileAttributes, RestoreKeepsALiveOrDamagedDatabasesAttributesAndANewOneFollowsTheFolder) {
    const QString backup = top.filePath("backup.mdb");
    ASSERT_EQ(runAdmin({"create", "--demo", backup}).exitCode, 0);
    // Over a readable database (written into through SQLite), over a damaged one (moved aside
    // and replaced), and where there is none.
    const QString live = shared + "/Korvela.mdb";
    ASSERT_EQ(runAdmin({"create", live}).exitCode, 0);
    give(live, replaced());
    const QString damaged = folder("damaged", 02775) + "/Korvela.mdb";
    writeBytes(damaged, QByteArray(8192, 'x'));
    give(damaged, replaced());
    const QString none = folder("none", 02775) + "/Korvela.mdb";
    for (const QString& db : {live, damaged, none}) {
        const AdminRun r = runAdmin({"restore", backup, db});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(attributesOf(db), db == none ? fresh() : replaced()) << db.toStdString();
        memberSaves(db);
    }
}

TEST_F(FileAttributes, UpgradeAndBackupKeepTheAttributes) {
    // A file of an earlier build: the visits' customer key without its reference.
    const QString db = shared + "/Korvela.mdb";
    QString sql = data::schemaSql();
    ASSERT_TRUE(sql.contains(" REFERENCES t_musteri (id) ON DELETE CASCADE"));
    sql.remove(" REFERENCES t_musteri (id) ON DELETE CASCADE");
    sqlite3* earlier = nullptr;
    sqlite3_open(QFile::encodeName(db).constData(), &earlier);
    ASSERT_EQ(sqlite3_exec(earlier, sql.toUtf8().constData(), nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(earlier);
    give(db, replaced());
    AdminRun r = runAdmin({"upgrade", db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_TRUE(r.out.contains("upgraded")) << r.out.toStdString();
    EXPECT_EQ(attributesOf(db), replaced());
    memberSaves(db);

    // A backup that replaces an earlier one keeps its attributes; a new one follows its folder.
    const QString backups = folder("yedek", 02775);
    const QString old = backups + "/yedek.mdb";
    ASSERT_EQ(runAdmin({"backup", db, old}).exitCode, 0);
    EXPECT_EQ(attributesOf(old), fresh());
    give(old, replaced());
    r = runAdmin({"backup", db, old, "--force"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(attributesOf(old), replaced());
}

} // namespace

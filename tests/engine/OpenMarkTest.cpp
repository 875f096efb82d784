// A program's mark on the file it has open: a tool about to replace the file sees it, and a
// program that opens a file a tool is replacing waits, then marks the new file.
#include "engine/OpenMark.h"
#include "core/Errors.h"
#include "data/Connection.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "tests/support/TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

using namespace cursor;

namespace {

TEST(OpenMark, AToolSeesAProgramThatHasTheFileOpenAndNoneOnceItClosed) {
    testsupport::TestDatabase db;
    Connection program;
    program.open(data::fileConnectionString(db.path()));
    EXPECT_EQ(OpenMark::forReplacing(db.path()), nullptr);
    program.close();
    EXPECT_NE(OpenMark::forReplacing(db.path()), nullptr);
    EXPECT_NE(OpenMark::forReplacing(db.directory() + "none.mdb"), nullptr)
        << "no file, nothing to guard";
}

TEST(OpenMark, AProgramOpeningAFileThatIsBeingReplacedWaitsThenGivesUp) {
    testsupport::TestDatabase db;
    const auto tool = OpenMark::forReplacing(db.path());
    ASSERT_NE(tool, nullptr);
    Connection program;
    QElapsedTimer clock;
    clock.start();
    try {
        program.open(data::fileConnectionString(db.path()));
        ADD_FAILURE() << "opened a file a tool holds";
    } catch (const EOleException& e) {
        EXPECT_EQ(e.message(), "'" + db.path() +
                                   "' is being replaced by korvela-admin just now; open it again "
                                   "in a moment");
    }
    EXPECT_GE(clock.elapsed(), 2900);
    EXPECT_FALSE(program.isOpen());
}

TEST(OpenMark, AFileReplacedWhileTheProgramWaitedIsLetGoAndTheNewOneOpened) {
    testsupport::TestDatabase db;
    testsupport::TestDatabase other;
    other.addCustomer("Yeni");
    auto tool = OpenMark::forReplacing(db.path());
    ASSERT_NE(tool, nullptr);
    std::thread replacing([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        std::rename(QFile::encodeName(other.path()).constData(),
                    QFile::encodeName(db.path()).constData());
        tool.reset();
    });
    Connection program;
    program.open(data::fileConnectionString(db.path()));
    replacing.join();
    Recordset rs;
    rs.open(program, "select f_adi from t_musteri");
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(std::get<QString>(rs.value(0)), "Yeni") << "the new file is the one opened";
    EXPECT_EQ(OpenMark::forReplacing(db.path()), nullptr) << "and the one marked";
}

} // namespace

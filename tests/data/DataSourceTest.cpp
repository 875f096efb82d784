// Data sources and links: forwarding order, the first-shown-row arithmetic and the window size.
#include "DataTestSupport.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace data;
using datatest::EventLog;
using datatest::RecordingLink;

namespace {

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        connection.setConnectionString(korvelaConnectionString(db.directory()));
        for (int i = 0; i < 20; ++i)
            db.addCustomer(QStringLiteral("C%1").arg(i, 2, 10, QChar('0')));
        query = datatest::customerQuery(connection);
        source.setDataSet(query.get());
    }
    QString current() { return query->fieldByName("f_adi").asString(); }
    void moveTo(int n) {
        query->first();
        for (int i = 0; i < n; ++i)
            query->next();
    }

    datatest::TestDatabase db;
    TConnection connection;
    EventLog log;
    std::unique_ptr<TQuery> query;
    TDataSource source;
};

TEST_F(LinkTest, LinksHearTheLastAddedFirstAndOnlyWhileTheSourceIsActive) {
    RecordingLink a(log, "a"), b(log, "b");
    a.setDataSource(&source);
    b.setDataSource(&source);
    query->open();
    query->next();
    EXPECT_EQ(log.take(), QStringList({"b active", "a active", "b check", "a check", "b scrolled 1",
                                       "a scrolled 1"}));
    source.setEnabled(false);
    EXPECT_EQ(log.take(), QStringList({"b inactive", "a inactive"}));
    query->next();
    EXPECT_TRUE(log.take().isEmpty());
    source.setEnabled(true);
    b.setReadOnly(true);
    query->edit();
    EXPECT_EQ(log.take(), QStringList({"b active", "a active", "b check", "a check", "a editing",
                                       "b record", "a record"}));
    EXPECT_FALSE(b.editing());
    EXPECT_FALSE(b.edit());
}

TEST_F(LinkTest, TwoLinksShareAWindowOfTheLargerRowCount) {
    RecordingLink small(log, "s"), large(log, "l");
    small.setBufferCount(5);
    large.setBufferCount(12);
    small.setDataSource(&source);
    large.setDataSource(&source);
    EXPECT_EQ(query->bufferCount(), 12);
    query->open();
    EXPECT_EQ(query->windowRecordCount(), 12);
    EXPECT_EQ(small.recordCount(), 5);
    EXPECT_EQ(large.recordCount(), 12);
    log.take();
    for (int i = 0; i < 11; ++i)
        query->next();
    QStringList scrolls;
    for (const QString& e : log.take())
        if (e.contains("scrolled"))
            scrolls << e;
    // the small link's first row follows from row 5 on; the large one never moves
    EXPECT_EQ(scrolls.filter(QRegularExpression("^s")),
              QStringList({"s scrolled 0", "s scrolled 0", "s scrolled 0", "s scrolled 0",
                           "s scrolled 1", "s scrolled 1", "s scrolled 1", "s scrolled 1",
                           "s scrolled 1", "s scrolled 1", "s scrolled 1"}));
    EXPECT_EQ(scrolls.filter("l scrolled 0").size(), 11);
    EXPECT_EQ(small.firstRecord(), 7);
    EXPECT_EQ(small.activeRecord(), 4);
    // past the end of a full window: the window slides (shift -1) and both links scroll by 1
    query->next();
    EXPECT_EQ(log.take(), QStringList({"l check", "s check", "l scrolled 1", "s scrolled 1"}));
    EXPECT_EQ(current(), "C12");
    EXPECT_EQ(small.firstRecord(), 7);
    EXPECT_EQ(large.firstRecord(), 0);
    EXPECT_EQ(query->activeRecord(), 11);
}

TEST_F(LinkTest, ScrollingBackPastTheTopShiftsTheWindowTheOtherWay) {
    RecordingLink link(log);
    link.setBufferCount(3);
    link.setDataSource(&source);
    query->open();
    query->last();
    EXPECT_EQ(datatest::windowNames(*query), QStringList({"C17", "C18", "C19"}));
    EXPECT_EQ(link.firstRecord(), 0);
    EXPECT_EQ(link.activeRecord(), 2);
    query->prior();
    query->prior();
    log.take();
    query->prior(); // C16 comes in front, C19 drops out
    EXPECT_EQ(log.take(), QStringList({"link check", "link scrolled -1"}));
    EXPECT_EQ(datatest::windowNames(*query), QStringList({"C16", "C17", "C18"}));
    EXPECT_EQ(query->moveBy(-2), -2);
    EXPECT_EQ(log.take(), QStringList({"link check", "link scrolled -2"}));
    EXPECT_EQ(current(), "C14");
}

TEST_F(LinkTest, AWindowThatGrowsOrShrinksKeepsTheCurrentRecord) {
    RecordingLink link(log);
    link.setBufferCount(5);
    link.setDataSource(&source);
    query->open();
    moveTo(7);
    EXPECT_EQ(datatest::windowNames(*query), QStringList({"C03", "C04", "C05", "C06", "C07"}));
    log.take();
    link.setBufferCount(3);
    EXPECT_EQ(datatest::windowNames(*query), QStringList({"C05", "C06", "C07"}));
    EXPECT_EQ(current(), "C07");
    EXPECT_EQ(link.activeRecord(), 2);
    link.setBufferCount(12);
    EXPECT_EQ(query->windowRecordCount(), 12);
    EXPECT_EQ(current(), "C07");
    EXPECT_EQ(link.firstRecord() + link.activeRecord(), query->activeRecord());
    EXPECT_TRUE(log.take().isEmpty()); // resizing notifies nobody
    // a second link with fewer rows: its first row keeps the current record in view
    RecordingLink other(log, "o");
    other.setBufferCount(4);
    other.setDataSource(&source);
    EXPECT_EQ(other.firstRecord(), 0);
    EXPECT_EQ(other.activeRecord(), 2);
    link.setDataSource(nullptr); // the window shrinks to 4, dropping records after the current
    EXPECT_EQ(query->bufferCount(), 4);
    EXPECT_EQ(datatest::windowNames(*query), QStringList({"C05", "C06", "C07", "C08"}));
    EXPECT_EQ(other.activeRecord(), 2);
}

TEST_F(LinkTest, ReadingAnotherRowSwitchesBuffersWithoutEvents) {
    RecordingLink link(log);
    link.setBufferCount(4);
    link.setDataSource(&source);
    query->open();
    log.attach(*query);
    log.take();
    link.setActiveRecord(2);
    EXPECT_EQ(current(), "C02");
    link.setActiveRecord(0);
    EXPECT_EQ(current(), "C00");
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(query->windowBookmark(3), query->windowBookmark(2) + 1);
}

TEST_F(LinkTest, UpdateRecordStoresPendingTextWithoutEchoToTheWritingLink) {
    struct TypingLink : RecordingLink {
        using RecordingLink::RecordingLink;
        void updateData() override {
            RecordingLink::updateData();
            if (updating())
                dataSet()->fieldByName("f_adi").setText("typed");
        }
    };
    TypingLink typing(log, "t");
    RecordingLink other(log, "o");
    typing.setDataSource(&source);
    other.setDataSource(&source);
    query->open();
    query->edit();
    log.take();
    query->post();
    EXPECT_EQ(log.take(),
              QStringList({"o update", "t update", "o field f_adi", "o check", "t check",
                           "o browsing", "t browsing", "o changed", "t changed"}));
    EXPECT_EQ(current(), "typed");
    EXPECT_FALSE(typing.updating());
}

TEST_F(LinkTest, AutomaticEditOnlyFromBrowseAndOnlyWhenAllowed) {
    RecordingLink link(log);
    link.setDataSource(&source);
    query->open();
    source.setAutoEdit(false);
    EXPECT_FALSE(link.edit());
    EXPECT_EQ(query->state(), TDataSetState::dsBrowse);
    source.setAutoEdit(true);
    EXPECT_TRUE(link.edit());
    EXPECT_EQ(query->state(), TDataSetState::dsEdit);
    EXPECT_EQ(source.state(), TDataSetState::dsEdit);
}

TEST_F(LinkTest, AFieldLinkReactsToItsFieldAndToWholeRecordChanges) {
    TFieldDataLink fieldLink;
    int changes = 0, activations = 0;
    fieldLink.onDataChange = [&] { ++changes; };
    fieldLink.onActiveChange = [&] { ++activations; };
    fieldLink.setFieldName("f_adi");
    fieldLink.setDataSource(&source);
    EXPECT_EQ(fieldLink.field(), &query->fieldByName("f_adi"));
    query->open();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(activations, 1);
    query->edit(); // record-changed
    query->fieldByName("f_tel").setText("555");
    EXPECT_EQ(changes, 2);
    query->fieldByName("f_adi").setText("x");
    EXPECT_EQ(changes, 3);
    query->next(); // posts (set-changed), then scrolls
    EXPECT_EQ(changes, 5);
    query->fieldByName("f_tel").setVisible(false); // layout: the field is the same
    EXPECT_EQ(changes, 5);
    query->close();
    EXPECT_EQ(changes, 6);
    EXPECT_EQ(activations, 2);
}

TEST_F(LinkTest, FieldDisplayChangesSendLayoutChangedWhileActive) {
    RecordingLink link(log);
    link.setDataSource(&source);
    TField& name = query->fieldByName("f_adi");
    name.setDisplayWidth(30); // inactive: nobody told
    query->open();
    log.take();
    name.setDisplayLabel("f_adi");
    EXPECT_EQ(name.displayLabel(), "");
    EXPECT_EQ(name.displayName(), "f_adi");
    name.setDisplayLabel("f_adi"); // no change
    name.setVisible(false);
    name.setIndex(0);
    EXPECT_EQ(log.take(), QStringList({"link layout", "link layout", "link layout"}));
    EXPECT_EQ(name.index(), 0);
    EXPECT_EQ(query->field(0).fieldName(), "f_adi");
    EXPECT_EQ(query->field(1).fieldName(), "f_arac_plaka");
}

TEST_F(LinkTest, DestroyingTheSetOrTheSourceDetachesEverything) {
    RecordingLink link(log);
    link.setDataSource(&source);
    query->open();
    log.take();
    query.reset();
    EXPECT_EQ(source.dataSet(), nullptr);
    EXPECT_FALSE(link.active());
    EXPECT_EQ(log.take(), QStringList{"link inactive"});
    {
        TDataSource temporary;
        link.setDataSource(&temporary);
    }
    EXPECT_EQ(link.dataSource(), nullptr);
}

} // namespace

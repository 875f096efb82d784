// Opening and closing the editing dialogs many times leaves nothing behind: objects, links, heap.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "dialogs/EditDialog.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QPixmapCache>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <malloc.h>
#include <optional>
#include <unordered_set>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator takes malloc's place; it reports the bytes in use itself.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

// The object hooks of QtCore (the table debugging tools attach to): slot 3 is called for every
// QObject created, slot 4 for every QObject destroyed.
QT_BEGIN_NAMESPACE
extern Q_CORE_EXPORT quintptr qtHookData[];
QT_END_NAMESPACE

namespace {

// Counts the QObjects alive while it exists.
class LiveObjects {
public:
    LiveObjects() {
        // The table's version (slot 0) and size (slot 1) say whether slots 3 and 4 exist.
        valid_ = qtHookData[0] >= 1 && qtHookData[1] >= 5 && !qtHookData[3] && !qtHookData[4];
        if (!valid_)
            return;
        qtHookData[3] = reinterpret_cast<quintptr>(&added);
        qtHookData[4] = reinterpret_cast<quintptr>(&removed);
    }
    ~LiveObjects() {
        if (!valid_)
            return;
        qtHookData[3] = 0;
        qtHookData[4] = 0;
        objects().clear();
    }
    bool valid() const { return valid_; }
    std::size_t count() const { return objects().size(); }

private:
    static std::unordered_set<QObject*>& objects() {
        static std::unordered_set<QObject*> set;
        return set;
    }
    static void added(QObject* o) { objects().insert(o); }
    static void removed(QObject* o) { objects().erase(o); }
    bool valid_ = false;
};

// Bytes of heap in use.
std::size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

class DialogLifetime : public ::testing::Test {
protected:
    testsupport::TestDatabase db;
    std::unique_ptr<app::TfrmMain> w;
    std::optional<app::MainParts> parts; // found once the window is built

    void SetUp() override {
        db.addCustomer("Veli");
        w = std::make_unique<app::TfrmMain>(db.directory());
        parts.emplace(*w);
        w->show();
        QApplication::setActiveWindow(w.get());
        QApplication::processEvents();
    }

    // Clicks a command, lets its dialog show and paint, closes it with the close box and lets
    // every deferred deletion run.
    void cycle(controls::TGradButton* command) {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<dialogs::TEditDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            opened = true;
            lastSaveButtonPalette =
                dialog->findChild<QPushButton*>("btnTamam")->palette().cacheKey();
            QTimer::singleShot(0, dialog, [dialog] { dialog->close(); });
        });
        QTest::mouseClick(command, Qt::LeftButton, {}, QPoint(10, 10));
        ASSERT_TRUE(opened);
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    struct Counts {
        std::size_t objects, widgets, customerLinks, visitLinks;
        bool operator==(const Counts&) const = default;
    };
    Counts counts(const LiveObjects& live) const {
        return {live.count(), std::size_t(QApplication::allWidgets().size()),
                parts->srcMain.links().size(), parts->srcServis.links().size()};
    }

    qint64 lastSaveButtonPalette = 0;
};

TEST_F(DialogLifetime, EachCycleReturnsObjectsWidgetsLinksAndHeapToWhereTheyWere) {
    for (controls::TGradButton* command : {parts->btnMusteriDuzenle, parts->btnServisYeni}) {
        SCOPED_TRACE(command->objectName().toStdString());
        // The first cycles create what lives for the whole run (style objects, font caches).
        for (int i = 0; i < 10; ++i)
            cycle(command);
        QPixmapCache::clear();
        LiveObjects live;
        ASSERT_TRUE(live.valid());
        // What a closed dialog leaves for the toolkit to clean up at the next one (its widgets'
        // gesture objects) is counted on both sides.
        cycle(command);
        const Counts before = counts(live);
        const std::size_t heapBefore = heapInUse();
        constexpr int kCycles = 100;
        for (int i = 0; i < kCycles; ++i)
            cycle(command);
        const Counts after = counts(live);
        EXPECT_EQ(after.objects, before.objects);
        EXPECT_EQ(after.widgets, before.widgets);
        EXPECT_EQ(after.customerLinks, before.customerLinks);
        EXPECT_EQ(after.visitLinks, before.visitLinks);
        // A dialog's button pictures alone are about 10 KB; allocator noise stays far below 2 KB.
        const double perCycle = (double(heapInUse()) - double(heapBefore)) / kCycles;
        EXPECT_LT(perCycle, 2048.0) << "bytes left behind per open and close";
    }
}

TEST_F(DialogLifetime, DialogsDrawWithTheSamePaletteSoStylePicturesAreShared) {
    // A palette of each dialog's own would give its buttons a new key in the style's picture
    // cache each time a dialog opens.
    cycle(parts->btnMusteriDuzenle);
    const qint64 first = lastSaveButtonPalette;
    cycle(parts->btnMusteriDuzenle);
    EXPECT_EQ(lastSaveButtonPalette, first);
    cycle(parts->btnServisYeni);
    EXPECT_EQ(lastSaveButtonPalette, first);
}

} // namespace

// Window tests of the editing dialogs on a real X server: hints, Turkish capitals, the boxes.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "controls/InspectorEdit.h"
#include "controls/InspectorHintWindow.h"
#include "controls/RecordInspector.h"
#include "data/DataSet.h"
#include "dialogs/EditDialog.h"
#include "platform/Application.h"
#include "platform/Fonts.h"
#include "tests/support/Ink.h"
#include "tests/support/TestDatabase.h"
#include "tests/window/XInput.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>

namespace {

using controls::TRecordInspector;

const char* kLongAddress = "Atatürk Mahallesi Cumhuriyet Caddesi No: 123 Daire 4 Kadıköy İstanbul";

class DialogWindow : public ::testing::Test {
protected:
    void SetUp() override {
        const qint64 id = db.addCustomer(QString::fromUtf8("Ahmet Yılmaz"), "34 AB 123");
        db.exec(QStringLiteral("update t_musteri set f_adres = '%1' where id = %2")
                    .arg(QString::fromUtf8(kLongAddress))
                    .arg(id));
        w = std::make_unique<app::TfrmMain>(db.directory());
        parts.emplace(*w);
        w->move(0, 0);
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void TearDown() override {
        w.reset();
        QTest::qWait(50);
    }

    // Opens the customer dialog with a real click on "Müşteri Düzenle" and runs the steps in it.
    void inCustomerDialog(const std::function<void(dialogs::TEditDialog&)>& steps) {
        xinput::ModalSteps modal([&](QWidget* box) {
            auto* dialog = qobject_cast<dialogs::TEditDialog*>(box);
            ASSERT_NE(dialog, nullptr);
            steps(*dialog);
        });
        ASSERT_TRUE(xinput::click(parts->btnMusteriDuzenle));
        EXPECT_TRUE(modal.waitDone());
    }

    testsupport::TestDatabase db;
    std::unique_ptr<app::TfrmMain> w;
    std::optional<app::MainParts> parts; // found once the window is built
};

// Types one character into the focus widget: xdotool types ASCII only on the test server, so
// Turkish letters come as the key events the keyboard would send.
void typeLetter(QChar c) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::sendKeyEvent(QTest::Click, target, Qt::Key(c.toUpper().unicode()), QString(c),
                        Qt::NoModifier);
}

// Reads the next error box that opens and answers it with the real Enter key.
class ErrorBoxReader {
public:
    ErrorBoxReader() {
        poll_.setInterval(20);
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isActiveWindow())
                return;
            poll_.stop();
            QTest::qWait(100);
            texts << box->text();
            xinput::keys({"Return"});
        });
        poll_.start();
    }
    QStringList texts;

private:
    QTimer poll_;
};

// "1250.75" typed with the real keyboard into "İşçilik Tutarı" once became 125.075,00 TL (the
// "." was refused with a beep). The "." that groups thousands is taken; any other is refused
// when the row is left, with the typed text kept.
TEST_F(DialogWindow, AnAmountTypedWithADotIsTakenWhereItGroupsAndRefusedElsewhere) {
    constexpr int kLabour = 6;
    xinput::ModalSteps modal([&](QWidget* box) {
        auto* d = qobject_cast<dialogs::TEditDialog*>(box);
        ASSERT_NE(d, nullptr);
        TRecordInspector* insp = d->findChild<controls::TRecordInspector*>("insMain");
        controls::TInspectorEdit* editor = insp->textEditor();
        const data::TField& labour = d->dataSet()->fieldByName("f_iscilik");
        ASSERT_TRUE(xinput::click(insp->viewport(), insp->cellRect(kLabour, 1).center()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return insp->currentRow() == kLabour; }, 1000));
        ASSERT_TRUE(xinput::type("1250.75"));
        EXPECT_EQ(editor->text(), "1250.75");
        {
            ErrorBoxReader reader;
            ASSERT_TRUE(xinput::keys({"Tab"}));
            ASSERT_TRUE(QTest::qWaitFor([&] { return reader.texts.size() == 1; }, 3000))
                << "no error box when the row was left";
            EXPECT_EQ(reader.texts[0],
                      QString::fromUtf8("'1250.75' is not a valid floating point value for "
                                        "field 'İşçilik Tutarı'\n\nOndalık ayırıcı \",\" "
                                        "işaretidir (1250,75); \".\" yalnızca binlikleri ayırır "
                                        "(1.250,75)."));
        }
        // The row stays, with the typed text, and nothing was written. (The dialog gets the
        // focus back as a window manager gives it; this X server runs none.)
        d->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        EXPECT_TRUE(editor->hasFocus());
        EXPECT_EQ(insp->currentRow(), kLabour);
        EXPECT_EQ(editor->text(), "1250.75");
        EXPECT_TRUE(labour.isNull());

        // Written the Turkish way, the same amount is taken.
        ASSERT_TRUE(xinput::keys({"Escape"}));
        ASSERT_TRUE(xinput::type("1.250,75"));
        EXPECT_EQ(editor->text(), "1.250,75");
        ASSERT_TRUE(xinput::keys({"Tab"}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return insp->currentRow() == kLabour + 1; }, 1000));
        EXPECT_EQ(labour.asMoney(), Money::fromRaw(12507500));
        EXPECT_EQ(d->dataSet()->fieldByName("c_toplam").displayText(),
                  QString::fromUtf8("1.250,75 TL"));
        ASSERT_TRUE(xinput::click(d->findChild<QPushButton*>("btnTamam")));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !d->isVisible(); }, 2000));
    });
    ASSERT_TRUE(xinput::click(parts->btnServisYeni));
    EXPECT_TRUE(modal.waitDone());
    EXPECT_EQ(db.scalar("select f_iscilik from t_servis"), "1250.7500");
}

TEST_F(DialogWindow, HintOverALongAddressStaysWhileThePointerRestsAndGoesWhenItLeaves) {
    inCustomerDialog([&](dialogs::TEditDialog& d) {
        TRecordInspector* insp = d.findChild<controls::TRecordInspector*>("insMain");
        QWidget* vp = insp->viewport();
        const QRect address = insp->cellRect(4, 1);
        ASSERT_TRUE(xinput::moveTo(vp, address.center()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return insp->hintWindow() != nullptr; }, 2000))
            << "no hint over the long address";
        QPointer<controls::TInspectorHintWindow> hint = insp->hintWindow();
        EXPECT_EQ(hint->text(), QString::fromUtf8(kLongAddress));
        // Resting on the cell for well over a second (several timer ticks) keeps it.
        QTest::qWait(1500);
        ASSERT_TRUE(hint) << "the hint vanished while the pointer rested on the cell";
        EXPECT_EQ(insp->hintWindow(), hint.data());
        EXPECT_TRUE(hint->isVisible());
        // Small moves on the cell keep it too.
        ASSERT_TRUE(xinput::moveTo(vp, address.center() + QPoint(6, 1)));
        QTest::qWait(600);
        EXPECT_EQ(insp->hintWindow(), hint.data());

        // Moving to another cell hides it.
        ASSERT_TRUE(xinput::moveTo(vp, insp->cellRect(1, 1).center()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return insp->hintWindow() == nullptr; }, 1000));

        // Back on the address it shows again; leaving the dialog hides it at the next tick.
        ASSERT_TRUE(xinput::moveTo(vp, address.center()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return insp->hintWindow() != nullptr; }, 2000));
        ASSERT_TRUE(xinput::moveTo(d.mapToGlobal(QPoint(d.width() + 40, d.height() / 2))));
        EXPECT_TRUE(QTest::qWaitFor([&] { return insp->hintWindow() == nullptr; }, 1000));
        EXPECT_TRUE(xinput::click(d.findChild<QPushButton*>("btnKapat")));
    });
}

TEST_F(DialogWindow, TypedTurkishCapitalsShowWholeOnTheScreen) {
    inCustomerDialog([&](dialogs::TEditDialog& d) {
        controls::TInspectorEdit* editor =
            d.findChild<controls::TRecordInspector*>("insMain")->textEditor();
        ASSERT_TRUE(editor->hasFocus());
        const int letter = platform::textWidth(editor->font(), "I");
        const QRect firstLetter(0, 0, controls::TInspectorEdit::kTextLeft + letter,
                                editor->height());
        ASSERT_TRUE(xinput::type("IX"));
        ASSERT_EQ(editor->text(), "IX");
        const QImage plain = xinput::onScreen(editor);
        ASSERT_TRUE(xinput::keys({"Escape"}));
        for (QChar c : QString::fromUtf8("İpekÖÜÇö"))
            typeLetter(c);
        ASSERT_EQ(editor->text(), QString::fromUtf8("İpekÖÜÇö"));
        QTest::qWait(100);
        const QImage dotted = xinput::onScreen(editor);
        EXPECT_TRUE(test_support::dotShowsAboveTheStem(plain, dotted, firstLetter))
            << "stem top " << test_support::topInkRow(plain, firstLetter) << ", dotted top "
            << test_support::topInkRow(dotted, firstLetter);
        // "Ö" and "Ü" keep their dots too: ink above the stem's top in their columns.
        const int stemTop = test_support::topInkRow(plain, firstLetter);
        const int oLeft = controls::TInspectorEdit::kTextLeft +
                          platform::textWidth(editor->font(), QString::fromUtf8("İpek"));
        const int oWidth = platform::textWidth(editor->font(), QString::fromUtf8("ÖÜ"));
        const QRect umlauts(oLeft, 0, oWidth, editor->height());
        EXPECT_LT(test_support::topInkRow(dotted, umlauts), stemTop)
            << "the dots of Ö and Ü are cut off";
        EXPECT_TRUE(xinput::click(d.findChild<QPushButton*>("btnKapat")));
    });
}

TEST_F(DialogWindow, MessageBoxLabelShowsTheDotOfACapitalI) {
    auto labelOnScreen = [](const QString& text) {
        QImage shot;
        xinput::ModalSteps modal([&](QWidget* box) {
            QTest::qWait(100);
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                shot = xinput::onScreen(label);
        });
        platform::messageDlg(text, platform::MsgType::Warning, int(platform::MsgButton::OK));
        return shot;
    };
    const QImage plain = labelOnScreen("I");
    const QImage dotted = labelOnScreen(QString::fromUtf8("İ"));
    ASSERT_FALSE(plain.isNull());
    EXPECT_TRUE(test_support::dotShowsAboveTheStem(plain, dotted))
        << "stem top " << test_support::topInkRow(plain) << ", dotted top "
        << test_support::topInkRow(dotted);
}

TEST_F(DialogWindow, EnterDownTheRowsReachesKaydetAndPressesIt) {
    xinput::ModalSteps modal([&](QWidget* box) {
        auto* d = qobject_cast<dialogs::TEditDialog*>(box);
        ASSERT_NE(d, nullptr);
        ASSERT_TRUE(xinput::type("Ipek Ogut"));
        QStringList enters;
        for (int row = 0; row < 14; ++row)
            enters << "Return";
        ASSERT_TRUE(xinput::keys(enters));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return d->findChild<QPushButton*>("btnTamam")->hasFocus(); }, 2000));
        EXPECT_TRUE(d->isVisible());
        ASSERT_TRUE(xinput::keys({"Return"}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !d->isVisible(); }, 2000))
            << "Enter on the focused Kaydet did nothing";
    });
    ASSERT_TRUE(xinput::click(parts->btnMusteriYeni));
    EXPECT_TRUE(modal.waitDone());
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi = 'Ipek Ogut'"), "1");
}

} // namespace

// Test support for the record inspector: a temporary database, the record sets and a dialog.
#pragma once

#include "controls/Canvas.h"
#include "controls/InspectorDateEdit.h"
#include "controls/InspectorEdit.h"
#include "controls/InspectorHintWindow.h"
#include "controls/RecordInspector.h"
#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "platform/Application.h"
#include "platform/Fonts.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>

namespace inspector_test {

using controls::TInspectorDateEdit;
using controls::TInspectorEdit;
using controls::TRecordInspector;
using platform::TColor;

inline TColor pixelOf(const QImage& image, int x, int y) {
    const QRgb c = image.pixel(x, y);
    return TColor::fromRgb(qRed(c), qGreen(c), qBlue(c));
}

inline std::string hexOf(TColor c) {
    return QStringLiteral("#%1%2%3")
        .arg(c.red(), 2, 16, QChar('0'))
        .arg(c.green(), 2, 16, QChar('0'))
        .arg(c.blue(), 2, 16, QChar('0'))
        .toUpper()
        .toStdString();
}

// Compares two images pixel by pixel and names the first pixel that differs.
inline ::testing::AssertionResult sameImage(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure()
               << "size " << actual.width() << "x" << actual.height() << " instead of "
               << expected.width() << "x" << expected.height();
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if ((actual.pixel(x, y) & 0xFFFFFF) != (expected.pixel(x, y) & 0xFFFFFF))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << hexOf(pixelOf(actual, x, y))
                       << " instead of " << hexOf(pixelOf(expected, x, y));
    return ::testing::AssertionSuccess();
}

inline std::string hexAt(const QImage& image, int x, int y) {
    return hexOf(pixelOf(image, x, y));
}

// The shared test database.
using Database = testsupport::TestDatabase;

// The customer set and the visit set of customer 1 (with its calculated total and balance).
struct RecordSets {
    Database db;
    data::TConnection connection;
    data::TQuery qryMain{"qryMain", &connection};
    data::TQuery qryServis{"qryServis", &connection};
    data::TDataSource srcMain{&qryMain};
    data::TDataSource srcServis{&qryServis};

    RecordSets() {
        db.exec("insert into t_musteri (id, f_adi, f_arac_plaka, f_not) values "
                "(1, 'Ahmet Yılmaz', '34 AB 123', 'Fren balataları"
                "\n"
                "ve disk değişti')");
        db.exec("insert into t_servis (id_musteri, f_tarih, f_km, f_iscilik, f_tutar, f_odeme) "
                "values (1, '2008-12-25 14:30:00', '120000', '100.0000', '50.0000', "
                "'30.0000')");
        connection.setConnectionString(data::korvelaConnectionString(db.directory()));
        data::declareCustomerFields(qryMain);
        data::declareServiceFields(qryServis);
        qryMain.addSql("select * from t_musteri");
        qryServis.addSql("select * from t_servis where id_musteri=1");
        qryServis.OnCalcFields = [](data::TDataSet& set) {
            const Money total =
                set.fieldByName("f_iscilik").asMoney() + set.fieldByName("f_tutar").asMoney();
            set.fieldByName("c_toplam").setAsMoney(total);
            set.fieldByName("c_kalan").setAsMoney(total - set.fieldByName("f_odeme").asMoney());
        };
        qryMain.open();
        qryServis.open();
    }
};

// The rows of the two dialogs.
inline const std::vector<std::pair<const char*, const char*>>& customerRows() {
    static const std::vector<std::pair<const char*, const char*>> rows{
        {"f_adi", "Müşteri Adı"},
        {"f_tel", "Telefon"},
        {"f_gsm", "Cep Telefonu"},
        {"f_mail", "E-Posta"},
        {"f_adres", "Adres"},
        {"f_vd", "Vergi Dairesi"},
        {"f_vn", "Vergi Numarası"},
        {"f_arac_plaka", "Araç Plakası"},
        {"f_arac_marka", "Araç Markası"},
        {"f_arac_model", "Araç Modeli"},
        {"f_arac_yakit", "Araç Yakıt Tipi"},
        {"f_arac_yil", "Araç Yılı"},
        {"f_arac_renk", "Araç Rengi"},
        {"f_not", "Açıklama"}};
    return rows;
}

inline const std::vector<std::pair<const char*, const char*>>& serviceRows() {
    static const std::vector<std::pair<const char*, const char*>> rows{
        {"f_tarih", "Tarih"},
        {"f_km", "KM"},
        {"f_ariza", "Arıza"},
        {"f_parca", "Parça"},
        {"f_malzeme", "Kullanılan Malzeme"},
        {"f_islem", "Yapılan İşlem"},
        {"f_iscilik", "İşçilik Tutarı"},
        {"f_tutar", "Malzeme Tutarı"},
        {"c_toplam", "Toplam Tutar"},
        {"f_odeme", "Ödeme"},
        {"c_kalan", "Kalan Ödme"},
        {"f_not", "Açıklama"}};
    return rows;
}

// A dialog laid out as the editing dialogs are: the inspector above two buttons, in tab order
// inspector, "Kaydet", "İptal".
class Dialog : public QDialog {
public:
    Dialog(data::TDataSource* source,
           const std::vector<std::pair<const char*, const char*>>& rows) {
        setFont(platform::msSansSerif(11));
        resize(372, 433);
        inspector = new TRecordInspector(this);
        inspector->setGeometry(10, 10, 352, 378);
        inspector->applyDialogSettings(source);
        for (const auto& [field, caption] : rows)
            inspector->addItem(QString::fromUtf8(field), QString::fromUtf8(caption));
        save = new QPushButton(QStringLiteral("Kaydet"), this);
        save->setGeometry(170, 398, 100, 23);
        cancel = new QPushButton(QString::fromUtf8("İptal"), this);
        cancel->setGeometry(272, 398, 100, 23);
        save->setAutoDefault(false);
        cancel->setAutoDefault(false);
        setTabOrder(inspector, save);
        setTabOrder(save, cancel);
    }
    TRecordInspector* inspector = nullptr;
    QPushButton* save = nullptr;
    QPushButton* cancel = nullptr;
};

// Base fixture: record sets, an error-box recorder and a beep counter.
class InspectorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        sets = std::make_unique<RecordSets>();
        platform::DialogHooks hooks;
        hooks.errorBox = [this](const QString&, const QString& text) { errors << text; };
        boxes.emplace(hooks);
        beepCounter.emplace([this] { ++beeps; });
    }
    void TearDown() override {
        dialog.reset();
        beepCounter.reset();
        boxes.reset();
        sets.reset();
    }

    // Shows a dialog on the given source and gives its inspector the focus.
    TRecordInspector* show(data::TDataSource* source,
                           const std::vector<std::pair<const char*, const char*>>& rows) {
        dialog = std::make_unique<Dialog>(source, rows);
        dialog->inspector->setFocus(); // as the dialogs do on creation, before showing
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        QApplication::processEvents();
        return dialog->inspector;
    }
    TRecordInspector* showService() { return show(&sets->srcServis, serviceRows()); }
    TRecordInspector* showCustomer() { return show(&sets->srcMain, customerRows()); }

    // Keys go where the keyboard would send them: the focus widget.
    static QWidget* focused() { return QApplication::focusWidget(); }
    static void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* w = focused();
        ASSERT_NE(w, nullptr);
        QTest::keyClick(w, k, mods);
    }
    static void type(const QString& text) {
        for (QChar c : text) {
            QWidget* w = focused();
            ASSERT_NE(w, nullptr);
            if (c.unicode() < 0x80)
                QTest::keyClicks(w, QString(c));
            else // beyond ASCII the key code is the letter's, the text the character
                QTest::sendKeyEvent(QTest::Click, w, Qt::Key(c.toUpper().unicode()), QString(c),
                                    Qt::NoModifier);
        }
    }
    TInspectorEdit* editor() const { return dialog->inspector->textEditor(); }
    QString editorText() const { return editor()->text(); }
    QString selectedText() const { return editor()->textCursor().selectedText(); }
    data::TField& servis(const char* name) { return sets->qryServis.fieldByName(name); }
    data::TField& musteri(const char* name) { return sets->qryMain.fieldByName(name); }
    QImage grabViewport() const { return dialog->inspector->viewport()->grab().toImage(); }

    std::unique_ptr<RecordSets> sets;
    std::unique_ptr<Dialog> dialog;
    QStringList errors;
    int beeps = 0;
    std::optional<platform::ScopedDialogHooks> boxes;
    std::optional<platform::ScopedBeepHandler> beepCounter;
};

} // namespace inspector_test

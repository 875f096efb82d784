// Test support for the record grid: a temporary database, the two record sets and a shown grid.
#pragma once

#include "controls/RecordGrid.h"
#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "platform/Application.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>

namespace grid_test {

using controls::TRecordGrid;
using platform::TColor;

inline constexpr TColor kShade = TColor::fromHex(0xDBDBDB);
inline constexpr TColor kWhite = TColor::fromHex(0xFFFFFF);
inline constexpr TColor kBlack = TColor::fromHex(0x000000);
inline constexpr TColor kFace = TColor::fromHex(0xF0F0F0); // the button face of the colour table
inline constexpr TColor kLine = TColor::fromHex(0xC0C0C0);

// Pixel geometry the grid's rules fix for Tahoma 8 pt with titles, indicator and lines.
inline constexpr int kFirstDataLeft = 12; // indicator 11 + its line
inline constexpr int kDataTop = 18;       // title row 17 + its line
inline constexpr int kPitch = 17;         // data row 16 + its line
inline int rowTop(int dataRow) {
    return kDataTop + dataRow * kPitch;
}

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

// The shared test database with bulk fillers for the grid.
class Database : public testsupport::TestDatabase {
public:
    // Customers 1..n: plate "34 AB 001", name "Müşteri 001", telephone, mobile.
    void addCustomers(int n) {
        exec("begin");
        for (int i = 1; i <= n; ++i)
            exec(QStringLiteral("insert into t_musteri (f_arac_plaka, f_adi, f_tel, f_gsm) values "
                                "('34 AB %1', 'Müşteri %1', '0212 %1', '0532 %1')")
                     .arg(i, 3, 10, QChar('0')));
        exec("commit");
    }
    void addVisits(int customer, int n) {
        exec("begin");
        for (int i = 1; i <= n; ++i)
            exec(QStringLiteral("insert into t_servis (id_musteri, f_tarih, f_km, f_ariza, "
                                "f_iscilik, f_tutar, f_odeme) values (%1, '2008-12-25 00:00:00', "
                                "'%2', 'Fren', '100.0000', '50.5000', '20.0000')")
                     .arg(customer)
                     .arg(1000 * i));
        exec("commit");
    }
};

// The customer grid's column list, as the main window stores it.
inline QStringList customerColumnList() {
    return {QStringLiteral("f_arac_plaka\t20\tAraç Plakası"),
            QStringLiteral("f_adi\t20\tMüşteri Adı"), QStringLiteral("f_tel\t20\tTelefon"),
            QStringLiteral("f_gsm\t20\tCep Telefonu")};
}

// Everything a grid test needs: the sets over a fresh database, a window holding a grid
// configured like the main window's and a second control to take the focus. Dialogs are answered
// by hooks that record what would have been shown.
class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::DialogHooks hooks;
        hooks.errorBox = [this](const QString&, const QString& text) { errors << text; };
        hooks.messageDlg = [this](const QString& text, platform::MsgType type, int buttons) {
            questions << text;
            questionTypes.push_back(type);
            questionButtons.push_back(buttons);
            return answer;
        };
        boxes.emplace(hooks);
        connection.setConnectionString(data::korvelaConnectionString(db.directory()));
        data::declareCustomerFields(qryMain);
        qryMain.setSql({QStringLiteral("select * from t_musteri")});
        data::declareServiceFields(qryServis);
        window.resize(700, 600);
        grid = new TRecordGrid(&window);
        grid->useMainWindowConfiguration();
        grid->setGeometry(5, 5, 680, 189);
        other = new QLineEdit(&window);
        other->setGeometry(5, 400, 100, 20);
    }

    void TearDown() override { boxes.reset(); }

    // Binds the grid to the customers (n of them) and shows the window with the focus elsewhere.
    void showCustomers(int n) {
        db.addCustomers(n);
        grid->setSelected(customerColumnList());
        grid->setDataSource(&srcMain);
        qryMain.open();
        showWindow();
    }

    void openVisits(int customer) {
        qryServis.setSql(
            {QStringLiteral("select * from t_servis where id_musteri=%1").arg(customer)});
        qryServis.open();
    }

    void showWindow() {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        other->setFocus();
        QApplication::processEvents();
    }

    void focusGrid() {
        grid->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        ASSERT_TRUE(grid->focusFlag());
    }

    QImage shot() { return grid->grab().toImage(); }

    void key(int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(grid, Qt::Key(k), modifiers);
    }

    // Centre of a data row, inside the first data column, right of any text.
    QPoint rowPoint(int dataRow) const { return QPoint(kFirstDataLeft + 100, rowTop(dataRow) + 8); }

    Database db;
    data::TConnection connection;
    data::TQuery qryMain{QStringLiteral("qryMain"), &connection};
    data::TQuery qryServis{QStringLiteral("qryServis"), &connection};
    data::TDataSource srcMain{&qryMain};
    data::TDataSource srcServis{&qryServis};
    QWidget window;
    TRecordGrid* grid = nullptr;
    QLineEdit* other = nullptr;
    QStringList errors;
    QStringList questions;
    std::vector<platform::MsgType> questionTypes;
    std::vector<int> questionButtons;
    platform::MsgButton answer = platform::MsgButton::No;
    std::optional<platform::ScopedDialogHooks> boxes;
};

} // namespace grid_test

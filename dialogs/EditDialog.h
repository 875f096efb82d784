// TEditDialog: the modal record dialog both editing dialogs are made of.
#pragma once

#include <QDialog>
#include <utility>
#include <vector>

class QPushButton;

namespace data {
class TDataSet;
class TDataSource;
} // namespace data

namespace controls {
class TRecordInspector;
}

namespace dialogs {

// A fixed 372 x 433 dialog with a 10-pixel border: a record inspector ("insMain") over the pending
// record of a record set (already in insert or edit state when the dialog opens) and a button bar
// ("pnlButtons") with "Kaydet" ("btnTamam": post, then close) and "İptal" ("btnKapat": cancel,
// then close). However the dialog is closed, a change still pending is cancelled. Created per
// command and destroyed by it; owns its controls, which other code finds by their object names.
class TEditDialog : public QDialog {
    Q_OBJECT
public:
    using Rows = std::vector<std::pair<const char*, const char*>>; // field name, caption

    TEditDialog(const QString& caption, data::TDataSource* source, const Rows& rows);
    ~TEditDialog() override;

    // The record set the dialog edits (its data source's).
    data::TDataSet* dataSet() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void reject() override;

private:
    void FormCreate();
    void btnTamamClick();
    void btnKapatClick();
    void FormClose();

    data::TDataSource* source_;
    controls::TRecordInspector* insMain = nullptr;
    QWidget* pnlButtons = nullptr;
    QPushButton* btnTamam = nullptr;
    QPushButton* btnKapat = nullptr;
};

} // namespace dialogs

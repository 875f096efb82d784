// TfrmMain: the main window with the customer and visit lists, the totals line and the commands.
#pragma once

#include <QWidget>
#include <memory>

namespace app {

// The program's only top-level window. Its parts are its own (MainPrivate.h): the connection,
// both record sets and their data sources, the child controls and their handlers. Code outside
// the window finds a control by its object name and a record set through its grid's data source
// (MainParts.h). Its private part goes before the child controls: the data sources let go of the
// grids, the record sets close and the connection ends the file's check, then the controls go
// with the window.
class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // Builds the window and runs the connection sequence against the database file in
    // applicationDirectory (defaults to the executable's directory).
    explicit TfrmMain(const QString& applicationDirectory = QString(), QWidget* parent = nullptr);
    ~TfrmMain() override;

signals:
    // Once, when the window's first paint is complete (every control drawn and the picture
    // handed to the window system), just before the database file's check starts.
    void firstPainted();
    // The file's check ended, or damage was found: whether the file may be written changed.
    void fileStateChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace app

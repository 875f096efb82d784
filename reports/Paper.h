// TPaper: a printed paper as data (heading, title, blocks), laid out on A4 pages and painted.
#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <memory>
#include <variant>
#include <vector>

class QPagedPaintDevice;
class QPaintDevice;
class QPainter;

namespace reports {

// The top of the first page: the shop's name and lines (address, phone, tax data) and a logo.
struct TPaperHeading {
    QString name;
    QStringList lines;
    QImage logo; // may be null
};

// Labels and values side by side, in two columns of pairs ("Araç Plakası: 34 ABC 123").
struct TPaperFields {
    std::vector<std::pair<QString, QString>> pairs;
};

// One column of a table: its title, its share of the page width and whether it is right-aligned.
struct TPaperColumn {
    QString title;
    double share = 1;
    bool right = false;
};

// A table whose title row is repeated at the top of every page it runs onto. Cell texts wrap
// inside their column; a row never splits over two pages.
struct TPaperTable {
    std::vector<TPaperColumn> columns;
    std::vector<QStringList> rows;
};

// Lines of text in bold, aligned to the right edge (the sums under a table).
struct TPaperSums {
    QStringList lines;
};

// A label over a wrapped text (a note).
struct TPaperText {
    QString label;
    QString text;
};

// Lines to sign on, side by side, each with its caption under it.
struct TPaperSignatures {
    QStringList captions;
};

using TPaperBlock =
    std::variant<TPaperFields, TPaperTable, TPaperSums, TPaperText, TPaperSignatures>;

// A paper: heading, title (with the date it was made) and blocks from top to bottom.
struct TPaper {
    TPaperHeading heading;
    QString title;
    QString date;
    std::vector<TPaperBlock> blocks;
};

// A paper laid out on A4 portrait pages at a device's resolution (a PDF writer, a printer, a
// picture): 15 mm margins all round, inside which every mark falls; the heading and title on the
// first page, a footer with the title and "Sayfa n / N" on every page. Lays out when made;
// paints a page when asked.
class TPaperLayout {
public:
    TPaperLayout(const TPaper& paper, const QPaintDevice& device);
    ~TPaperLayout();
    TPaperLayout(const TPaperLayout&) = delete;
    TPaperLayout& operator=(const TPaperLayout&) = delete;

    int pageCount() const;
    // The A4 page in device units.
    QSizeF pageSize() const;
    // Paints one page (0-based) on a painter whose device has the layout's resolution.
    void paintPage(QPainter& painter, int page) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// One page of the paper as a picture at the given resolution (dots per inch), white behind.
QImage pageImage(const TPaper& paper, int page, int dotsPerInch);

// Sets the device to A4 portrait without margins of its own (the layout keeps its own).
void prepareDevice(QPagedPaintDevice& device);

// Lays the paper out and paints it on the device; returns the number of pages. Raises
// EOleException when painting cannot start (a device that cannot be written).
int printPaper(const TPaper& paper, QPagedPaintDevice& device);

// Writes the paper as a PDF file, whole or not at all: nothing is left at path when it fails.
// Returns the number of pages; raises EOleException naming the path and the cause.
int writePdf(const TPaper& paper, const QString& path);

} // namespace reports

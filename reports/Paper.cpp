// TPaperLayout: pagination of a paper's blocks on A4 pages, and the painting of each page.
#include "reports/Paper.h"

#include "core/Errors.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>

namespace reports {

namespace {

constexpr double kMarginMm = 15;
constexpr double kBlockGapMm = 5;
constexpr double kCellPadMm = 1.6;
const QColor kRuleColour(0x80, 0x80, 0x80);
const QColor kHeaderFill(0xE4, 0xE4, 0xE4);

// DejaVu Sans (fonts-dejavu-core): a print face with a true bold and every Turkish letter.
QFont paperFont(double points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setKerning(false);
    // Without shaping no ligature is formed, so a reader's search finds "overflow" as typed.
    f.setStyleStrategy(QFont::PreferNoShaping);
    // The printer's metrics on every device: a picture of a page places text as the PDF does.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

} // namespace

// One mark on a page: which part of the paper, where it starts and how tall it is.
struct Placed {
    enum class Kind { Heading, Block, TableHeader, TableRow };
    Kind kind;
    int block = -1; // index into the paper's blocks
    int row = -1;   // a table row
    double y = 0;
    double height = 0;
};

struct TPaperLayout::Private {
    const TPaper& paper;
    double unit = 1; // device units per millimetre
    double pageW = 0, pageH = 0;
    double left = 0, right = 0, top = 0, bottom = 0; // the area inside the margins
    double bodyBottom = 0;                           // above the footer
    QFont body, bold, small, name, title;
    std::unique_ptr<QFontMetricsF> bodyM, boldM, smallM, nameM, titleM;
    std::vector<std::vector<Placed>> pages;

    Private(const TPaper& p, const QPaintDevice& device) : paper(p) {
        unit = device.logicalDpiX() / 25.4;
        pageW = 210 * unit;
        pageH = 297 * unit;
        left = mm(kMarginMm);
        right = pageW - mm(kMarginMm);
        top = mm(kMarginMm);
        bottom = pageH - mm(kMarginMm);
        body = paperFont(7.5);
        bold = paperFont(7.5, true);
        small = paperFont(6.5);
        name = paperFont(12, true);
        title = paperFont(14, true);
        // Metrics at the device's resolution (they only read it).
        QPaintDevice* metrics = const_cast<QPaintDevice*>(&device);
        bodyM = std::make_unique<QFontMetricsF>(body, metrics);
        boldM = std::make_unique<QFontMetricsF>(bold, metrics);
        smallM = std::make_unique<QFontMetricsF>(small, metrics);
        nameM = std::make_unique<QFontMetricsF>(name, metrics);
        titleM = std::make_unique<QFontMetricsF>(title, metrics);
        bodyBottom = bottom - footerHeight();
        layout();
    }

    double mm(double millimetres) const { return millimetres * unit; }
    double width() const { return right - left; }
    double footerHeight() const { return smallM->height() + mm(3); }

    // Heading and title.
    double logoHeight() const { return paper.heading.logo.isNull() ? 0 : mm(16); }
    double headingHeight() const {
        double text = nameM->height() + paper.heading.lines.size() * bodyM->height();
        double titleBlock = titleM->height() + bodyM->height();
        return std::max({logoHeight(), text, titleBlock}) + mm(3);
    }

    // Fields: two pairs a line.
    int fieldLines(const TPaperFields& f) const { return int(f.pairs.size() + 1) / 2; }

    // Tables.
    std::vector<double> columnWidths(const TPaperTable& t) const {
        double shares = 0;
        for (const TPaperColumn& c : t.columns)
            shares += c.share;
        std::vector<double> widths;
        for (const TPaperColumn& c : t.columns)
            widths.push_back(width() * c.share / shares);
        return widths;
    }
    double textHeight(const QFontMetricsF& m, const QString& text, double w) const {
        if (text.isEmpty() || (!text.contains('\n') && m.horizontalAdvance(text) <= w))
            return m.height();
        return m.boundingRect(QRectF(0, 0, w, 1e9), Qt::TextWordWrap, text).height();
    }
    double rowHeight(const TPaperTable& t, const QStringList& cells, const QFontMetricsF& m) const {
        const std::vector<double> widths = columnWidths(t);
        double h = m.height();
        for (std::size_t c = 0; c < widths.size() && c < std::size_t(cells.size()); ++c)
            h = std::max(h, textHeight(m, cells[qsizetype(c)], widths[c] - 2 * mm(kCellPadMm)));
        return h + 2 * mm(kCellPadMm);
    }
    QStringList titles(const TPaperTable& t) const {
        QStringList out;
        for (const TPaperColumn& c : t.columns)
            out << c.title;
        return out;
    }

    double blockHeight(const TPaperBlock& block) const {
        return std::visit(
            [this](const auto& b) -> double {
                using T = std::decay_t<decltype(b)>;
                if constexpr (std::is_same_v<T, TPaperFields>)
                    return fieldLines(b) * (bodyM->height() + mm(0.8));
                else if constexpr (std::is_same_v<T, TPaperSums>)
                    return b.lines.size() * (boldM->height() + mm(0.8));
                else if constexpr (std::is_same_v<T, TPaperText>)
                    return boldM->height() + textHeight(*bodyM, b.text, width());
                else if constexpr (std::is_same_v<T, TPaperSignatures>)
                    return mm(16) + smallM->height();
                else
                    return 0;
            },
            block);
    }

    void layout() {
        pages.emplace_back();
        double y = top;
        pages.back().push_back({Placed::Kind::Heading, -1, -1, y, headingHeight()});
        y += headingHeight() + mm(kBlockGapMm);
        const auto newPage = [&] {
            pages.emplace_back();
            y = top;
        };
        for (int b = 0; b < int(paper.blocks.size()); ++b) {
            const TPaperBlock& block = paper.blocks[std::size_t(b)];
            if (const auto* table = std::get_if<TPaperTable>(&block)) {
                const double header = rowHeight(*table, titles(*table), *boldM);
                bool headerShown = false;
                for (int r = 0; r < int(table->rows.size()); ++r) {
                    const double h = rowHeight(*table, table->rows[std::size_t(r)], *bodyM);
                    if (y + (headerShown ? 0 : header) + h > bodyBottom && y > top) {
                        newPage();
                        headerShown = false;
                    }
                    if (!headerShown) {
                        pages.back().push_back({Placed::Kind::TableHeader, b, -1, y, header});
                        y += header;
                        headerShown = true;
                    }
                    pages.back().push_back({Placed::Kind::TableRow, b, r, y, h});
                    y += h;
                }
                if (!headerShown) { // a table without rows still shows its titles
                    if (y + header > bodyBottom && y > top)
                        newPage();
                    pages.back().push_back({Placed::Kind::TableHeader, b, -1, y, header});
                    y += header;
                }
            } else {
                const double h = blockHeight(block);
                if (y + h > bodyBottom && y > top)
                    newPage();
                pages.back().push_back({Placed::Kind::Block, b, -1, y, h});
                y += h;
            }
            y += mm(kBlockGapMm);
        }
    }

    // Painting, one function per mark.
    void paintHeading(QPainter& p, const Placed& at) const {
        double x = left;
        if (!paper.heading.logo.isNull()) {
            const QImage& logo = paper.heading.logo;
            const double h = logoHeight();
            const double w = h * logo.width() / std::max(1, logo.height());
            p.drawImage(QRectF(x, at.y, w, h), logo);
            x += w + mm(3);
        }
        double y = at.y;
        p.setFont(name);
        p.drawText(QPointF(x, y + nameM->ascent()), paper.heading.name);
        y += nameM->height();
        p.setFont(body);
        for (const QString& line : paper.heading.lines) {
            p.drawText(QPointF(x, y + bodyM->ascent()), line);
            y += bodyM->height();
        }
        p.setFont(title);
        p.drawText(QPointF(right - titleM->horizontalAdvance(paper.title), at.y + titleM->ascent()),
                   paper.title);
        p.setFont(body);
        p.drawText(QPointF(right - bodyM->horizontalAdvance(paper.date),
                           at.y + titleM->height() + bodyM->ascent()),
                   paper.date);
        p.save();
        p.setPen(QPen(Qt::black, mm(0.3)));
        const double rule = at.y + at.height - mm(0.5);
        p.drawLine(QPointF(left, rule), QPointF(right, rule));
        p.restore();
    }

    void paintCells(QPainter& p, const TPaperTable& t, const QStringList& cells, double y, double h,
                    const QFontMetricsF& m) const {
        const std::vector<double> widths = columnWidths(t);
        const double pad = mm(kCellPadMm);
        double x = left;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const QString text = c < std::size_t(cells.size()) ? cells[qsizetype(c)] : QString();
            const double w = widths[c] - 2 * pad;
            const bool alignRight = t.columns[c].right;
            if (!text.contains('\n') && m.horizontalAdvance(text) <= w) {
                const double tx = alignRight ? x + pad + w - m.horizontalAdvance(text) : x + pad;
                p.drawText(QPointF(tx, y + pad + m.ascent()), text);
            } else {
                p.drawText(QRectF(x + pad, y + pad, w, h - 2 * pad),
                           Qt::TextWordWrap | (alignRight ? Qt::AlignRight : Qt::AlignLeft), text);
            }
            x += widths[c];
        }
    }

    void paintTableHeader(QPainter& p, const TPaperTable& t, const Placed& at) const {
        p.save();
        p.fillRect(QRectF(left, at.y, width(), at.height), kHeaderFill);
        p.setFont(bold);
        paintCells(p, t, titles(t), at.y, at.height, *boldM);
        p.setPen(QPen(Qt::black, mm(0.2)));
        p.drawLine(QPointF(left, at.y + at.height), QPointF(right, at.y + at.height));
        p.restore();
    }

    void paintTableRow(QPainter& p, const TPaperTable& t, const Placed& at) const {
        p.setFont(body);
        paintCells(p, t, t.rows[std::size_t(at.row)], at.y, at.height, *bodyM);
        p.save();
        p.setPen(QPen(kRuleColour, mm(0.1)));
        p.drawLine(QPointF(left, at.y + at.height), QPointF(right, at.y + at.height));
        p.restore();
    }

    void paintFields(QPainter& p, const TPaperFields& f, const Placed& at) const {
        const double half = width() / 2;
        const double line = bodyM->height() + mm(0.8);
        for (std::size_t i = 0; i < f.pairs.size(); ++i) {
            const double x = left + (i % 2) * half;
            const double baseline = at.y + double(i / 2) * line + bodyM->ascent();
            const QString label = f.pairs[i].first + QStringLiteral(": ");
            p.setFont(bold);
            p.drawText(QPointF(x, baseline), label);
            const double valueX = x + boldM->horizontalAdvance(label);
            p.setFont(body);
            p.drawText(
                QPointF(valueX, baseline),
                bodyM->elidedText(f.pairs[i].second, Qt::ElideRight, half - (valueX - x) - mm(2)));
        }
    }

    void paintSums(QPainter& p, const TPaperSums& s, const Placed& at) const {
        p.setFont(bold);
        double y = at.y;
        for (const QString& line : s.lines) {
            p.drawText(QPointF(right - boldM->horizontalAdvance(line), y + boldM->ascent()), line);
            y += boldM->height() + mm(0.8);
        }
    }

    void paintText(QPainter& p, const TPaperText& t, const Placed& at) const {
        p.setFont(bold);
        p.drawText(QPointF(left, at.y + boldM->ascent()), t.label);
        p.setFont(body);
        p.drawText(QRectF(left, at.y + boldM->height(), width(), at.height - boldM->height()),
                   Qt::TextWordWrap, t.text);
    }

    void paintSignatures(QPainter& p, const TPaperSignatures& s, const Placed& at) const {
        if (s.captions.isEmpty())
            return;
        const double slot = width() / s.captions.size();
        const double lineY = at.y + mm(14);
        p.setFont(small);
        for (int i = 0; i < s.captions.size(); ++i) {
            const double x0 = left + i * slot + mm(8);
            const double x1 = left + (i + 1) * slot - mm(8);
            p.save();
            p.setPen(QPen(Qt::black, mm(0.2)));
            p.drawLine(QPointF(x0, lineY), QPointF(x1, lineY));
            p.restore();
            const double tw = smallM->horizontalAdvance(s.captions[i]);
            p.drawText(QPointF((x0 + x1 - tw) / 2, lineY + mm(1) + smallM->ascent()),
                       s.captions[i]);
        }
    }

    void paintFooter(QPainter& p, int page) const {
        const double y = bottom - smallM->height();
        p.save();
        p.setPen(QPen(kRuleColour, mm(0.1)));
        p.drawLine(QPointF(left, y - mm(1)), QPointF(right, y - mm(1)));
        p.restore();
        p.setFont(small);
        p.drawText(QPointF(left, y + smallM->ascent()), paper.title);
        const QString number = QStringLiteral("Sayfa %1 / %2").arg(page + 1).arg(int(pages.size()));
        p.drawText(QPointF(right - smallM->horizontalAdvance(number), y + smallM->ascent()),
                   number);
    }

    void paintPlaced(QPainter& p, const Placed& at) const {
        if (at.kind == Placed::Kind::Heading) {
            paintHeading(p, at);
            return;
        }
        const TPaperBlock& block = paper.blocks[std::size_t(at.block)];
        if (const auto* table = std::get_if<TPaperTable>(&block)) {
            if (at.kind == Placed::Kind::TableHeader)
                paintTableHeader(p, *table, at);
            else
                paintTableRow(p, *table, at);
            return;
        }
        std::visit(
            [&](const auto& b) {
                using T = std::decay_t<decltype(b)>;
                if constexpr (std::is_same_v<T, TPaperFields>)
                    paintFields(p, b, at);
                else if constexpr (std::is_same_v<T, TPaperSums>)
                    paintSums(p, b, at);
                else if constexpr (std::is_same_v<T, TPaperText>)
                    paintText(p, b, at);
                else if constexpr (std::is_same_v<T, TPaperSignatures>)
                    paintSignatures(p, b, at);
            },
            block);
    }
};

TPaperLayout::TPaperLayout(const TPaper& paper, const QPaintDevice& device)
    : d(std::make_unique<Private>(paper, device)) {}

TPaperLayout::~TPaperLayout() = default;

int TPaperLayout::pageCount() const {
    return int(d->pages.size());
}

QSizeF TPaperLayout::pageSize() const {
    return {d->pageW, d->pageH};
}

void TPaperLayout::paintPage(QPainter& painter, int page) const {
    painter.save();
    painter.setPen(Qt::black);
    for (const Placed& at : d->pages[std::size_t(page)])
        d->paintPlaced(painter, at);
    d->paintFooter(painter, page);
    painter.restore();
}

QImage pageImage(const TPaper& paper, int page, int dotsPerInch) {
    QImage probe(1, 1, QImage::Format_RGB32);
    const int dotsPerMetre = qRound(dotsPerInch / 0.0254);
    probe.setDotsPerMeterX(dotsPerMetre);
    probe.setDotsPerMeterY(dotsPerMetre);
    const TPaperLayout layout(paper, probe);
    QImage image(layout.pageSize().toSize(), QImage::Format_RGB32);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    layout.paintPage(painter, std::clamp(page, 0, layout.pageCount() - 1));
    return image;
}

void prepareDevice(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

int printPaper(const TPaper& paper, QPagedPaintDevice& device) {
    prepareDevice(device);
    QPainter painter;
    if (!painter.begin(&device))
        throw core::EOleException(QStringLiteral("The paper cannot be printed on this device"));
    const TPaperLayout layout(paper, device);
    for (int page = 0; page < layout.pageCount(); ++page) {
        if (page > 0)
            device.newPage();
        layout.paintPage(painter, page);
    }
    painter.end();
    return layout.pageCount();
}

int writePdf(const TPaper& paper, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw core::EOleException(
            QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Korvela Takip"));
        writer.setTitle(paper.title);
        pages = printPaper(paper, writer);
    }
    if (!file.commit())
        throw core::EOleException(
            QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    return pages;
}

} // namespace reports

// Reading a written PDF back as a person's viewer would: its text (pdftotext) and its pages as
// pictures (pdftoppm), both from poppler-utils.
#pragma once

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace papertest {

// The text of every page, laid out as on the page; pages are separated by a form feed.
inline QString pdfText(const QString& path) {
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", path, "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The pages' texts.
inline QStringList pdfPages(const QString& path) {
    QStringList pages = pdfText(path).split('\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// A line's parts: the texts between runs of two or more blanks.
inline QStringList cells(const QString& line) {
    static const QRegularExpression gap(QStringLiteral("\\s{2,}"));
    return line.trimmed().split(gap, Qt::SkipEmptyParts);
}

// A text with every run of blanks made one: a PDF keeps no count of blanks narrower than a
// letter, so "Toplam Tutar:  150,50 TL" reads back with one.
inline QString flat(const QString& text) {
    return text.simplified();
}

// One page rendered at the given resolution.
inline QImage pdfPage(const QString& path, int page, int dotsPerInch) {
    QTemporaryDir dir;
    QProcess p;
    p.start("pdftoppm", {"-r", QString::number(dotsPerInch), "-f", QString::number(page), "-l",
                         QString::number(page), "-png", "-singlefile", path, dir.path() + "/page"});
    p.waitForFinished(60000);
    return QImage(dir.path() + "/page.png");
}

// Money as a person writes it under Turkish settings, from a count of hundredths, worked out
// here without the program's own formatting: "1.234,50 TL", "-30,50 TL".
inline QString turkishMoney(qint64 hundredths) {
    const bool negative = hundredths < 0;
    const qint64 n = negative ? -hundredths : hundredths;
    QString whole = QString::number(n / 100);
    for (int i = int(whole.size()) - 3; i > 0; i -= 3)
        whole.insert(i, '.');
    return (negative ? "-" : "") + whole + ',' + QString::number(n % 100).rightJustified(2, '0') +
           " TL";
}

} // namespace papertest

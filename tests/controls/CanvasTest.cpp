// Tests of TCanvas: GDI pixel rules for lines and rectangles, the gradient fill, prefix text and
// the ellipsis cut.
#include "controls/Canvas.h"
#include "platform/Fonts.h"
#include "tests/support/Ink.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

using controls::TCanvas;
using controls::TGradientDirection;
using platform::TColor;

using test_support::px;

namespace {

QImage blank(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

TEST(CanvasPixels, LinesExcludeTheirEndPointAndRectanglesOutlineUpToRightMinusOne) {
    QImage img = blank(10, 10);
    TCanvas c(img);
    c.penColor = TColor::fromHex(0xFF0000);
    c.moveTo(1, 1);
    c.lineTo(5, 1);
    EXPECT_EQ(px(img, 1, 1), 0xFF0000u);
    EXPECT_EQ(px(img, 4, 1), 0xFF0000u);
    EXPECT_EQ(px(img, 5, 1), 0xFFFFFFu);
    EXPECT_EQ(c.penPos(), QPoint(5, 1));

    img.fill(Qt::white);
    c.penColor = TColor::fromHex(0x0000FF);
    c.brushColor = TColor::fromHex(0x00FF00);
    c.rectangle(2, 2, 6, 5);
    EXPECT_EQ(px(img, 2, 2), 0x0000FFu);
    EXPECT_EQ(px(img, 5, 4), 0x0000FFu);
    EXPECT_EQ(px(img, 6, 5), 0xFFFFFFu);
    EXPECT_EQ(px(img, 3, 3), 0x00FF00u);
    EXPECT_EQ(px(img, 4, 3), 0x00FF00u);

    img.fill(Qt::white);
    c.brushClear = true;
    c.rectangle(2, 2, 6, 5);
    EXPECT_EQ(px(img, 3, 3), 0xFFFFFFu);
}

TEST(CanvasPixels, RowsAndColumnsDrawnLeftOrUpAlsoLeaveTheirEndPointOut) {
    QImage img = blank(10, 10);
    TCanvas c(img);
    c.penColor = TColor::fromHex(0xFF0000);
    c.moveTo(8, 1);
    c.lineTo(2, 1);
    c.moveTo(1, 8);
    c.lineTo(1, 2);
    for (int i = 3; i <= 8; ++i) {
        EXPECT_EQ(px(img, i, 1), 0xFF0000u) << i;
        EXPECT_EQ(px(img, 1, i), 0xFF0000u) << i;
    }
    EXPECT_EQ(px(img, 2, 1), 0xFFFFFFu);
    EXPECT_EQ(px(img, 1, 2), 0xFFFFFFu);
    EXPECT_EQ(px(img, 9, 1), 0xFFFFFFu);
    EXPECT_EQ(px(img, 1, 9), 0xFFFFFFu);
}

// The line from a to b on a canvas 20 pixels larger on every side, without a clip, cut back to
// `size`: the pixels of the whole line.
QImage wholeLine(QPoint a, QPoint b, QSize size) {
    QImage big = blank(size.width() + 40, size.height() + 40);
    TCanvas c(big);
    c.penColor = TColor::fromHex(0xFF0000);
    c.moveTo(a.x() + 20, a.y() + 20);
    c.lineTo(b.x() + 20, b.y() + 20);
    return big.copy(20, 20, size.width(), size.height());
}

TEST(CanvasPixels, AClippedLineKeepsThePixelsOfTheWholeLine) {
    const QSize size(16, 12);
    const std::pair<QPoint, QPoint> lines[] = {
        {{-7, -3}, {25, 14}}, {{30, 2}, {-4, 11}}, {{3, -9}, {9, 30}},  {{0, 0}, {15, 15}},
        {{14, 1}, {2, 10}},   {{1, 11}, {15, 4}},  {{18, 5}, {-3, 5}},  {{6, 20}, {6, -2}},
        {{2, 4}, {12, 4}},    {{9, 3}, {9, 9}},    {{-5, 13}, {20, 13}}};
    const QRect clips[] = {QRect(),           QRect(4, 3, 9, 7),  QRect(-5, -5, 8, 8),
                           QRect(5, 5, 0, 0), QRect(0, 4, 16, 1), QRect(6, 0, 1, 12)};
    for (const auto& [a, b] : lines) {
        const QImage whole = wholeLine(a, b, size);
        for (const QRect& clip : clips) {
            QImage img = blank(size.width(), size.height());
            TCanvas c(img);
            c.penColor = TColor::fromHex(0xFF0000);
            c.setClipRect(clip);
            c.moveTo(a.x(), a.y());
            c.lineTo(b.x(), b.y());
            EXPECT_EQ(c.penPos(), b);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    const bool inside = clip.isNull() || clip.contains(x, y);
                    ASSERT_EQ(px(img, x, y), inside ? px(whole, x, y) : 0xFFFFFFu)
                        << "line (" << a.x() << "," << a.y() << ")-(" << b.x() << "," << b.y()
                        << "), clip " << clip.x() << "," << clip.y() << " " << clip.width() << "x"
                        << clip.height() << ", pixel " << x << "," << y;
                }
        }
    }
}

TEST(CanvasGradient, TwentySevenRowsOfNeoSilverAtRowsZeroThirteenAndTwentySix) {
    QImage img = blank(4, 27);
    TCanvas c(img);
    c.gradient(4, 27, TColor::fromHex(0xF3F3F3), TColor::fromHex(0xBCBCBC),
               TGradientDirection::Vertical);
    EXPECT_EQ(px(img, 0, 0), 0xF3F3F3u);
    EXPECT_EQ(px(img, 3, 13), 0xD9D9D9u); // 243 - 13*55/27 = 216.52
    EXPECT_EQ(px(img, 2, 26), 0xBEBEBEu); // 26/27 of the way: 190.04, never #BCBCBC
}

TEST(CanvasGradient, EachChannelRoundsItsTiesToEven) {
    QImage img = blank(3, 8);
    TCanvas c(img);
    // Steps of exactly 0.5 in red and green, -0.5 in blue: every odd row is a tie.
    c.gradient(3, 8, TColor::fromRgb(0, 1, 10), TColor::fromRgb(4, 5, 6),
               TGradientDirection::Vertical);
    const int red[8] = {0, 0, 1, 2, 2, 2, 3, 4};
    const int green[8] = {1, 2, 2, 2, 3, 4, 4, 4};
    const int blue[8] = {10, 10, 9, 8, 8, 8, 7, 6};
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(px(img, 1, y), std::uint32_t(red[y] << 16 | green[y] << 8 | blue[y]))
            << "row " << y;
}

TEST(CanvasGradient, EndBytesComeStraightFromTheColourNumberAndTheLastLineFallsOutside) {
    QImage img = blank(2, 2);
    TCanvas c(img);
    // clBtnFace is 0x8000000F: its bytes are red 0x0F, green 0, blue 0.
    c.gradient(2, 2, TColor::fromRgb(0x0F, 0, 0), platform::clBtnFace,
               TGradientDirection::Vertical);
    EXPECT_EQ(px(img, 0, 1), 0x0F0000u);
    c.penColor = TColor::fromHex(0x123456);
    c.moveTo(1, 1);
    c.gradient(2, 2, TColor::fromHex(0), TColor::fromHex(0xFFFFFF), TGradientDirection::Horizontal);
    EXPECT_EQ(c.penColor, TColor::fromHex(0x123456));
    EXPECT_EQ(c.penPos(), QPoint(1, 1));
}

TEST(CanvasGradient, DiagonalLinesCoverXPlusYAndSkipColumnZero) {
    QImage img = blank(5, 4);
    TCanvas c(img);
    c.gradient(5, 4, TColor::fromRgb(0, 0, 0), TColor::fromRgb(90, 0, 0),
               TGradientDirection::Diagonal);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(px(img, 0, y), 0xFFFFFFu);
        for (int x = 1; x < 5; ++x)
            EXPECT_EQ(px(img, x, y), std::uint32_t(10 * (x + y)) << 16) << x << "," << y;
    }
}

TEST(CanvasGradient, NoStepsDrawNothing) {
    QImage img = blank(3, 3);
    TCanvas c(img);
    c.gradient(0, 3, TColor::fromHex(0), TColor::fromHex(0), TGradientDirection::Horizontal);
    c.gradient(3, 0, TColor::fromHex(0), TColor::fromHex(0), TGradientDirection::Vertical);
    c.gradient(0, 0, TColor::fromHex(0), TColor::fromHex(0), TGradientDirection::Diagonal);
    EXPECT_EQ(px(img, 1, 1), 0xFFFFFFu);
}

TEST(CanvasText, PrefixesUnderlineTheMarkedCharacterAndDoubleAmpersandShowsOne) {
    int index = -2;
    EXPECT_EQ(controls::stripPrefix("&Kaydet", &index), "Kaydet");
    EXPECT_EQ(index, 0);
    EXPECT_EQ(controls::stripPrefix("Ka&&y&det", &index), "Ka&ydet");
    EXPECT_EQ(index, 4);
    EXPECT_EQ(controls::stripPrefix("Kapat", &index), "Kapat");
    EXPECT_EQ(index, -1);

    QImage img = blank(60, 16);
    TCanvas c(img);
    c.font = platform::tahoma(11);
    c.brushClear = true;
    c.drawText("&Tamam", QRect(0, 0, 60, 13), controls::DT_SINGLELINE | controls::DT_NOCLIP);
    // The underline lies on the row below the baseline (ascent 11), under the "T" only.
    const int tWidth = platform::textWidth(c.font, "T");
    for (int x = 0; x < tWidth; ++x)
        EXPECT_EQ(px(img, x, 12), 0x000000u) << x;
    EXPECT_EQ(px(img, tWidth + 1, 12), 0xFFFFFFu);
}

TEST(CanvasText, NothingIsDrawnOutsideTheCanvasClip) {
    QImage img = blank(60, 40);
    TCanvas c(img);
    c.font = platform::tahoma(11);
    c.brushColor = TColor::fromHex(0x00FF00); // the text's background is filled too
    c.setClipRect(QRect(0, 0, 10, 10));
    c.drawText("Kalan Ödeme", QRect(15, 15, 45, 13), controls::DT_LEFT);
    c.drawText("Kalan", QRect(0, 20, 45, 13), controls::DT_SINGLELINE | controls::DT_NOCLIP);
    c.textOut(30, 2, "Toplam");
    EXPECT_EQ(img, blank(60, 40));
    // Inside the clip the same calls draw.
    c.setClipRect(QRect());
    c.textOut(30, 2, "Toplam");
    EXPECT_NE(img, blank(60, 40));
}

TEST(CanvasText, TextFillsAndPicturesLieInTheOrderDrawn) {
    const QFont font = platform::tahoma(11);
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));

    QImage img = blank(70, 16);
    {
        TCanvas c(img);
        c.font = font;
        c.brushClear = true;
        c.textOut(0, 0, "MMMMMM");
        c.brushColor = TColor::fromHex(0x00FF00);
        c.fillRect(0, 0, 12, 16);
        c.draw(20, 3, picture);
        c.fontColor = TColor::fromHex(0xFF0000);
        c.textOut(24, 0, "MWM");
        c.moveTo(0, 6);
        c.lineTo(70, 6);
        c.textOut(2, 2, "W");
    }

    // Each step on a painter of its own, in the same order.
    QImage expected = blank(70, 16);
    const auto text = [&](int x, const char* s, QRgb pen) {
        QPainter p(&expected);
        p.setFont(font);
        p.setPen(QColor::fromRgb(pen));
        p.drawText(QPoint(x, 11), QString::fromLatin1(s));
    };
    text(0, "MMMMMM", qRgb(0, 0, 0));
    QPainter(&expected).fillRect(QRect(0, 0, 12, 16), QColor(0, 255, 0));
    QPainter(&expected).drawImage(20, 3, picture);
    text(24, "MWM", qRgb(255, 0, 0));
    QPainter(&expected).fillRect(QRect(0, 6, 70, 1), Qt::black);
    QPainter p(&expected);
    p.setFont(font);
    p.setPen(QColor(255, 0, 0));
    p.drawText(QPoint(2, 13), QStringLiteral("W"));
    p.end();
    EXPECT_EQ(img, expected);
}

// A long one-paragraph note, as pasted into the memo row.
QString longNote(int length) {
    const QString sentence = QStringLiteral(
        "Fren balataları ve disk değişti, İşçilik ödendi; ÖĞÜŞÇ ığüşöç 1234,50 TL. ");
    QString note;
    while (note.size() < length)
        note += sentence;
    note.truncate(length);
    return note;
}

// The cut taken one character at a time from the end, each start measured in full.
QString oneByOneCut(const QFont& font, const QString& line, int width) {
    if (platform::textWidth(font, line) <= width)
        return line;
    for (int n = int(line.size()) - 1; n > 0; --n) {
        const QString candidate = line.left(n) + QStringLiteral("...");
        if (platform::textWidth(font, candidate) <= width)
            return candidate;
    }
    return QStringLiteral("...");
}

TEST(CanvasEllipsis, TheSearchedCutEqualsTheOneByOneCut) {
    const QFont font = platform::tahoma(11);
    const auto measure = [&](QStringView s) { return platform::textWidth(font, s.toString()); };
    const QString note = longNote(240);
    for (const QString& line : {note, note.left(1), note.left(2), note.left(15), note.left(16),
                                note.left(17), QString(), QStringLiteral("İİİİİİİİİİİİİİİİİİİİİ")})
        for (int width = -1; width <= 420; width += 3)
            ASSERT_EQ(controls::cutWithEllipsis(line, width, measure).toStdString(),
                      oneByOneCut(font, line, width).toStdString())
                << "width " << width << ", length " << line.size();
}

TEST(CanvasEllipsis, TheCharactersMeasuredDoNotGrowWithTheLine) {
    const QFont font = platform::tahoma(11);
    qint64 measured = 0;
    const auto counting = [&](QStringView s) {
        measured += s.size();
        return platform::textWidth(font, s.toString());
    };
    auto charactersMeasured = [&](int length, int width) {
        measured = 0;
        const QString cut = controls::cutWithEllipsis(longNote(length), width, counting);
        EXPECT_TRUE(cut.endsWith(QStringLiteral("...")));
        return measured;
    };
    // The memo cell of the dialogs is about 200 pixels wide: some 40 characters fit.
    const qint64 shortNote = charactersMeasured(2000, 200);
    const qint64 longOne = charactersMeasured(20000, 200);
    const qint64 veryLong = charactersMeasured(200000, 200);
    EXPECT_EQ(longOne, shortNote);
    EXPECT_EQ(veryLong, shortNote);
    EXPECT_LT(shortNote, 1000); // a few dozen starts of at most 64 characters
}

TEST(CanvasEllipsis, DrawTextCutsEachShownLineAndSkipsLinesBelowTheClip) {
    QImage img = blank(80, 13);
    TCanvas c(img);
    c.font = platform::tahoma(11);
    c.brushClear = true;
    const QString memo = longNote(300) + QStringLiteral("\n") + longNote(300);
    QRect r(0, 0, 80, 13);
    // The height of all the text is returned even though only the first line is drawn.
    EXPECT_EQ(c.drawText(memo, r, controls::DT_NOPREFIX | controls::DT_END_ELLIPSIS),
              2 * platform::windowsTextHeight(c.font));

    QImage expected = blank(80, 13);
    TCanvas e(expected);
    e.font = c.font;
    e.brushClear = true;
    e.textOut(0, 0, oneByOneCut(c.font, longNote(300), 80));
    EXPECT_EQ(img, expected);
}

TEST(CanvasEllipsis, ACellDrawnAgainWithTheSameTextReusesItsLines) {
    QImage img = blank(80, 13);
    TCanvas c(img);
    c.font = platform::tahoma(11);
    c.brushClear = true;
    const unsigned flags = controls::DT_NOPREFIX | controls::DT_END_ELLIPSIS;
    const QRect r(0, 0, 80, 13);
    controls::TTextLines cache;
    // Long enough to need the cut at every width used; the reference cut below is quadratic.
    const QString note = longNote(600);
    c.drawText(note, r, flags, cache);
    ASSERT_TRUE(cache.valid);
    EXPECT_EQ(cache.lines, QStringList{oneByOneCut(c.font, note, 80)});

    // The same text is not laid out again: what the cache holds is drawn.
    cache.lines = QStringList{QStringLiteral("X")};
    img.fill(Qt::white);
    c.drawText(QString(note), r, flags, cache);
    QImage expected = blank(80, 13);
    TCanvas e(expected);
    e.font = c.font;
    e.brushClear = true;
    e.textOut(0, 0, QStringLiteral("X"));
    EXPECT_EQ(img, expected);

    // Another text, width or font is.
    c.drawText(QStringLiteral("Kısa not"), r, flags, cache);
    EXPECT_EQ(cache.lines, QStringList{QStringLiteral("Kısa not")});
    c.drawText(note, QRect(0, 0, 60, 13), flags, cache);
    EXPECT_EQ(cache.lines, QStringList{oneByOneCut(c.font, note, 60)});
    c.font = platform::tahoma(11, true);
    c.drawText(note, QRect(0, 0, 60, 13), flags, cache);
    EXPECT_EQ(cache.lines, QStringList{oneByOneCut(c.font, note, 60)});
}

} // namespace

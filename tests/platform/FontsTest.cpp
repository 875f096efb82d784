// Tests of the texts each font remembers: widths of the right font and text after any change of
// either, lines drawn from remembered shapes and inks exactly as the toolkit draws them, and the
// memory they take staying within its bound.
#include "platform/Fonts.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// The toolkit's own one-line drawing, each call on a fresh painter as a plain program draws.
QImage drawnByTheToolkit(const QFont& font, const QString& text, const QRect& clip, QRgb pen) {
    QImage image(240, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setClipRect(clip);
    p.setFont(font);
    p.setPen(QColor::fromRgb(pen));
    p.drawText(QPoint(3, 14), text);
    return image;
}

// The same line through drawTextLine, on one painter kept for several lines as a canvas keeps
// it: a line drawn before in another font and colour must leave nothing behind.
QImage drawnFromTheShape(const QFont& font, const QString& text, const QRect& clip, QRgb pen) {
    QImage image(240, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setPen(Qt::red);
    platform::drawTextLine(p, platform::msSansSerif(13, true), QPoint(0, 30), QStringLiteral("x"));
    p.setClipRect(clip);
    p.setPen(QColor::fromRgb(pen));
    platform::drawTextLine(p, font, QPoint(3, 14), text);
    return image;
}

TEST(FontsText, LinesDrawnFromRememberedShapesEqualTheToolkitsDrawText) {
    QFont pointSized = platform::tahoma(11);
    pointSized.setPointSize(8); // sized in points: drawn by the toolkit alone
    const QFont fonts[] = {platform::tahoma(11), platform::tahoma(11, true),
                           platform::msSansSerif(11), pointSized};
    const QString texts[] = {
        QStringLiteral("Araç Plakası"),
        QStringLiteral("Toplam Tutar:  1.599,40 TL  -   Kalan Ödeme:  26,90 TL  "),
        QStringLiteral("İşçilik ığüşöç ÖĞÜŞÇİ 25.12.2008 14:30:00"),
        QStringLiteral("  leading and trailing  "),
        QStringLiteral("A&B ~ {x} | ½ ß ø"),
        QStringLiteral("a\ttab"),                              // tabs: the toolkit's own way
        QStringLiteral("soft\u00ADhyphen"),                    // likewise
        QStringLiteral("Fiyat \u20BA 12 \u05D0\u05D1 \u0634"), // other scripts, fallback fonts
        QString(300, QChar(u'ş')),                             // longer than any remembered
    };
    const QRect clips[] = {QRect(0, 0, 240, 20), QRect(20, 4, 60, 9)};
    for (const QFont& font : fonts)
        for (const QString& text : texts)
            for (const QRect& clip : clips)
                for (int pass = 0; pass < 3; ++pass) // drawn, shaped, drawn from the shape
                    ASSERT_EQ(drawnFromTheShape(font, text, clip, 0x102030),
                              drawnByTheToolkit(font, text, clip, 0x102030))
                        << text.left(40).toStdString() << " in " << font.key().toStdString()
                        << ", clip " << clip.width() << ", pass " << pass;
}

TEST(FontsText, WidthsFollowTheFontAndTheTextWhateverWasMeasuredBefore) {
    const QString texts[] = {QStringLiteral("150,50 TL"), QStringLiteral("$150.50"),
                             QStringLiteral("Kalan Ödeme"), QStringLiteral("0")};
    std::vector<QFont> fonts = {platform::tahoma(11), platform::tahoma(11, true),
                                platform::msSansSerif(11)};
    // A font changed after it was measured is another font.
    QFont changed = platform::tahoma(11);
    EXPECT_EQ(platform::textWidth(changed, texts[0]),
              QFontMetrics(changed).horizontalAdvance(texts[0]));
    changed.setPixelSize(14);
    fonts.push_back(changed);
    // More fonts than are remembered at once, each measured twice in turn.
    for (int px = 9; px < 30; ++px)
        fonts.push_back(platform::tahoma(px, px % 2 == 0));
    for (int round = 0; round < 2; ++round)
        for (const QFont& font : fonts)
            for (const QString& text : texts)
                ASSERT_EQ(platform::textWidth(font, text),
                          QFontMetrics(font).horizontalAdvance(text))
                    << text.toStdString() << " in " << font.key().toStdString();
    // Heights of fonts measured again after others pushed them out.
    EXPECT_EQ(platform::windowsTextHeight(platform::tahoma(11)), 13);
    EXPECT_EQ(platform::windowsAscent(platform::tahoma(11, true)), 11);
}

TEST(FontsText, MoreTextsThanAFontRemembersAreStillMeasuredRight) {
    const QFont font = platform::tahoma(11);
    for (int i = 0; i < 42000; i += 7) { // beyond the texts a font remembers
        const QString text = QStringLiteral("%1,%2 TL").arg(i).arg(i % 100, 2, 10, QChar('0'));
        ASSERT_EQ(platform::textWidth(font, text), QFontMetrics(font).horizontalAdvance(text))
            << text.toStdString();
    }
    const QString first = QStringLiteral("0,00 TL");
    EXPECT_EQ(platform::textWidth(font, first), QFontMetrics(font).horizontalAdvance(first));
}

// The toolkit's drawText of a line on a painted ground, and the same line written as ink into the
// same ground: both must set the same pixels, wherever the line stands and whatever cuts it.
struct InkCase {
    QPoint baseline;
    QRect clip; // null: none
};

QImage ground() {
    QImage image(200, 24, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x, 255 - y * 8, (x * y) & 0xFF));
    return image;
}

QImage toolkitLine(const QFont& font, const QString& text, const InkCase& c, QRgb pen) {
    QImage image = ground();
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    if (!c.clip.isNull())
        p.setClipRect(c.clip);
    p.setFont(font);
    p.setPen(QColor::fromRgb(pen));
    p.drawText(c.baseline, text);
    return image;
}

TEST(FontsText, InkSetsThePixelsOfTheToolkitsDrawTextWhereverTheLineStands) {
    const QFont fonts[] = {platform::tahoma(11), platform::tahoma(11, true),
                           platform::msSansSerif(11), platform::tahoma(16),
                           platform::msSansSerif(13, true)};
    const QString texts[] = {
        QStringLiteral("Araç Plakası"),
        QStringLiteral("Toplam Tutar:  1.599,40 TL  -   Kalan Ödeme:  26,90 TL"),
        QStringLiteral("İşçilik ığüşöç ÖĞÜŞÇİ 25.12.2008 14:30:00"),
        QStringLiteral("fi fl ffl ... TM Tf"), // ligatures of the fonts
        QStringLiteral("  leading and trailing  "),
        QStringLiteral("A&B ~ {x} | ½ ß ø ÿ Ā ɏ"),
        QStringLiteral("j_gypq|[]"), // below the baseline and past the advance
        QStringLiteral(" "),
    };
    const InkCase cases[] = {
        {QPoint(3, 14), QRect()},
        {QPoint(-7, 12), QRect()},                  // starts left of the image
        {QPoint(150, 8), QRect()},                  // runs past the right and top edges
        {QPoint(5, 22), QRect()},                   // below the bottom
        {QPoint(3, 14), QRect(20, 4, 60, 9)},       // cut on every side
        {QPoint(3, 14), QRect(0, 13, 200, 1)},      // one row
        {QPoint(3, 14), QRect(300, 0, 10, 10)},     // nothing of it inside
        {QPoint(20, 15), QRect(-10, -10, 500, 50)}, // a clip larger than the image
    };
    const QRgb pens[] = {0x000000, 0xFFFFFF, 0x102030};
    for (const QFont& font : fonts)
        for (const QString& text : texts)
            for (const InkCase& c : cases)
                for (const QRgb pen : pens)
                    for (int pass = 0; pass < 2; ++pass) { // the ink made, then remembered
                        QImage image = ground();
                        // A long line gets its ink at its second drawing; until then nothing
                        // is drawn.
                        const bool inked = platform::drawTextInk(image, c.clip, font, c.baseline,
                                                                 text, 0xFF000000 | pen);
                        if (!inked) {
                            ASSERT_TRUE(pass == 0 && text.size() > 40) << text.toStdString();
                            ASSERT_EQ(image, ground());
                            ASSERT_TRUE(platform::drawTextInk(image, c.clip, font, c.baseline, text,
                                                              0xFF000000 | pen));
                        }
                        ASSERT_EQ(image, toolkitLine(font, text, c, pen))
                            << text.toStdString() << " in " << font.key().toStdString() << " at "
                            << c.baseline.x() << "," << c.baseline.y() << ", pass " << pass;
                    }
}

TEST(FontsText, LinesWithoutOneColourInkAreLeftToTheToolkitAndDrawNothing) {
    QFont pointSized = platform::tahoma(11);
    pointSized.setPointSize(8);
    QFont smooth = platform::tahoma(12);
    smooth.setStyleStrategy(QFont::PreferAntialias);
    const struct {
        QFont font;
        QString text;
    } lines[] = {
        {pointSized, QStringLiteral("Araç Plakası")},                 // sized in points
        {smooth, QStringLiteral("Araç Plakası")},                     // antialiased
        {platform::tahoma(11), QStringLiteral("a\ttab")},             // a tab
        {platform::tahoma(11), QStringLiteral("Fiyat \u05D0\u05D1")}, // another script
        {platform::tahoma(11), QString(300, QChar(u'ş'))},            // longer than remembered
    };
    for (const auto& line : lines)
        for (int pass = 0; pass < 2; ++pass) {
            QImage image = ground();
            EXPECT_FALSE(platform::drawTextInk(image, QRect(), line.font, QPoint(3, 14), line.text,
                                               0xFF000000))
                << line.text.left(20).toStdString();
            EXPECT_EQ(image, ground()) << line.text.left(20).toStdString();
        }
}

TEST(FontsText, RememberedTextsStayWithinTheirMemoryAndAreDrawnRightAfterBeingForgotten) {
    const QFont fonts[] = {platform::tahoma(11), platform::tahoma(11, true)};
    const QString first = QStringLiteral("Balata değişimi 1.250,00 TL");
    QImage image = ground();
    ASSERT_TRUE(platform::drawTextInk(image, QRect(), fonts[0], QPoint(3, 14), first, 0xFF000000));
    const platform::TextMemory start = platform::rememberedTexts();
    EXPECT_GT(start.texts, 0);
    EXPECT_GT(start.bytes, 0u);
    // A long session: many more different lines, widths and inks, than may be kept.
    std::size_t most = 0;
    qsizetype mostTexts = 0;
    for (int i = 0; i < 30000; ++i) {
        const QString text = QStringLiteral("%1 Şükrü %2 Çağlar %3 TL")
                                 .arg(i)
                                 .arg(QString(i % 11, QChar(u'ğ')))
                                 .arg(i * 7);
        const QFont& font = fonts[i % 2];
        platform::textWidth(font, text);
        platform::drawTextInk(image, QRect(0, 0, 10, 10), font, QPoint(3, 14), text, 0xFF000000);
        most = std::max(most, platform::rememberedTexts().bytes);
        mostTexts = std::max(mostTexts, platform::rememberedTexts().texts);
    }
    const platform::TextMemory end = platform::rememberedTexts();
    EXPECT_LE(most, end.limit);
    EXPECT_GT(most, end.limit * 3 / 4); // the bound was reached, not just approached
    EXPECT_LE(mostTexts, 2 * 4096);
    // The first line, long forgotten, is made and drawn again as the toolkit draws it.
    image = ground();
    ASSERT_TRUE(platform::drawTextInk(image, QRect(), fonts[0], QPoint(3, 14), first, 0xFF000000));
    EXPECT_EQ(image, toolkitLine(fonts[0], first, InkCase{QPoint(3, 14), QRect()}, 0x000000));
    EXPECT_EQ(platform::textWidth(fonts[0], first),
              QFontMetrics(fonts[0]).horizontalAdvance(first));
}

} // namespace

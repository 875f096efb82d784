// Tests of the texts each font remembers: widths of the right font and text after any change of
// either, and lines drawn from remembered shapes exactly as the toolkit draws them.
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

} // namespace

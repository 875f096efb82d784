// Tests of the JPEG decoding of the header pictures.
#include "platform/Jpeg.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(Jpeg, TheHeaderPicturesDecodeAtTheirDesignSizes) {
    QImage logo = platform::decodeJpeg(readFile(KORVELA_SOURCE_DIR "/resources/logo.jpg"));
    QImage banner = platform::decodeJpeg(readFile(KORVELA_SOURCE_DIR "/resources/banner.jpg"));
    EXPECT_EQ(logo.size(), QSize(48, 50));
    EXPECT_EQ(banner.size(), QSize(632, 51));
    // The banner's left edge is the header's orange, give or take the compression.
    QColor edge = banner.pixelColor(0, 25);
    EXPECT_NEAR(edge.red(), 0xEF, 12);
    EXPECT_NEAR(edge.green(), 0x99, 20);
}

TEST(Jpeg, DataThatIsNotAJpegGivesANullPictureInsteadOfExiting) {
    EXPECT_TRUE(platform::decodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(platform::decodeJpeg(QByteArray("not a picture at all")).isNull());
    QByteArray truncated = readFile(KORVELA_SOURCE_DIR "/resources/logo.jpg").left(200);
    QImage partial = platform::decodeJpeg(truncated);
    EXPECT_TRUE(partial.isNull() || partial.size() == QSize(48, 50));
}

} // namespace

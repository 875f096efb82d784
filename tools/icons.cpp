// korvela-icons: makes the menu icon at the hicolor theme's usual sizes from the logo picture.
//
//   korvela-icons LOGO.jpg OUTDIR
//
// Writes OUTDIR/<n>x<n>/apps/korvela.png for each size: the logo cut to a centred square and
// scaled smoothly to n x n.
#include "platform/Jpeg.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvela-icons LOGO.jpg OUTDIR\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "korvela-icons: cannot read '%s'\n", argv[1]);
        return 1;
    }
    const QImage logo = platform::decodeJpeg(file.readAll());
    if (logo.isNull()) {
        std::fprintf(stderr, "korvela-icons: '%s' is not a readable JPEG\n", argv[1]);
        return 1;
    }
    const int side = qMin(logo.width(), logo.height());
    const QImage square =
        logo.copy((logo.width() - side) / 2, (logo.height() - side) / 2, side, side)
            .convertToFormat(QImage::Format_RGB32);
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        const QImage icon =
            square.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!QDir().mkpath(dir) || !icon.save(dir + QStringLiteral("/korvela.png"), "PNG")) {
            std::fprintf(stderr, "korvela-icons: cannot write into '%s'\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}

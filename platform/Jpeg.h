// JPEG pictures decoded with libjpeg.
#pragma once

#include <QByteArray>
#include <QImage>

namespace platform {

// Decodes a JPEG held in memory; a null image when the data is not a readable JPEG.
QImage decodeJpeg(const QByteArray& data);

} // namespace platform

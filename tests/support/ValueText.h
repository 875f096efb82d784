// A cursor value as the text the tests compare: storage forms for money and dates, "<null>".
#pragma once

#include "engine/CursorValue.h"

namespace testsupport {

inline QString valueText(const cursor::Value& v) {
    if (const QString* s = std::get_if<QString>(&v))
        return *s;
    if (const qint64* n = std::get_if<qint64>(&v))
        return QString::number(*n);
    if (const Money* m = std::get_if<Money>(&v))
        return m->toStorageText();
    if (const QDateTime* dt = std::get_if<QDateTime>(&v))
        return cursor::dateTimeToStorage(*dt);
    return cursor::isNull(v) ? QStringLiteral("<null>") : QStringLiteral("<other>");
}

} // namespace testsupport

// Bounded reads of buffers the device library fills, with no dependency but
// Qt Core: shared by the program's operations and by the tracing library.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstring>

// A byte count returned by the library, limited to 0..limit.
inline qint64 clampedCount(qint64 count, qint64 limit)
{
    return std::clamp<qint64>(count, 0, limit);
}

// The bytes of a buffer up to its first zero byte, or all of it when the
// library left no zero byte.
inline QByteArray boundedText(const char *buffer, std::size_t size)
{
    const void *end = std::memchr(buffer, '\0', size);
    const std::size_t length = end ? static_cast<const char *>(end) - buffer : size;
    return QByteArray(buffer, static_cast<int>(length));
}

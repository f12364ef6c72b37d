// The identity photo decoded with bounded memory (records.h). Kept apart
// from the record's text decoders, which need Qt Core only, so that a
// program without images (readerctl) does not link Qt's image support.
#include "records.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

namespace {
// Identity photos are about a hundred pixels on each side. The photo comes
// from the card, so an image header declaring more than this is refused
// before anything is decoded or allocated for it.
constexpr int largestPhotoSide = 2048;

bool withinPhotoSides(const QSize &size)
{
    return size.width() <= largestPhotoSide && size.height() <= largestPhotoSide;
}

// Nor is the decoded picture ever larger than the largest one at 32 bits per
// pixel (16 MiB): a 16-bit RGBA PNG of 2048 x 2048 would take 32 MiB. A GIF
// does not report its pixel format before decoding; it always decodes to 32
// bits.
bool withinPhotoBytes(const QSize &size, QImage::Format format)
{
    constexpr qint64 largestBytes = qint64(largestPhotoSide) * largestPhotoSide * 4;
    const int bits = QImage::toPixelFormat(format).bitsPerPixel();
    const qint64 bytesPerPixel = bits > 0 ? (bits + 7) / 8 : 4;
    return qint64(size.width()) * size.height() * bytesPerPixel <= largestBytes;
}

// The formats whose decoders allocate the size that the reader reports
// before decoding, so that checking it bounds the memory a photo costs.
// Others are refused: an icon file reports the size in its directory while
// the PNG or BMP inside it is decoded at the size of its own header, and
// formats that plugins add on one machine or another have not been checked.
bool isPhotoFormat(const QByteArray &format)
{
    return format == "png" || format == "jpeg" || format == "bmp" || format == "gif";
}

// A GIF is decoded onto its logical screen (bytes 6 to 9 of the file), but
// when that screen is much larger than the first frame the reader reports
// the frame's size instead: a 6403 x 1 screen around a 3 x 1 frame reads as
// 3 x 1 and decodes as 6403 x 1. A screen of 0 takes the frame's extent,
// which the reported size does cover.
bool gifScreenWithinPhotoSides(const QByteArray &file)
{
    if (file.size() < 10)
        return false;
    const auto le16 = [&file](int at) {
        return static_cast<unsigned char>(file.at(at))
               | static_cast<unsigned char>(file.at(at + 1)) << 8;
    };
    return withinPhotoSides(QSize(le16(6), le16(8)));
}

// The text chunks of a PNG file (tEXt, zTXt, iTXt), left out before it is
// decoded: the tab shows none of them, yet libpng inflates compressed text,
// megabytes from a few kilobytes, and Qt keeps several copies of it with the
// image (about 45 MB for 7.5 KB). Anything else, a cut last chunk included,
// stays as it is.
QByteArray withoutPngText(const QByteArray &file)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (!file.startsWith(signature))
        return file;
    QByteArray kept = signature;
    int at = signature.size();
    while (file.size() - at >= 12) {
        const quint32 length = qFromBigEndian<quint32>(file.constData() + at);
        if (length > static_cast<quint32>(file.size() - at - 12))
            break;
        const int chunkSize = 12 + static_cast<int>(length);
        const QByteArray type = file.mid(at + 4, 4);
        if (type != "tEXt" && type != "zTXt" && type != "iTXt")
            kept += file.mid(at, chunkSize);
        at += chunkSize;
    }
    return kept + file.mid(at);
}
} // namespace

QImage identityPhoto(const QString &base64)
{
    QByteArray file = withoutPngText(QByteArray::fromBase64(base64.toLatin1()));
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    const QByteArray format = reader.format();
    if (!isPhotoFormat(format))
        return QImage();
    const QSize size = reader.size();
    if (!size.isValid() || !withinPhotoSides(size) || !withinPhotoBytes(size, reader.imageFormat()))
        return QImage();
    if (format == "gif" && !gifScreenWithinPhotoSides(file))
        return QImage();
    return reader.read();
}

// The one part of readerctl that needs Qt's images: `call identity --photo`.
// A module loaded only when a photo is asked for, so that every other command
// starts without loading Qt Gui. The photo is decoded by the window's own
// bounded decoder (identityPhoto), then written as PNG.
#include "photomodule.h"

#include "records.h"

#include <QFile>
#include <QImage>

extern "C" __attribute__((visibility("default"))) bool readerctlSavePhoto(const char *base64, const char *path)
{
    const QImage photo = identityPhoto(QString::fromLatin1(base64));
    return !photo.isNull() && photo.save(QFile::decodeName(path), "PNG");
}

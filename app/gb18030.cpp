#include "gb18030.h"

#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringDecoder>
#include <QStringEncoder>
#else
#include <QTextCodec>
#endif

namespace {

const char codecName[] = "GB18030";

[[noreturn]] void codecMissing()
{
    qFatal("This Qt %s has no %s text codec; card text records cannot be converted. "
           "Build Qt with ICU (Debian's Qt packages are).",
           qVersion(), codecName);
}

} // namespace

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)

bool gb18030Available()
{
    return QStringDecoder(codecName).isValid();
}

QString fromGb18030(const QByteArray &bytes)
{
    // A fresh decoder per call: whatever an incomplete sequence at the end
    // leaves in its state goes with it.
    QStringDecoder decoder(codecName);
    if (!decoder.isValid())
        codecMissing();
    return decoder.decode(bytes);
}

QByteArray toGb18030(const QString &text)
{
    QStringEncoder encoder(codecName);
    if (!encoder.isValid())
        codecMissing();
    return encoder.encode(text);
}

#else

namespace {

QTextCodec *codec()
{
    static QTextCodec *const found = QTextCodec::codecForName(codecName);
    return found;
}

} // namespace

bool gb18030Available()
{
    return codec() != nullptr;
}

QString fromGb18030(const QByteArray &bytes)
{
    if (!codec())
        codecMissing();
    return codec()->toUnicode(bytes);
}

QByteArray toGb18030(const QString &text)
{
    if (!codec())
        codecMissing();
    return codec()->fromUnicode(text);
}

#endif

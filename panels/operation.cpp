#include "operation.h"
#include "gb18030.h"

#include <QLabel>
#include <QVariant>

#include <algorithm>

namespace {
const QString codeMarker = QStringLiteral("错误代码：");
const QString missingMarker = QStringLiteral("接口库未导出");
} // namespace

Operation::Operation(QLabel *statusLine, const char *failureText)
    : m_statusLine(statusLine), m_failureText(QString::fromUtf8(failureText))
{
}

bool Operation::entriesBound(std::initializer_list<EntryPoint> entries) const
{
    for (EntryPoint entry : entries) {
        if (isBound(entry))
            continue;
        QString text = m_failureText;
        if (text.endsWith(codeMarker))
            text.chop(codeMarker.size());
        report(text + missingMarker + QLatin1String(entryPointName(entry)));
        return false;
    }
    return true;
}

bool Operation::failed(qint64 code) const
{
    if (code == 0)
        return false;
    report(failure(code));
    return true;
}

QString Operation::failure(qint64 code) const
{
    return m_failureText + codeText(code);
}

void Operation::report(const QString &text) const
{
    m_text = text;
    // Through the property system: this unit needs Qt Core only, so that
    // programs without a window can use the operations.
    if (m_statusLine)
        m_statusLine->setProperty("text", QVariant(text));
}

QString codeText(qint64 code)
{
    return QString::number(code);
}

qint64 hexByteCount(qint64 count, std::size_t byteCapacity, std::size_t textCapacity)
{
    const std::size_t textRoom = textCapacity > 0 ? (textCapacity - 1) / 2 : 0;
    return clampedCount(count, static_cast<qint64>(std::min(byteCapacity, textRoom)));
}

QByteArray paddedHexInput(const QString &text, qint64 count)
{
    QByteArray input = text.toUtf8();
    const qint64 wanted = 2 * std::max<qint64>(count, 0);
    if (input.size() < wanted)
        input.append(QByteArray(static_cast<int>(wanted - input.size()), '0'));
    return input;
}

void hexToBytesInto(const QString &text, qint64 count, unsigned char *bytes, std::size_t capacity)
{
    const qint64 bounded = clampedCount(count, static_cast<qint64>(capacity));
    const QByteArray input = paddedHexInput(text, bounded);
    pAscToHex(input.constData(), bounded, bytes);
}

unsigned char decimalByte(const QString &text)
{
    return static_cast<unsigned char>(text.toInt() & 0xFF);
}

QStringList cardTextRecord(const QByteArray &gb18030)
{
    return fromGb18030(gb18030).split(QLatin1Char(':'));
}

QString recordField(const QStringList &fields, int index)
{
    return fields.value(index);
}

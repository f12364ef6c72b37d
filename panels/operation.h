// Mechanics shared by every operation of the main window.
//
// The device library is code we do not control, so every slot goes through
// these helpers instead of touching library pointers or buffers itself:
//  - Operation checks that the entry points it needs are exported before the
//    first call, and writes the status line in the operation's own words;
//  - LibraryBuffer is a zero-filled buffer whose text is never read past its
//    end, even when the library wrote no terminating zero byte;
//  - bytesToHex()/hexToBytes() wrap HexToAsc/AscToHex with clamped counts and
//    padded input, so a count from the library or a short typed text can never
//    make a conversion run outside its buffers;
//  - decimalByte() and cardTextRecord() are the common input and record
//    conversions.
#pragma once

#include "bounds.h"
#include "loader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <initializer_list>

class QLabel;

// The status line of one operation.
class Operation
{
public:
    // failureText ends in "错误代码：", e.g. "M1卡寻卡失败，错误代码：".
    // Without a status line, the text is only kept for text().
    Operation(QLabel *statusLine, const char *failureText);

    // True when every entry point is exported. Otherwise the status line
    // reports the first missing one in place of a code ("…失败，接口库未导出
    // M1FindCard") and the operation must stop without calling anything.
    bool entriesBound(std::initializer_list<EntryPoint> entries) const;

    // True (and the failure text with the code in the status line) when the
    // result code is not 0.
    bool failed(qint64 code) const;

    // The failure text followed by the code in decimal.
    QString failure(qint64 code) const;

    void report(const QString &text) const;

    // The last text reported.
    QString text() const { return m_text; }

private:
    QLabel *m_statusLine;
    QString m_failureText;
    mutable QString m_text;
};

// The result code in decimal, with "-" when negative.
QString codeText(qint64 code);

// A zero-filled buffer handed to the library for one call.
template <typename Byte, std::size_t Size> struct LibraryBuffer
{
    static_assert(sizeof(Byte) == 1, "byte buffers only");
    std::array<Byte, Size> bytes{};

    Byte *data() { return bytes.data(); }
    const Byte *data() const { return bytes.data(); }
    static constexpr std::size_t size() { return Size; }

    QByteArray text() const
    {
        return boundedText(reinterpret_cast<const char *>(bytes.data()), Size);
    }
    QString utf8() const { return QString::fromUtf8(text()); }
};

template <std::size_t Size> using TextBuffer = LibraryBuffer<char, Size>;
template <std::size_t Size> using ByteBuffer = LibraryBuffer<unsigned char, Size>;

// A byte count returned by the library, limited to what a byte buffer holds
// and to what a text buffer holds at two characters per byte plus the
// terminating zero.
qint64 hexByteCount(qint64 count, std::size_t byteCapacity, std::size_t textCapacity);

// HexToAsc of the first count bytes of a buffer into a zeroed text buffer of
// TextSize bytes, with the count clamped by hexByteCount(); the text is read up
// to its first zero byte and decoded as UTF-8.
template <std::size_t TextSize, std::size_t ByteSize>
QString bytesToHex(const ByteBuffer<ByteSize> &buffer, qint64 count)
{
    TextBuffer<TextSize> text;
    pHexToAsc(buffer.data(), hexByteCount(count, ByteSize, TextSize), text.data());
    return text.utf8();
}

// The UTF-8 text handed to AscToHex for count bytes: the text itself, or a
// copy padded with '0' to 2 × count characters when it is shorter, so the
// conversion never reads past its end.
QByteArray paddedHexInput(const QString &text, qint64 count);

// AscToHex of count bytes (at most the buffer's size) from typed text.
void hexToBytesInto(const QString &text, qint64 count, unsigned char *bytes, std::size_t capacity);

template <std::size_t ByteSize>
void hexToBytes(const QString &text, qint64 count, ByteBuffer<ByteSize> &buffer)
{
    hexToBytesInto(text, count, buffer.data(), ByteSize);
}

// A decimal number typed by the operator as one byte: the toolkit's integer
// conversion (0 when the text does not parse) reduced to its low 8 bits.
unsigned char decimalByte(const QString &text);

// A card text record: GB18030 text split at every ":", empty fields kept.
QStringList cardTextRecord(const QByteArray &gb18030);

// Field index of a record, or an empty text when the record is shorter.
QString recordField(const QStringList &fields, int index);

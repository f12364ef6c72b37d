#include "bankcard.h"

#include <QVector>

#include <cctype>

namespace sim {

bool isBankTag(char letter)
{
    return (letter >= 'A' && letter <= 'G') || (letter >= 'I' && letter <= 'L')
           || (letter >= 'O' && letter <= 'W');
}

std::optional<BankElements> parseBankElements(const QByteArray &utf8)
{
    // Qt 6 keeps a zero byte through the round trip below, Qt 5 stops there.
    if (utf8.contains('\0'))
        return std::nullopt;
    const QString text = QString::fromUtf8(utf8);
    // Invalid sequences or a byte order mark do not survive the
    // round trip; such text is not transaction data.
    if (text.toUtf8() != utf8)
        return std::nullopt;
    const QVector<uint> chars = text.toUcs4();
    const int size = chars.size();
    BankElements elements;
    int at = 0;
    while (at < size) {
        if (size - at < 4 || chars[at] > 0x7F || !isBankTag(static_cast<char>(chars[at])))
            return std::nullopt;
        int length = 0;
        for (int i = 1; i <= 3; ++i) {
            const uint digit = chars[at + i];
            if (digit < '0' || digit > '9')
                return std::nullopt;
            length = length * 10 + static_cast<int>(digit - '0');
        }
        const char tag = static_cast<char>(chars[at]);
        at += 4;
        if (size - at < length)
            return std::nullopt;
        elements.push_back(
            {tag, QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + at),
                                    length)});
        at += length;
    }
    return elements;
}

std::optional<QByteArray> formatBankElements(const BankElements &elements)
{
    QByteArray text;
    for (const BankElement &element : elements) {
        const int length = element.value.toUcs4().size();
        if (!isBankTag(element.tag) || length > maxElementLength)
            return std::nullopt;
        text += element.tag;
        text += QByteArray::number(length).rightJustified(3, '0');
        text += element.value.toUtf8();
    }
    return text;
}

namespace {

// Digits required by the terminal's numeric fields; -1 for free text.
int fixedDigits(char tag)
{
    switch (tag) {
    case 'P':
    case 'Q':
        return 12;
    case 'R':
    case 'V':
        return 4;
    case 'S':
    case 'U':
        return 6;
    case 'T':
        return 2;
    default:
        return -1;
    }
}

bool isDecimal(const QString &text)
{
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool isHex(const QByteArray &text)
{
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

} // namespace

bool isUsableTransaction(const BankElements &elements)
{
    if (elements.empty())
        return false;
    bool seen[128] = {};
    for (const BankElement &element : elements) {
        const auto tag = static_cast<unsigned char>(element.tag);
        if (tag >= sizeof seen || seen[tag])
            return false;
        seen[tag] = true;
        const int digits = fixedDigits(element.tag);
        if (digits >= 0 && (element.value.size() != digits || !isDecimal(element.value)))
            return false;
    }
    return true;
}

bool isWellFormedArpc(const QByteArray &arpc)
{
    return (arpc.size() == 16 || (arpc.size() >= 20 && arpc.size() % 2 == 0)) && isHex(arpc);
}

} // namespace sim

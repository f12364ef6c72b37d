#include "personaldata.h"

#include "gb18030.h"

#include <QVector>

#include <algorithm>

namespace {
const QChar hidden = QLatin1Char('*');

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// How many characters to keep at each end of a text of length characters:
// first and last, unless that would hide less than a third of it; then a
// quarter at each end.
std::pair<int, int> keptEnds(int length, int first, int last)
{
    if (length - first - last >= (length + 2) / 3)
        return {first, last};
    return {length / 4, length / 4};
}

QString keepEnds(const QString &value, int first, int last)
{
    const QVector<uint> characters = value.toUcs4();
    const int length = characters.size();
    const auto [keepFirst, keepLast] = keptEnds(length, first, last);
    QString out;
    for (int i = 0; i < length; ++i) {
        if (i < keepFirst || i >= length - keepLast)
            out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&characters[i]), 1);
        else
            out += hidden;
    }
    return out;
}

// The first 6 and last 4 digits kept, every other digit and letter hidden,
// separators (^, =, spaces and the like) kept so that track data keeps its
// shape.
QString keepEndDigits(const QString &value)
{
    int digits = 0;
    for (QChar c : value)
        digits += isAsciiDigit(c) ? 1 : 0;
    const auto [keepFirst, keepLast] = keptEnds(digits, 6, 4);
    QString out;
    int digit = 0;
    for (QChar c : value) {
        if (isAsciiDigit(c)) {
            out += digit < keepFirst || digit >= digits - keepLast ? c : hidden;
            ++digit;
        } else if (c.isLetterOrNumber() || c.isSurrogate()) {
            out += hidden;
        } else {
            out += c;
        }
    }
    return out;
}

QString firstCharacter(const QString &value)
{
    const QVector<uint> characters = value.toUcs4();
    if (characters.isEmpty())
        return QString();
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(&characters[0]), 1) + QString(characters.size() - 1, hidden);
}

QString asciiPlaceholder(QChar c)
{
    if (isAsciiDigit(c))
        return QStringLiteral("0");
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        return QStringLiteral("x");
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        return QStringLiteral("X");
    return QString(c);
}

int utf8Length(uint character)
{
    return character < 0x80 ? 1 : character < 0x800 ? 2 : character < 0x10000 ? 3 : 4;
}

// A character of the same encoded size in UTF-8 and in GB18030 alike. Beyond
// ASCII a character takes 2 or 3 bytes in UTF-8 and, independently, 2 or 4
// in GB18030 (4 for those outside its two-byte table); each of the four
// combinations has its placeholder: × (2 and 2), À (2 and 4), 某 (3 and 2),
// 㐀 (3 and 4). 𠀀 stands for every character beyond the Basic Multilingual
// Plane (4 and 4).
QString placeholderFor(uint character)
{
    if (character < 0x80)
        return asciiPlaceholder(QChar(static_cast<ushort>(character)));
    if (character > 0xFFFF)
        return QString::fromUtf8("\xF0\xA0\x80\x80");
    const QChar c(static_cast<ushort>(character));
    const bool twoInGb18030 = toGb18030(QString(c)).size() == 2;
    if (utf8Length(character) == 2)
        return twoInGb18030 ? QString::fromUtf8("\xC3\x97") : QString::fromUtf8("\xC3\x80");
    return twoInGb18030 ? QString::fromUtf8("\xE6\x9F\x90") : QString::fromUtf8("\xE3\x90\x80");
}

// The placeholder bytes for a sequence of length bytes: 某 (two bytes in
// GB18030), 㐀 (four in GB18030), × 某 𠀀 (two, three, four in UTF-8).
QByteArray placeholderBytes(int length, TextEncoding encoding)
{
    if (encoding == TextEncoding::Gb18030)
        return length == 2 ? QByteArray("\xC4\xB3") : QByteArray("\x81\x39\xEE\x39");
    switch (length) {
    case 2:
        return QByteArray("\xC3\x97");
    case 3:
        return QByteArray("\xE6\x9F\x90");
    default:
        return QByteArray("\xF0\xA0\x80\x80");
    }
}

// Each value of the element text hidden by hide(kind of its letter, value).
template <typename Hide> QString perElement(const QString &elements, Hide hide)
{
    QString out;
    int at = 0;
    while (at < elements.size()) {
        bool parsed = false;
        const int length = at + 4 <= elements.size() ? elements.mid(at + 1, 3).toInt(&parsed) : 0;
        if (!parsed || length < 0 || at + 4 + length > elements.size()
            || !elements.at(at + 1).isDigit())
            return hide(Personal::Secret, elements);
        out += elements.mid(at, 4)
               + hide(bankCardLetter(elements.at(at)).kind, elements.mid(at + 4, length));
        at += 4 + length;
    }
    return out;
}
} // namespace

QString masked(Personal kind, const QString &value)
{
    switch (kind) {
    case Personal::No:
        return value;
    case Personal::Name:
        return firstCharacter(value);
    case Personal::IdNumber:
        return keepEnds(value, 6, 4);
    case Personal::CardNumber:
        return keepEndDigits(value);
    case Personal::Secret:
        return QString(value.toUcs4().size(), hidden);
    case Personal::Photo:
        return QString();
    case Personal::BankElements:
        return perElement(value, masked);
    }
    return QString();
}

QString redacted(Personal kind, const QString &value)
{
    if (kind == Personal::No)
        return value;
    if (kind == Personal::BankElements)
        return perElement(value, redacted);
    // A photo is Base64: 'A' decodes to zero bits, so the placeholder is a
    // photo of the same size that decodes to nothing.
    if (kind == Personal::Photo) {
        QString out = value;
        for (QChar &c : out)
            if (c != QLatin1Char('='))
                c = QLatin1Char('A');
        return out;
    }
    QString out;
    for (uint character : value.toUcs4())
        out += placeholderFor(character);
    return out;
}

QByteArray redactedBytes(Personal kind, const QByteArray &bytes, TextEncoding encoding)
{
    if (kind == Personal::No)
        return bytes;
    QByteArray out;
    out.reserve(bytes.size());
    for (int at = 0; at < bytes.size();) {
        const int length = sequenceLength(
            reinterpret_cast<const unsigned char *>(bytes.constData()) + at,
            static_cast<std::size_t>(bytes.size() - at), encoding);
        if (length == 0) {
            out += '\x80';
            ++at;
            continue;
        }
        if (length == 1) {
            const QChar c = QLatin1Char(bytes[at]);
            out += kind == Personal::Photo && c != QLatin1Char('=')
                       ? 'A'
                       : asciiPlaceholder(c).at(0).toLatin1();
        } else {
            out += placeholderBytes(length, encoding);
        }
        at += length;
    }
    return out;
}

PersonalField identityRecordField(int index)
{
    static const PersonalField fields[] = {
        {"type_flag", Personal::No},     {"name", Personal::Name},
        {"english_name", Personal::Name}, {"gender", Personal::No},
        {nullptr, Personal::No},          {"nation", Personal::No},
        {"pass_number", Personal::IdNumber}, {"birth_date", Personal::Secret},
        {"address", Personal::Name},      {"id_number", Personal::IdNumber},
        {"sign_organ", Personal::No},     {"valid_from", Personal::No},
        {"valid_to", Personal::No},       {"version", Personal::No},
        {"photo", Personal::Photo},
    };
    constexpr int count = sizeof fields / sizeof fields[0];
    return index >= 0 && index < count ? fields[index] : PersonalField{nullptr, Personal::No};
}

PersonalField socialSecurityRecordField(int index)
{
    static const PersonalField fields[] = {
        {"identity_code", Personal::IdNumber}, {"category", Personal::No},
        {"standard_version", Personal::No},    {"init_org", Personal::No},
        {"issue_date", Personal::No},          {"valid_to", Personal::No},
        {"card_number", Personal::IdNumber},   {"id_number", Personal::IdNumber},
        {"name", Personal::Name},              {nullptr, Personal::No},
        {"gender", Personal::No},              {"nation", Personal::No},
        {"birth_place", Personal::Name},       {"birth_date", Personal::Secret},
    };
    constexpr int count = sizeof fields / sizeof fields[0];
    return index >= 0 && index < count ? fields[index] : PersonalField{nullptr, Personal::No};
}

PersonalField bankCardLetter(QChar letter)
{
    struct Letter
    {
        char letter;
        PersonalField field;
    };
    static const Letter letters[] = {
        {'A', {"pan", Personal::CardNumber}},
        {'B', {"cardholder_name", Personal::Name}},
        {'C', {"id_type", Personal::No}},
        {'D', {"id_number", Personal::IdNumber}},
        {'E', {"ec_balance", Personal::No}},
        {'F', {"ec_balance_limit", Personal::No}},
        {'G', {"ec_single_limit", Personal::No}},
        {'I', {"expiry_date", Personal::No}},
        {'J', {"pan_sequence", Personal::No}},
        {'K', {"track2", Personal::CardNumber}},
        {'L', {"track1_discretionary", Personal::CardNumber}},
        {'O', {"last_online_atc", Personal::No}},
        {'P', {"amount", Personal::No}},
        {'Q', {"other_amount", Personal::No}},
        {'R', {"currency", Personal::No}},
        {'S', {"date", Personal::No}},
        {'T', {"type", Personal::No}},
        {'U', {"time", Personal::No}},
        {'V', {"country", Personal::No}},
        {'W', {"merchant", Personal::No}},
    };
    for (const Letter &entry : letters)
        if (letter == QLatin1Char(entry.letter))
            return entry.field;
    return {nullptr, Personal::No};
}

int sequenceLength(const unsigned char *bytes, std::size_t available, TextEncoding encoding)
{
    const auto byte = [bytes, available](std::size_t i) {
        return i < available ? static_cast<unsigned>(bytes[i]) : 0u;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (encoding == TextEncoding::Gb18030) {
        if (lead < 0x81 || lead > 0xFE)
            return 0;
        const unsigned second = byte(1);
        if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE))
            return 2;
        const bool four = second >= 0x30 && second <= 0x39 && byte(2) >= 0x81
                          && byte(2) <= 0xFE && byte(3) >= 0x30 && byte(3) <= 0x39;
        return four ? 4 : 0;
    }
    int length = 0;
    uint codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    const bool overlong =
        (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return overlong || surrogate || codePoint > 0x10FFFF ? 0 : length;
}

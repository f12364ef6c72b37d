#include "bankterminal.h"

#include "gb18030.h"
#include <QRandomGenerator>

#include <cstring>

namespace device::payment {
namespace {

// The letters of IccGetCardInfo and the data objects behind them.
const Letter letters[] = {
    {'A', 0x5A, Form::Digits},     {'B', 0x5F20, Form::Text},     {'C', 0x9F62, Form::Hex},
    {'D', 0x9F61, Form::Text},     {'E', 0x9F79, Form::Digits},   {'F', 0x9F77, Form::Digits},
    {'G', 0x9F78, Form::Digits},   {'I', 0x5F24, Form::Digits},   {'J', 0x5F34, Form::Digits},
    {'K', 0x57, Form::Digits},     {'L', 0x9F1F, Form::Text},     {'O', 0x9F13, Form::Hex},
    {'P', 0x9F02, Form::Terminal}, {'Q', 0x9F03, Form::Terminal}, {'R', 0x5F2A, Form::Terminal},
    {'S', 0x9A, Form::Terminal},   {'T', 0x9C, Form::Terminal},   {'U', 0x9F21, Form::Terminal},
    {'V', 0x9F1A, Form::Terminal}, {'W', 0x9F4E, Form::Terminal},
};

// The terminal's values until transaction data replaces them (letters P-W).
const sim::BankElement terminalDefaults[] = {
    {'P', QStringLiteral("000000000000")}, {'Q', QStringLiteral("000000000000")},
    {'R', QStringLiteral("0156")},         {'S', QStringLiteral("180101")},
    {'T', QStringLiteral("01")},           {'U', QStringLiteral("010101")},
    {'V', QStringLiteral("0156")},         {'W', QStringLiteral("模拟便利店")},
};

// The terminal's own data objects, the same for every transaction.
struct TerminalObject
{
    Tag tag;
    const char *hex;
};
const TerminalObject terminalObjects[] = {
    // Terminal capabilities: manual key entry, magnetic stripe, contact IC;
    // plaintext and online PIN, signature; no offline data authentication.
    {0x9F33, "E0E100"},
    {0x9F35, "22"},               // terminal type: attended, offline with online capability
    {0x9F34, "3F0000"},           // CVM results: no CVM performed
    {0x9F40, "F000F0A001"},       // additional terminal capabilities
    {0x9F09, "0030"},             // application version number
    {0x9F15, "5999"},             // merchant category code
    {0x9F1E, "5352303030373138"}, // interface device serial number "SR000718"
};

// Terminal transaction qualifiers. Contact: contactless full flow, online
// PIN, signature, as before the quick flow existed. Contactless: the full
// flow and the quick flow (byte 1 bit 6), and an online cryptogram required
// (byte 2 bit 8), since every cryptogram asked for goes to the issuer.
const char contactQualifiers[] = "46000000";
const char contactlessQualifiers[] = "66800000";

QString textOf(const Bytes &data)
{
    std::size_t end = data.size();
    while (end > 0 && (data[end - 1] == 0x00 || data[end - 1] == ' ' || data[end - 1] == 0xFF))
        --end;
    const QByteArray raw(reinterpret_cast<const char *>(data.data()), static_cast<int>(end));
    return fromGb18030(raw);
}

} // namespace

const Letter *letterOf(char letter)
{
    for (const Letter &entry : letters) {
        if (entry.letter == letter)
            return &entry;
    }
    return nullptr;
}

QString terminalValue(const sim::BankElements &transaction, char letter)
{
    for (const sim::BankElement &element : transaction) {
        if (element.tag == letter)
            return element.value;
    }
    for (const sim::BankElement &element : terminalDefaults) {
        if (element.tag == letter)
            return element.value;
    }
    return QString();
}

std::map<Tag, Bytes> transactionObjects(const sim::BankElements &transaction, bool contactless)
{
    std::map<Tag, Bytes> objects;
    for (const Letter &letter : letters) {
        if (letter.form != Form::Terminal)
            continue;
        const QString value = terminalValue(transaction, letter.letter);
        if (letter.tag == 0x9F4E) {
            const QByteArray name = toGb18030(value);
            objects[letter.tag] = Bytes(name.begin(), name.end());
        } else {
            objects[letter.tag] = fromHex(value.toLatin1());
        }
    }
    for (const TerminalObject &object : terminalObjects)
        objects[object.tag] = fromHex(object.hex);
    objects[0x9F66] = fromHex(contactless ? contactlessQualifiers : contactQualifiers);
    objects[tvrTag] = Bytes(5, 0x00);
    objects[tsiTag] = Bytes(2, 0x00);
    // This terminal authenticates no card data offline.
    raise(objects, noOfflineAuthentication);
    const quint32 unpredictable = QRandomGenerator::system()->generate();
    objects[0x9F37] = {static_cast<unsigned char>(unpredictable >> 24),
                       static_cast<unsigned char>(unpredictable >> 16),
                       static_cast<unsigned char>(unpredictable >> 8),
                       static_cast<unsigned char>(unpredictable)};
    return objects;
}

void raise(std::map<Tag, Bytes> &objects, Flag flag)
{
    Bytes &value = objects[flag.tag];
    if (value.size() > flag.byte)
        value[flag.byte] |= flag.bit;
}

Bytes fillFrom(const Dol &dol, const std::map<Tag, Bytes> &objects)
{
    return fillDol(dol, [&objects](Tag tag) -> std::optional<Bytes> {
        const auto found = objects.find(tag);
        if (found == objects.end())
            return std::nullopt;
        return found->second;
    });
}

bool collect(const Bytes &data, std::map<Tag, Bytes> &objects, int depth)
{
    const auto parsed = parseTlv(data.data(), data.size());
    if (!parsed)
        return false;
    for (const TlvObject &object : *parsed) {
        if (object.constructed) {
            if (depth < deepestTemplate && !collect(object.bytes(), objects, depth + 1))
                return false;
        } else {
            objects.emplace(object.tag, object.bytes());
        }
    }
    return true;
}

Bytes fromHex(const QByteArray &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return Bytes(raw.begin(), raw.end());
}

Bytes fromAscii(const char *text)
{
    return Bytes(text, text + std::strlen(text));
}

std::string hexOf(const Bytes &data)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : data) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

QString digitsOf(const Bytes &data)
{
    std::string hex = hexOf(data);
    while (!hex.empty() && hex.back() == 'F')
        hex.pop_back();
    return QString::fromStdString(hex);
}

QString valueText(Form form, const Bytes &data)
{
    switch (form) {
    case Form::Digits:
        return digitsOf(data);
    case Form::Text:
        return textOf(data);
    default:
        return QString::fromStdString(hexOf(data));
    }
}

} // namespace device::payment

// Card text records from the library: arbitrary bytes in a read buffer of the
// identity tab's size, decoded as GB18030 and split into fields, and the texts
// the identity and social security tabs make of them.
#include "fuzzcheck.h"
#include "operation.h"
#include "records.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t readBufferSize = 10240;

// What a widget shows for field i: the field itself, or nothing when the
// record has no such field.
QString fieldAt(const QStringList &fields, int i)
{
    return i < fields.size() ? fields.at(i) : QString();
}

void checkIdentity(const QStringList &fields, int decodedLength)
{
    const IdentityDisplay display = identityDisplay(fields);
    check(display.name == fieldAt(fields, 1));
    check(display.gender == fieldAt(fields, 3));
    check(display.nation == fieldAt(fields, 5));
    check(display.birthday == fieldAt(fields, 7));
    check(display.address == fieldAt(fields, 8));
    check(display.idNumber == fieldAt(fields, 9));
    check(display.signOrg == fieldAt(fields, 10));
    check(display.photo == fieldAt(fields, 14));
    if (fields.size() > 11)
        check(display.validity == fieldAt(fields, 11) + " - " + fieldAt(fields, 12));
    else
        check(display.validity.isEmpty());

    // The extra text: the whole type flag, then the fields its first
    // character selects, and nothing of field 4 or of any other field.
    const QString flag = fieldAt(fields, 0);
    QString other = QStringLiteral("证件类型标识：") + flag;
    if (flag.startsWith(QLatin1Char('I')))
        other += QStringLiteral("  英文姓名：") + fieldAt(fields, 2)
                 + QStringLiteral("  证件版本号：") + fieldAt(fields, 13);
    else if (flag.startsWith(QLatin1Char('J')))
        other += QStringLiteral("  通行证号码：") + fieldAt(fields, 6)
                 + QStringLiteral("  签发次数：") + fieldAt(fields, 13);
    check(display.other == other);

    // No widget shows more than the record held, plus the fixed labels.
    const int labels = 40;
    for (const QString *shown :
         {&display.name, &display.gender, &display.nation, &display.birthday, &display.address,
          &display.idNumber, &display.signOrg, &display.validity, &display.other, &display.photo})
        check(shown->size() <= decodedLength + labels);
}

void checkSocialSecurity(const QStringList &fields)
{
    const std::array<QString, 13> display = socialSecurityDisplay(fields);
    // Fields 0 to 13 in order, field 9 (not shown) left out.
    int shown = 0;
    for (int field = 0; field <= 13; ++field) {
        if (field == 9)
            continue;
        check(display[static_cast<std::size_t>(shown)] == fieldAt(fields, field));
        ++shown;
    }
    check(shown == 13);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    // The library's read buffer: zero-filled, then written with at most its
    // size; the record ends at the first zero byte or at the buffer's end.
    TextBuffer<readBufferSize> buffer;
    std::memcpy(buffer.data(), data, size < readBufferSize ? size : readBufferSize);
    const QByteArray bytes = buffer.text();
    check(static_cast<std::size_t>(bytes.size()) <= readBufferSize && !bytes.contains('\0'));

    const QStringList fields = cardTextRecord(bytes);
    const QString decoded = fields.join(QLatin1Char(':'));

    // ":" is a single byte that no GB18030 sequence contains: every colon of
    // the bytes separates two fields, and no other byte makes a separator.
    check(fields.size() == bytes.count(':') + 1);
    // Every decoded character comes from at least one byte (a four-byte
    // sequence gives two UTF-16 units), and no zero byte appears.
    check(decoded.size() <= bytes.size());
    check(!decoded.contains(QChar(0)));
    // Pure ASCII records are the bytes themselves.
    bool ascii = true;
    for (char byte : bytes)
        ascii = ascii && static_cast<unsigned char>(byte) < 0x80;
    if (ascii)
        check(decoded == QString::fromLatin1(bytes));

    checkIdentity(fields, decoded.size());
    checkSocialSecurity(fields);
    return 0;
}

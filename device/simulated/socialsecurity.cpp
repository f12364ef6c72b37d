// The social security card of the simulated reader: one synthetic
// third-generation card whose record is a GB18030 card text record, and error
// texts in Chinese as UTF-8.
#include "operations.h"
#include "gb18030.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

using namespace device;

namespace sim {
namespace {

// Both buffers hold 4096 bytes with the terminating zero byte.
constexpr std::size_t textCapacity = 4096;

// Synthetic: the region code 99 and the place do not exist.
// Card identification code, category, card standard version, initialising
// organisation, issue date, validity, card number, identity number, name,
// chip type, gender, ethnic group, place of birth, date of birth, generation.
const char *const recordFields[] = {
    "990100D15600000500A1B2C3D4E5F607",
    "3",
    "3.00",
    "990100000000",
    "20240315",
    "20340314",
    "H03847261",
    "990106198807150034",
    "陈思远",
    "01",
    "男",
    "汉族",
    "云溪省青禾市",
    "19880715",
    "第三代",
};

void copyBounded(char *buffer, const QByteArray &text)
{
    const std::size_t length = std::min<std::size_t>(text.size(), textCapacity - 1);
    std::memcpy(buffer, text.constData(), length);
    buffer[length] = '\0';
}

int64_t refuse(int64_t code, char *errorText)
{
    if (errorText)
        copyBounded(errorText, QByteArray(describe(code)));
    return code;
}

} // namespace
} // namespace sim

// The operations the exports call.
namespace device {
using namespace sim;

// Kinds 1 to 3 read a card of the first, second or third generation; the
// card on the reader answers all three.
int64_t SsseReadCard(int kind, char *record, char *errorText, int)
{
    if (const Code refused = simulatedReaderOpen())
        return refuse(refused, errorText);
    if (!record || !errorText)
        return refuse(NullArgument, errorText);
    if (kind < 1 || kind > 3)
        return refuse(BadArgument, errorText);
    if (!gb18030Available())
        return refuse(NotSupported, errorText);
    QStringList fields;
    for (const char *field : recordFields)
        fields.append(QString::fromUtf8(field));
    copyBounded(record, toGb18030(fields.join(QLatin1Char(':'))));
    return Ok;
}

} // namespace device

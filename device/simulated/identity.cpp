// Identity documents on the simulated reader.
//
// The reader holds one document of each kind and hands them out in turn, so
// that successive readings show the resident card, the foreigner's document
// ("I") and the Hong Kong, Macao and Taiwan residents' document ("J"). Both
// reading routes share the turn; the serial number is that of the document
// read last (the first one before any reading).
#include "identity.h"
#include "operations.h"
#include "gb18030.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstring>

using namespace device;

namespace sim {
namespace {

constexpr int photoWidth = 102;
constexpr int photoHeight = 126;

struct Rgb
{
    unsigned char red, green, blue;
};

struct Document
{
    const char *typeFlag;
    const char *name;
    const char *englishName;
    const char *gender;
    const char *genderCode;
    const char *nation;
    const char *passNumber;
    const char *birthDate;
    const char *address;
    const char *idNumber; // without its check digit when it is 17 digits long
    const char *authority;
    const char *validFrom;
    const char *validUntil;
    const char *versionOrIssueCount;
    Rgb background;
    Rgb clothing;
    std::array<unsigned char, 8> serial;
};

// Synthetic people and places: the province, city and street names and the
// region codes 99xxxx do not exist.
const Document documents[identityKindCount] = {
    {"",
     "苏晓岚",
     "",
     "女",
     "2",
     "汉",
     "",
     "19880614",
     "云溪省青禾市望舒区松涛路27号3栋502室",
     "99010219880614002",
     "青禾市公安局望舒分局",
     "20160801",
     "20360801",
     "",
     {250, 250, 250},
     {52, 74, 120},
     {0x5A, 0x31, 0x07, 0xC4, 0x88, 0x2E, 0x91, 0x0F}},
    {"I",
     "柯思婷",
     "KOSTER MARINA ELISE",
     "女",
     "2",
     "NLD",
     "",
     "19790302",
     "",
     "NLD990179030226",
     "公安部",
     "20200115",
     "20300115",
     "01",
     {214, 232, 246},
     {128, 40, 48},
     {0x5A, 0x31, 0x11, 0x03, 0x4B, 0xE0, 0x27, 0x6D}},
    {"J",
     "陈嘉颖",
     "",
     "男",
     "1",
     "",
     "H99012345",
     "19950921",
     "香港特别行政区九龙城区示范道88号",
     "81000019950921003",
     "青禾市公安局",
     "20210305",
     "20260305",
     "02",
     {232, 236, 240},
     {40, 96, 72},
     {0x5A, 0x31, 0x2C, 0x9A, 0x05, 0x71, 0xD3, 0xB8}},
};

int nextDocument = 0;
int lastDocument = 0;

quint32 crc32(const QByteArray &data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> entries{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (char byte : data)
        c = table[(c ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void appendBigEndian(QByteArray &out, quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((value >> shift) & 0xFF));
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    const QByteArray typed = QByteArray(type, 4) + data;
    QByteArray chunk;
    appendBigEndian(chunk, static_cast<quint32>(data.size()));
    chunk += typed;
    appendBigEndian(chunk, crc32(typed));
    return chunk;
}

bool insideEllipse(int x, int y, double cx, double cy, double rx, double ry)
{
    const double dx = (x - cx) / rx;
    const double dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

// One pixel of the portrait outline: hair over a round face, a neck, and
// shoulders in the document's clothing colour.
Rgb portraitPixel(const Document &document, int x, int y)
{
    const Rgb skin{222, 190, 164};
    const Rgb hair{46, 38, 34};
    const double centre = photoWidth / 2.0;
    if (y >= 96 && insideEllipse(x, y, centre, 132, 50, 36))
        return document.clothing;
    if (y >= 68 && y < 100 && x >= centre - 9 && x <= centre + 9)
        return skin;
    if (insideEllipse(x, y, centre, 52, 23, 29)) {
        const bool hairline = y < 38 || (y < 56 && !insideEllipse(x, y, centre, 60, 20, 26));
        return hairline ? hair : skin;
    }
    return document.background;
}

QByteArray portraitPng(const Document &document)
{
    QByteArray rows;
    rows.reserve(photoHeight * (1 + 3 * photoWidth));
    for (int y = 0; y < photoHeight; ++y) {
        rows.append('\0'); // filter type None
        for (int x = 0; x < photoWidth; ++x) {
            const Rgb pixel = portraitPixel(document, x, y);
            rows.append(static_cast<char>(pixel.red));
            rows.append(static_cast<char>(pixel.green));
            rows.append(static_cast<char>(pixel.blue));
        }
    }

    QByteArray header;
    appendBigEndian(header, photoWidth);
    appendBigEndian(header, photoHeight);
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace

    // qCompress puts the uncompressed size before the zlib stream that PNG wants.
    const QByteArray stream = qCompress(rows, 9).mid(4);

    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", stream)
           + pngChunk("IEND", QByteArray());
}

// Check character of an 18-character identity number over its first 17
// digits: weights 2^(17-i) mod 11 from the left, the remainder of the sum
// mapped onto "10X98765432".
char identityCheckDigit(const QByteArray &first17)
{
    static const char checkDigits[] = "10X98765432";
    int sum = 0;
    int weight = 1;
    for (int i = first17.size() - 1; i >= 0; --i) {
        weight = weight * 2 % 11;
        sum += (first17.at(i) - '0') * weight;
    }
    return checkDigits[sum % 11];
}

QByteArray fullIdNumber(const char *idNumber)
{
    const QByteArray number(idNumber);
    if (number.size() == 17)
        return number + identityCheckDigit(number);
    return number;
}

int64_t readDocument(char *record)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    if (!record)
        return NullArgument;
    const int index = nextDocument;
    const QByteArray text = identityRecord(static_cast<IdentityKind>(index));
    std::memcpy(record, text.constData(), static_cast<std::size_t>(text.size()));
    record[text.size()] = '\0';
    lastDocument = index;
    nextDocument = (index + 1) % identityKindCount;
    return Ok;
}

} // namespace

QByteArray identityPhoto(IdentityKind kind)
{
    return portraitPng(documents[static_cast<int>(kind)]);
}

QByteArray identitySerial(IdentityKind kind)
{
    const auto &serial = documents[static_cast<int>(kind)].serial;
    return QByteArray(reinterpret_cast<const char *>(serial.data()),
                      static_cast<int>(serial.size()));
}

QByteArray identityRecord(IdentityKind kind)
{
    const Document &document = documents[static_cast<int>(kind)];
    const QStringList fields{
        QString::fromUtf8(document.typeFlag),
        QString::fromUtf8(document.name),
        QString::fromUtf8(document.englishName),
        QString::fromUtf8(document.gender),
        QString::fromUtf8(document.genderCode),
        QString::fromUtf8(document.nation),
        QString::fromUtf8(document.passNumber),
        QString::fromUtf8(document.birthDate),
        QString::fromUtf8(document.address),
        QString::fromLatin1(fullIdNumber(document.idNumber)),
        QString::fromUtf8(document.authority),
        QString::fromUtf8(document.validFrom),
        QString::fromUtf8(document.validUntil),
        QString::fromUtf8(document.versionOrIssueCount),
        QString::fromLatin1(identityPhoto(kind).toBase64()),
    };
    return toGb18030(fields.join(QLatin1Char(':')));
}
} // namespace sim

// The operations the exports call.
namespace device {
using namespace sim;

int64_t IdReadCard(int, int, char *record, int)
{
    return readDocument(record);
}

int64_t SdtReadCard(int, int, char *record, int)
{
    return readDocument(record);
}

int64_t IdReadSn(unsigned char *serial, int64_t *length)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    if (!serial || !length)
        return NullArgument;
    const QByteArray bytes = identitySerial(static_cast<IdentityKind>(lastDocument));
    std::memcpy(serial, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    *length = bytes.size();
    return Ok;
}

} // namespace device

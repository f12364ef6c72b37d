// Opening and closing the reader, and the hexadecimal conversions.
#include "operations.h"
#include "scenario.h"
#include "slots.h"

#include <QString>
#include <QStringList>

#include <cctype>
#include <cstring>

namespace device {
namespace {

bool opened = false;
int64_t lastHandle = 0;

bool isHexDigits(const char *text, std::size_t count)
{
    if (std::strlen(text) != count)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

// "a.b.c.d:port" with a dotted IPv4 address and a port of 1 to 65535.
bool isSocketAddress(const char *text)
{
    const QString address = QString::fromUtf8(text);
    const int colon = address.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const int port = address.mid(colon + 1).toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return false;
    const QStringList octets = address.left(colon).split(QLatin1Char('.'));
    if (octets.size() != 4)
        return false;
    for (const QString &octet : octets) {
        const int value = octet.toInt(&ok);
        if (!ok || octet.size() > 3 || value < 0 || value > 255 || !octet.at(0).isDigit())
            return false;
    }
    return true;
}

bool isBaudRate(const char *text)
{
    bool ok = false;
    const int rate = QString::fromUtf8(text).toInt(&ok);
    return ok && rate >= 1200 && rate <= 921600;
}

int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

} // namespace

bool deviceOpen()
{
    return opened;
}

Code simulatedReaderOpen()
{
    if (!opened)
        return NotOpen;
    return pcscReader() ? NotSupportedByReader : Ok;
}

void resetCards()
{
    resetBankCard();
    resetMagneticCard();
    powerOffChannels();
}

int64_t OpenDevice(const char *portType, const char *portPara, const char *extendPara)
{
    if (!portType || !portPara || !extendPara)
        return NullArgument;

    const bool serial = std::strncmp(portType, "COM", 3) == 0;
    if (serial) {
        if (portType[3] == '\0')
            return MissingSerialPath;
        if (!isBaudRate(portPara))
            return BadBaudRate;
    } else if (std::strcmp(portType, "USB") == 0) {
        if (!isHexDigits(portPara, 8))
            return BadUsbIds;
    } else if (std::strcmp(portType, "BTH") == 0) {
        if (portPara[0] == '\0')
            return EmptyBluetoothName;
    } else if (std::strcmp(portType, "SKT") == 0) {
        if (!isSocketAddress(portPara))
            return BadSocketAddress;
    } else if (std::strcmp(portType, "PCSC") == 0) {
        // The port parameter chooses the reader, the extended one its PSAM
        // readers. A reader that cannot be opened leaves the open one as it was.
        const Code chosen = openPcscReader(portPara, extendPara);
        if (chosen != Ok)
            return chosen;
        // Fault scenarios belong to the simulated reader only.
        scenario::clear();
        resetCards();
        opened = true;
        return ++lastHandle;
    } else {
        return BadPortType;
    }

    // A word that names no scenario refuses the connection, so that a typo
    // never passes for a healthy reader.
    if (scenario::select(extendPara) != Ok)
        return UnknownScenario;

    // Opening again while open replaces the connection, as a reader would.
    resetCards();
    closePcscReader();
    opened = true;
    return ++lastHandle;
}

int64_t CloseDevice()
{
    if (!opened)
        return NotOpen;
    opened = false;
    scenario::clear();
    resetCards();
    closePcscReader();
    return Ok;
}

// Conversions work whether or not a device is open: they touch no hardware.
int64_t HexToAsc(const unsigned char *bytes, int64_t length, char *text)
{
    if (!bytes || !text)
        return NullArgument;
    static const char digits[] = "0123456789ABCDEF";
    for (int64_t i = 0; i < length; ++i) {
        *text++ = digits[bytes[i] >> 4];
        *text++ = digits[bytes[i] & 0x0F];
    }
    *text = '\0';
    return Ok;
}

// Reads at most 2 × count characters and stops early at the text's
// terminating zero byte; the bytes not reached are left as they were. Digits
// of either case convert; any other character counts as the digit 0.
int64_t AscToHex(const char *text, int64_t count, unsigned char *bytes)
{
    if (!text || !bytes)
        return NullArgument;
    for (int64_t i = 0; i < count; ++i) {
        if (text[0] == '\0')
            break;
        const int high = nibble(text[0]);
        const int low = text[1] == '\0' ? 0 : nibble(text[1]);
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
        if (text[1] == '\0')
            break;
        text += 2;
    }
    return Ok;
}

} // namespace device

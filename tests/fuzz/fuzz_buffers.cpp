// The bounded buffer helpers against arbitrary library output: a text buffer
// of any size with or without a zero byte, any returned count, any typed text.
#include "operation.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

std::size_t hexWritten = 0;
std::size_t hexRoom = 0;

// A HexToAsc that writes exactly what the contract says, into a buffer whose
// room the fuzzer knows: writing more is a finding.
int64_t strictHexToAsc(const unsigned char *bytes, int64_t length, char *text)
{
    if (length < 0 || static_cast<std::size_t>(2 * length + 1) > hexRoom)
        __builtin_trap();
    for (int64_t i = 0; i < length; ++i)
        std::snprintf(text + 2 * i, 3, "%02X", bytes[i]);
    text[2 * length] = '\0';
    hexWritten = static_cast<std::size_t>(length);
    return 0;
}

std::size_t asciiRoom = 0;

// An AscToHex that reads exactly 2 × count characters and writes count bytes
// into a buffer whose room the fuzzer knows.
int64_t strictAscToHex(const char *text, int64_t count, unsigned char *bytes)
{
    if (count < 0 || static_cast<std::size_t>(count) > asciiRoom)
        __builtin_trap();
    for (int64_t i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(text[2 * i] ^ text[2 * i + 1]);
    return 0;
}

int64_t readCount(const uint8_t *&data, std::size_t &size)
{
    int64_t count = 0;
    const std::size_t take = size < sizeof count ? size : sizeof count;
    std::memcpy(&count, data, take);
    data += take;
    size -= take;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    pHexToAsc = strictHexToAsc;
    pAscToHex = strictAscToHex;

    // A library text buffer of exactly the input's size: reading past it is
    // a heap overflow the sanitizer reports.
    std::unique_ptr<char[]> exact(new char[size ? size : 1]);
    std::memcpy(exact.get(), data, size);
    const QByteArray text = boundedText(exact.get(), size);
    if (static_cast<std::size_t>(text.size()) > size || text.contains('\0'))
        __builtin_trap();

    const int64_t count = readCount(data, size);

    ByteBuffer<16> uid;
    std::memcpy(uid.data(), data, size < 16 ? size : 16);
    hexRoom = 32;
    const QString uidText = bytesToHex<32>(uid, count);
    if (static_cast<std::size_t>(uidText.size()) != 2 * hexWritten)
        __builtin_trap();
    hexRoom = 2048;
    ByteBuffer<1024> response;
    const QString responseText = bytesToHex<2048>(response, count);
    if (responseText.size() > 2046)
        __builtin_trap();

    const QString typed =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size));
    // The text handed to AscToHex always holds the 2 × count characters it
    // reads, embedded zero bytes and multi-byte characters included.
    const QByteArray padded = paddedHexInput(typed, clampedCount(count, 16));
    if (padded.size() < 2 * clampedCount(count, 16))
        __builtin_trap();
    ByteBuffer<16> key;
    asciiRoom = 16;
    hexToBytes(typed, count, key);
    hexToBytes(typed, 6, key);
    (void)decimalByte(typed);
    (void)cardTextRecord(QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    return 0;
}

// Building blocks of the simulated cards' answers: byte strings and BER-TLV
// objects (encoded as the card-side parsers expect to read them).
#pragma once

#include "simulatedcard.h"
#include "tlv.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace sim {

inline Bytes ascii(const char *text)
{
    return Bytes(text, text + std::strlen(text));
}

inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes &part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// Status words the simulated cards answer.
enum StatusWord : uint16_t {
    SwSuccess = 0x9000,
    SwBytesAvailable = 0x6100,     // low byte: how many GET RESPONSE can fetch
    SwEndOfData = 0x6282,          // fewer bytes than asked (a UID of 4 for Le 7)
    SwVerificationFailed = 0x6300, // a wrong key, ARPC or MAC
    SwWrongLength = 0x6700,        // Lc or Le missing, inconsistent or unsupported
    SwSecurityStatus = 0x6982,     // not authenticated
    SwConditionsNotMet = 0x6985,   // e.g. GET RESPONSE with nothing held back
    SwCommandNotAllowed = 0x6986,  // e.g. READ RECORD before any EF is selected
    SwSecurityMessaging = 0x6988,  // a script command whose MAC is wrong
    SwBadData = 0x6A80,
    SwFunctionNotSupported = 0x6A81,
    SwNotFound = 0x6A82, // no such file, or a block beyond the card
    SwRecordNotFound = 0x6A83,
    SwWrongP1P2 = 0x6A86,
    SwLcInconsistent = 0x6A87, // Lc does not suit P1-P2 (an identifier is 2 bytes)
    SwDataNotFound = 0x6A88,
    SwExactLength = 0x6C00, // low byte: the Le that would have matched
    SwUnknownInstruction = 0x6D00,
    SwUnknownClass = 0x6E00,
};

inline Bytes withStatus(Bytes data, uint16_t sw)
{
    data.push_back(static_cast<unsigned char>(sw >> 8));
    data.push_back(static_cast<unsigned char>(sw & 0xFF));
    return data;
}

inline Bytes status(uint16_t sw)
{
    return withStatus({}, sw);
}

// One BER-TLV object: the tag's own bytes, the shortest length form.
inline Bytes tlv(uint32_t tag, const Bytes &value)
{
    return device::encodeTlv(tag, value);
}

} // namespace sim

// Building blocks of the simulated cards' answers: byte strings and BER-TLV
// objects (encoded as the card-side parsers expect to read them).
#pragma once

#include "simulatedcard.h"
#include "tlv.h"

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

// One BER-TLV object: the tag's own bytes, the shortest length form.
inline Bytes tlv(uint32_t tag, const Bytes &value)
{
    return device::encodeTlv(tag, value);
}

} // namespace sim

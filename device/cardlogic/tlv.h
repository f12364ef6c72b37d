// BER-TLV as cards send it (ISO 7816-4 and the payment applications): pure
// functions over bytes, no I/O and no state, so that a card's answer can be
// taken apart however it is built.
#pragma once

#include "channel.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace device {

// Tags of one to three bytes, kept as the number their bytes spell (9F26 is
// 0x9F26).
using Tag = uint32_t;

struct TlvObject
{
    Tag tag = 0;
    bool constructed = false;
    const unsigned char *value = nullptr; // inside the parsed buffer
    std::size_t length = 0;

    Bytes bytes() const { return Bytes(value, value + length); }
};

// The objects at one level of data. Bytes 00 and FF between objects are
// padding. Nothing when a tag takes more than three bytes, a length has the
// indefinite form or more than four bytes, or an object runs past the end.
std::optional<std::vector<TlvObject>> parseTlv(const unsigned char *data, std::size_t size);

// The first primitive object with this tag, searched depth first through
// constructed objects (at most eight levels deep). Nothing when there is none
// or the data is not well formed down to where it is found.
std::optional<Bytes> findTlv(const unsigned char *data, std::size_t size, Tag tag);

inline std::optional<Bytes> findTlv(const Bytes &data, Tag tag)
{
    return findTlv(data.data(), data.size(), tag);
}

// Reads the tag at data[at] and moves at past it; false for a tag of more
// than three bytes or one cut off by the end.
bool readTlvTag(const unsigned char *data, std::size_t size, std::size_t &at, Tag &tag);

// One object in BER-TLV: the tag's own bytes, the shortest length form.
Bytes encodeTlv(Tag tag, const Bytes &value);

} // namespace device

// BER-TLV from a card: any bytes are parsed at one level and searched through
// nested templates without reading outside the input; every object found lies
// inside it, and encoding a found value gives back an object that parses to
// the same tag and value.
#include "fuzzcheck.h"
#include "tlv.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const auto objects = device::parseTlv(data, size);
    if (objects) {
        for (const device::TlvObject &object : *objects) {
            check(object.value >= data && object.value + object.length <= data + size);
            check(object.tag != 0 && object.tag <= 0xFFFFFF);
            const device::Bytes encoded = device::encodeTlv(object.tag, object.bytes());
            const auto again = device::parseTlv(encoded.data(), encoded.size());
            check(again && again->size() == 1 && again->front().tag == object.tag
                  && again->front().bytes() == object.bytes());
        }
    }
    // Tags of one, two and three bytes, wherever they are nested.
    for (device::Tag tag : {device::Tag(0x5A), device::Tag(0x9F26), device::Tag(0xDF8101)}) {
        if (const auto found = device::findTlv(data, size, tag))
            check(found->size() <= size);
    }
    return 0;
}

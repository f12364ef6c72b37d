#include "tlv.h"

namespace device {
namespace {

constexpr int deepestNesting = 8;

} // namespace

bool readTlvTag(const unsigned char *data, std::size_t size, std::size_t &at, Tag &tag)
{
    tag = data[at++];
    if ((tag & 0x1F) != 0x1F)
        return true;
    // Subsequent bytes carry bit 8 while another follows; three bytes at most.
    for (int count = 1;; ++count) {
        if (at >= size || count == 3)
            return false;
        const unsigned char next = data[at++];
        tag = tag << 8 | next;
        if (!(next & 0x80))
            return true;
    }
}

namespace {

bool readLength(const unsigned char *data, std::size_t size, std::size_t &at, std::size_t &length)
{
    if (at >= size)
        return false;
    const unsigned char first = data[at++];
    if (!(first & 0x80)) {
        length = first;
        return true;
    }
    const unsigned count = first & 0x7F;
    if (count == 0 || count > 4 || size - at < count)
        return false;
    length = 0;
    for (unsigned i = 0; i < count; ++i)
        length = length << 8 | data[at++];
    return true;
}

bool isConstructed(Tag tag)
{
    Tag first = tag;
    while (first > 0xFF)
        first >>= 8;
    return first & 0x20;
}

std::optional<Bytes> search(const unsigned char *data, std::size_t size, Tag tag, int depth)
{
    const std::optional<std::vector<TlvObject>> objects = parseTlv(data, size);
    if (!objects)
        return std::nullopt;
    for (const TlvObject &object : *objects) {
        if (!object.constructed && object.tag == tag)
            return object.bytes();
        if (object.constructed && depth < deepestNesting) {
            if (std::optional<Bytes> found = search(object.value, object.length, tag, depth + 1))
                return found;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<TlvObject>> parseTlv(const unsigned char *data, std::size_t size)
{
    std::vector<TlvObject> objects;
    std::size_t at = 0;
    while (at < size) {
        if (data[at] == 0x00 || data[at] == 0xFF) {
            ++at;
            continue;
        }
        TlvObject object;
        if (!readTlvTag(data, size, at, object.tag) || !readLength(data, size, at, object.length))
            return std::nullopt;
        if (object.length > size - at)
            return std::nullopt;
        object.constructed = isConstructed(object.tag);
        object.value = data + at;
        at += object.length;
        objects.push_back(object);
    }
    return objects;
}

std::optional<Bytes> findTlv(const unsigned char *data, std::size_t size, Tag tag)
{
    return search(data, size, tag, 0);
}

Bytes encodeTlv(Tag tag, const Bytes &value)
{
    Bytes encoded;
    for (int shift = 16; shift >= 0; shift -= 8) {
        if (tag >> shift || shift == 0)
            encoded.push_back(static_cast<unsigned char>(tag >> shift));
    }
    const std::size_t length = value.size();
    if (length > 0xFF)
        encoded.insert(encoded.end(), {0x82, static_cast<unsigned char>(length >> 8),
                                       static_cast<unsigned char>(length)});
    else if (length > 0x7F)
        encoded.insert(encoded.end(), {0x81, static_cast<unsigned char>(length)});
    else
        encoded.push_back(static_cast<unsigned char>(length));
    encoded.insert(encoded.end(), value.begin(), value.end());
    return encoded;
}

} // namespace device

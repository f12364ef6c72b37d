#include "vpcdlink.h"

namespace vpcd {
namespace {

constexpr std::size_t headerSize = 2;
constexpr std::size_t longestPayload = 0xFFFF;

void appendFrame(const sim::Bytes &payload, sim::Bytes &out)
{
    // Cards answer at most 256 data bytes and the status word; a longer answer
    // could not be framed, so the peer gets "no precise diagnosis" instead.
    static const sim::Bytes unframable{0x6F, 0x00};
    const sim::Bytes &sent = payload.size() > longestPayload ? unframable : payload;
    out.push_back(static_cast<unsigned char>(sent.size() >> 8));
    out.push_back(static_cast<unsigned char>(sent.size() & 0xFF));
    out.insert(out.end(), sent.begin(), sent.end());
}

} // namespace

sim::Bytes Link::receive(const unsigned char *data, std::size_t length)
{
    sim::Bytes out;
    if (length == 0)
        return out;
    m_pending.insert(m_pending.end(), data, data + length);

    std::size_t offset = 0;
    while (m_pending.size() - offset >= headerSize) {
        const std::size_t payloadLength =
            static_cast<std::size_t>(m_pending[offset]) << 8 | m_pending[offset + 1];
        if (m_pending.size() - offset - headerSize < payloadLength)
            break;
        answer(m_pending.data() + offset + headerSize, payloadLength, out);
        offset += headerSize + payloadLength;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(offset));
    return out;
}

void Link::disconnect()
{
    m_pending.clear();
    m_card.powerOff();
}

void Link::answer(const unsigned char *payload, std::size_t length, sim::Bytes &out)
{
    if (length == 0)
        return;
    if (length > 1) {
        appendFrame(m_card.respond(payload, length), out);
        return;
    }
    switch (payload[0]) {
    case PowerOff:
        m_card.powerOff();
        break;
    case PowerOn:
    case Reset:
        m_card.reset();
        break;
    case GetAtr:
        appendFrame(m_card.answerToReset(), out);
        break;
    default:
        break;
    }
}

} // namespace vpcd

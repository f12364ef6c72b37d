// Responses from a reader through the device library's card logic: the input
// is a sequence of responses, each preceded by its length (two bytes, big
// endian, at most 1100), that a channel answers in turn, whatever was sent.
// Every operation runs on them: the raw APDU and its copy into the caller's
// buffer, the M1 card's find, authenticate, read and write. No operation may
// read or write outside a buffer, report success for a malformed response,
// or copy more than the caller's buffer takes.
#include "fuzzcheck.h"
#include "buffers.h"
#include "cpu.h"
#include "m1.h"
#include "statusword.h"

#include <cstdint>
#include <cstring>

namespace {

using device::Bytes;
using device::ChannelResult;

class ReplayChannel : public device::Channel
{
public:
    ReplayChannel(const uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    ChannelResult powerOn(Bytes &atr) override
    {
        m_powered = true;
        return next(atr) ? ChannelResult::Ok : ChannelResult::NoCard;
    }
    ChannelResult transmit(const unsigned char *, std::size_t, Bytes &response) override
    {
        return next(response) ? ChannelResult::Ok : ChannelResult::CardRemoved;
    }
    void powerOff() override { m_powered = false; }
    bool isPowered() const override { return m_powered; }
    std::uint64_t session() const override { return 0; }

private:
    bool next(Bytes &out)
    {
        if (m_size < 2)
            return false;
        std::size_t length = std::size_t(m_data[0]) << 8 | m_data[1];
        length = std::min<std::size_t>({length, 1100, m_size - 2});
        out.assign(m_data + 2, m_data + 2 + length);
        m_data += 2 + length;
        m_size -= 2 + length;
        return true;
    }

    const uint8_t *m_data;
    std::size_t m_size;
    bool m_powered = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    ReplayChannel channel(data, size);
    const unsigned char command[] = {0x00, 0xB2, 0x01, 0x0C, 0x00};

    Bytes response;
    if (device::cpuTransmit(channel, command, sizeof command, response) == device::Ok) {
        check(response.size() >= 2);
        unsigned char buffer[device::longestApdu];
        int64_t length = -1;
        if (device::copyReply(response, device::longestApdu, buffer, &length) == device::Ok)
            check(length >= 2 && std::memcmp(buffer, response.data(), length) == 0);
        else
            check(response.size() > device::longestApdu);
    }

    Bytes uid;
    if (device::m1FindCard(channel, uid) == device::Ok)
        check(uid.size() == 4 || uid.size() == 7);
    const unsigned char key[device::m1KeySize] = {};
    const unsigned char cardUid[device::m1UidCompared] = {};
    const unsigned char sector = size > 0 ? data[size - 1] % 41 : 1;
    device::m1Authenticate(channel, 'A', sector, key, cardUid);

    Bytes block;
    if (device::m1ReadBlock(channel, 4, block) == device::Ok)
        check(block.size() == device::m1BlockSize);
    const unsigned char written[device::m1BlockSize] = {};
    device::m1WriteBlock(channel, 4, written);
    return 0;
}

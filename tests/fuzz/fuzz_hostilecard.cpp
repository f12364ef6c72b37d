// A hostile card behind the terminal flow: the input holds the card's
// responses, each preceded by its length (two bytes), and the channel answers
// every command with the next one (then 6A82). The bank operations and the
// social security read run against it: they must end, send no more commands
// than their bound, and give texts that fit the callers' buffers.
#include "fuzzcheck.h"
#include "bank.h"
#include "ssse.h"

#include <cstdint>

namespace {

class ScriptedCard : public device::Channel
{
public:
    ScriptedCard(const uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    device::ChannelResult powerOn(device::Bytes &atr) override
    {
        atr = {0x3B, 0x00};
        m_powered = true;
        return device::ChannelResult::Ok;
    }

    device::ChannelResult transmit(const unsigned char *, std::size_t length,
                                   device::Bytes &response) override
    {
        check(length >= 4 && length <= 261);
        ++commands;
        if (m_size - m_at < 2) {
            response = {0x6A, 0x82};
            return device::ChannelResult::Ok;
        }
        std::size_t count = std::size_t(m_data[m_at]) << 8 | m_data[m_at + 1];
        m_at += 2;
        count = std::min(count, m_size - m_at);
        response.assign(m_data + m_at, m_data + m_at + count);
        m_at += count;
        return device::ChannelResult::Ok;
    }

    void powerOff() override { m_powered = false; }
    bool isPowered() const override { return m_powered; }
    std::uint64_t session() const override { return 0; }

    int commands = 0;

private:
    const uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    bool m_powered = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int operation = data[0] % 5;
    ScriptedCard card(data + 1, size - 1);
    std::string text, second;
    switch (operation) {
    case 0:
        device::readBankCardData(card, {}, "ABCDEFGIJKLOPQRSTUVW", text);
        break;
    case 1: {
        device::OnlineTransaction transaction;
        const QByteArray txData = "P012000000000100";
        if (device::requestArqc(card, txData, *sim::parseBankElements(txData), transaction)
            == device::Ok)
            device::completeOnline(transaction, "0011223344556677303072089F18040000000186", text,
                                   second);
        break;
    }
    case 2:
    case 3:
        device::readBankLog(card, operation == 3, 4096, text);
        check(text.size() < 4096);
        break;
    default: {
        QStringList fields;
        QString problem;
        device::readSocialSecurityCard(card, fields, problem);
        break;
    }
    }
    check(card.commands <= 2 * device::mostCommandsPerOperation);
    return 0;
}

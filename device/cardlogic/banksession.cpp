#include "banksession.h"
#include "channelresult.h"
#include "statusword.h"
#include "tlv.h"

namespace device::payment {

bool isContactlessAtr(const Bytes &atr)
{
    return atr.size() >= 4 && atr[0] == 0x3B && (atr[1] & 0xF0) == 0x80 && atr[2] == 0x80
           && atr[3] == 0x01;
}

PaymentSession::PaymentSession(Channel &channel, CardInterface interface)
    : exchange(channel, mostCommandsPerOperation), m_interface(interface)
{
}

Code PaymentSession::begin()
{
    Channel &channel = exchange.channel();
    const bool wasPowered = channel.isPowered();
    Bytes atr;
    if (const Code result = exchange.resume(atr); result != Ok)
        return result;
    m_transaction.emplace(channel);
    if (m_transaction->result() != ChannelResult::Ok) {
        const ChannelResult refused = m_transaction->result();
        m_transaction.reset();
        // A card kept from before that refuses a transaction was reset or
        // taken away meanwhile: power it on and try once more.
        if (!wasPowered)
            return codeOf(refused, NoCard);
        if (const Code result = exchange.start(atr); result != Ok)
            return result;
        m_transaction.emplace(channel);
        if (m_transaction->result() != ChannelResult::Ok) {
            const ChannelResult again = m_transaction->result();
            m_transaction.reset();
            return codeOf(again, NoCard);
        }
    }
    if (m_interface == CardInterface::ByAnswerToReset)
        m_interface = isContactlessAtr(atr) ? CardInterface::Contactless : CardInterface::Contact;
    return Ok;
}

Code PaymentSession::select(const Bytes &name, unsigned char occurrence, Bytes &answer,
                            uint16_t &sw)
{
    return exchange.send(commandApdu(0x00, 0xA4, 0x04, occurrence, name), answer, sw);
}

Code PaymentSession::readRecord(int sfi, int number, Bytes &record, uint16_t &sw)
{
    return exchange.send(commandApdu(0x00, 0xB2, static_cast<unsigned char>(number),
                                     static_cast<unsigned char>(sfi << 3 | 4)),
                         record, sw);
}

Code PaymentSession::dataObject(Tag tag, std::optional<Bytes> &value)
{
    if (const auto found = objects.find(tag); found != objects.end()) {
        value = found->second;
        return Ok;
    }
    value.reset();
    if (tag > 0xFFFF)
        return Ok;
    Bytes answer;
    uint16_t sw = 0;
    const Code result = exchange.send(commandApdu(0x80, 0xCA, static_cast<unsigned char>(tag >> 8),
                                                  static_cast<unsigned char>(tag)),
                                      answer, sw);
    if (result != Ok)
        return result;
    if (isSuccess(sw))
        value = findTlv(answer, tag);
    if (value)
        objects.emplace(tag, *value);
    return Ok;
}

} // namespace device::payment

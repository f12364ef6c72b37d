#include "simulatedchannel.h"

namespace device {

SimulatedChannel::SimulatedChannel(std::unique_ptr<sim::SimulatedCard> card)
    : m_card(std::move(card))
{
}

ChannelResult SimulatedChannel::powerOn(Bytes &atr)
{
    if (!m_card)
        return ChannelResult::NoCard;
    m_card->reset();
    m_powered = true;
    ++m_session;
    atr = m_card->answerToReset();
    return ChannelResult::Ok;
}

ChannelResult SimulatedChannel::transmit(const unsigned char *command, std::size_t length,
                                         Bytes &response)
{
    if (!m_powered)
        return ChannelResult::NotPowered;
    response = m_card->respond(command, length);
    return ChannelResult::Ok;
}

void SimulatedChannel::powerOff()
{
    // Powering off a card that is off already changes nothing.
    if (m_card)
        m_card->powerOff();
    if (m_powered)
        ++m_session;
    m_powered = false;
}

ChannelResult SimulatedChannel::currentAtr(Bytes &atr)
{
    if (!m_powered)
        return ChannelResult::NotPowered;
    atr = m_card->answerToReset();
    return ChannelResult::Ok;
}

bool SimulatedChannel::isPowered() const
{
    return m_powered;
}

} // namespace device

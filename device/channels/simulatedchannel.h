// A channel to a simulated card in this process. The channel owns its card,
// so whatever is written to the card lasts as long as the channel.
#pragma once

#include "channel.h"
#include "simulatedcard.h"

#include <memory>

namespace device {

class SimulatedChannel : public Channel
{
public:
    explicit SimulatedChannel(std::unique_ptr<sim::SimulatedCard> card);

    ChannelResult powerOn(Bytes &atr) override;
    ChannelResult transmit(const unsigned char *command, std::size_t length,
                           Bytes &response) override;
    void powerOff() override;
    bool isPowered() const override;
    ChannelResult currentAtr(Bytes &atr) override;
    std::uint64_t session() const override { return m_session; }

private:
    std::unique_ptr<sim::SimulatedCard> m_card;
    bool m_powered = false;
    std::uint64_t m_session = 0;
};

} // namespace device

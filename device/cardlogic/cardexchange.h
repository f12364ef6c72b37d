// Sending commands to a card within one operation: Le 00 on commands that
// expect data, GET RESPONSE after 61xx, the resend after 6Cxx, and a bound on
// how many commands one operation may send.
#pragma once

#include "channel.h"
#include "errors.h"

#include <cstdint>

namespace device {

Bytes commandApdu(unsigned char cla, unsigned char ins, unsigned char p1, unsigned char p2,
                  const Bytes &data = {}, bool expectsData = true);

class CardExchange
{
public:
    CardExchange(Channel &channel, int mostCommands) : m_channel(channel), m_left(mostCommands) {}

    // Powers the card on (or resets it) for a fresh session.
    Code start();

    // Sends one command; data is what the card answered (all of it, after
    // GET RESPONSE), sw its final status word.
    Code send(const Bytes &command, Bytes &data, uint16_t &sw);

    int sent() const { return m_sent; }

private:
    Code transmit(const Bytes &command, Bytes &response);

    Channel &m_channel;
    int m_left;
    int m_sent = 0;
};

} // namespace device

// Sending commands to a card within one operation: Le 00 on commands that
// expect data, GET RESPONSE after 61xx (and after a warning to a command that
// both sends and expects data), the resend after 6Cxx, and a bound on how
// many commands one operation may send.
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
    Code start(Bytes &atr);

    // Uses a powered card as it is, so that other programs sharing it are not
    // disturbed, and powers on a card that is not. A powered card that does
    // not answer the first command is powered on and asked again. atr is the
    // card's ATR when the channel can tell it, else empty.
    Code resume(Bytes &atr);

    // Sends one command; data is what the card answered (all of it, after
    // GET RESPONSE), sw its final status word.
    Code send(const Bytes &command, Bytes &data, uint16_t &sw);

    int sent() const { return m_sent; }
    Channel &channel() { return m_channel; }

private:
    Code transmit(const Bytes &command, Bytes &response);
    Code transmitOnce(const Bytes &command, Bytes &response);
    Code collectResponses(uint16_t &sw, Bytes &data);

    Channel &m_channel;
    int m_left;
    int m_sent = 0;
    bool m_resetWhenSilent = false;
};

} // namespace device

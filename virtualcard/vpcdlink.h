// The card's side of the vpcd protocol, with no I/O of its own.
//
// vpcd (the virtual reader driver inside pcscd) and the virtual card exchange
// frames over one TCP stream: two bytes of big-endian length, then the
// payload. A payload of one byte is a control: 0 power off, 1 power on,
// 2 reset, 4 send the ATR (the only control that is answered, with a frame
// holding the ATR). Any other payload is a command APDU, answered with a frame
// holding the response APDU.
//
// The bytes come from another process, so a frame may arrive in pieces, or
// several at once, and may be anything: an empty frame or an unknown control
// is ignored, a frame cut off by a dropped connection is discarded. A frame
// holds at most 65535 bytes, so no more than that is ever buffered.
#pragma once

#include "simulatedcard.h"

#include <cstddef>

namespace vpcd {

enum Control : unsigned char {
    PowerOff = 0,
    PowerOn = 1,
    Reset = 2,
    GetAtr = 4,
};

class Link
{
public:
    explicit Link(sim::SimulatedCard &card) : m_card(card) {}

    // Takes the bytes received so far and returns what to send back: zero or
    // more whole frames.
    sim::Bytes receive(const unsigned char *data, std::size_t length);

    // The connection dropped: what is left of a frame is discarded and the
    // card loses power, as it would when pulled from a reader.
    void disconnect();

    // Bytes of an unfinished frame waiting for the rest.
    std::size_t pending() const { return m_pending.size(); }

private:
    void answer(const unsigned char *payload, std::size_t length, sim::Bytes &out);

    sim::SimulatedCard &m_card;
    sim::Bytes m_pending;
};

} // namespace vpcd

// A channel carries command APDUs to one card and its responses back. Card
// logic talks to a card only through this interface, so the same logic runs
// on a simulated card in this process or on a card in a PC/SC reader:
//   powerOn   connect to the card, or reset it when connected   (SCardConnect /
//             SCardReconnect, then SCardStatus for the ATR)
//   transmit  one command APDU, one response APDU               (SCardTransmit)
//   powerOff  end the connection and power the card down        (SCardDisconnect)
//   beginTransaction / endTransaction   exclusive use for a sequence of commands
//             (SCardBeginTransaction / SCardEndTransaction)
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace device {

using Bytes = std::vector<unsigned char>;

enum class ChannelResult {
    Ok,
    NoCard,             // no card in the reader or in its field
    NotPowered,         // transmit before powerOn, or after powerOff
    CardRemoved,        // the card left since it was powered on
    ReaderRemoved,      // the reader itself is gone
    TransmissionError,  // the exchange failed; the card's state is unknown
    ServiceUnavailable, // the service that carries the channel (pcscd) is not reachable
    NoReader,           // no reader at all
    Timeout,            // the reader did not answer in time
    NotSupported,       // the reader cannot do what was asked
    CardReset,          // another program reset the card: this session is over,
                        // the channel goes on with the card as the reset left it
};

class Channel
{
public:
    virtual ~Channel() = default;

    // Powers the card on, or resets it when it is powered already: a fresh
    // session on the card. Sets atr to what the card answered to the reset.
    virtual ChannelResult powerOn(Bytes &atr) = 0;

    // Sends one command APDU and sets response to the card's response APDU
    // (data, then SW1 SW2; at least two bytes when the result is Ok).
    virtual ChannelResult transmit(const unsigned char *command, std::size_t length,
                                   Bytes &response) = 0;

    // Powers the card off; the channel can be powered on again.
    virtual void powerOff() = 0;

    virtual bool isPowered() const = 0;

    // The ATR of the card's present session, read without a reset.
    virtual ChannelResult currentAtr(Bytes &atr)
    {
        atr.clear();
        return ChannelResult::NotSupported;
    }

    // Changes whenever the card's session ends: a power-on or reset by this
    // program, a power-off, or a reset by another program sharing the card.
    // Card logic keeps it to tell whether a card is still where it left it.
    virtual std::uint64_t session() const = 0;

    // Exclusive use of the card for a sequence of commands, so that no other
    // program's command comes between them. Channels no one else shares
    // need none.
    virtual ChannelResult beginTransaction() { return ChannelResult::Ok; }
    virtual void endTransaction() {}
};

// A transaction for the lifetime of one operation.
class ChannelTransaction
{
public:
    explicit ChannelTransaction(Channel &channel) : m_channel(channel)
    {
        m_result = channel.beginTransaction();
    }
    ~ChannelTransaction()
    {
        if (m_result == ChannelResult::Ok)
            m_channel.endTransaction();
    }
    ChannelTransaction(const ChannelTransaction &) = delete;
    ChannelTransaction &operator=(const ChannelTransaction &) = delete;

    ChannelResult result() const { return m_result; }

private:
    Channel &m_channel;
    ChannelResult m_result;
};

} // namespace device

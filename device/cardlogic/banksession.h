// One bank operation's session with a card: the commands it sends (within
// the operation's bound), the channel transaction that keeps other programs'
// commands out for its length, the interface, and what the chosen
// application has told the terminal so far.
#pragma once

#include "bank.h"
#include "cardexchange.h"

#include <map>
#include <optional>

namespace device::payment {

// PC/SC's form of a contactless card's ATR: 3B 8n 80 01 ...
bool isContactlessAtr(const Bytes &atr);

class PaymentSession
{
public:
    PaymentSession(Channel &channel, CardInterface interface);
    PaymentSession(const PaymentSession &) = delete;
    PaymentSession &operator=(const PaymentSession &) = delete;

    // Takes the card as it is when it is powered, powers it on when not, and
    // holds the channel's transaction until the session ends.
    Code begin();

    bool contactless() const { return m_interface == CardInterface::Contactless; }

    Code select(const Bytes &name, unsigned char occurrence, Bytes &fci, uint16_t &sw);
    Code readRecord(int sfi, int number, Bytes &record, uint16_t &sw);
    // A data object from the processing options or a record or, failing
    // that, from GET DATA; nothing when the card does not hold it.
    Code dataObject(Tag tag, std::optional<Bytes> &value);

    CardExchange exchange;

    // The application chosen, its FCI, and what its processing gave.
    Bytes aid, fci, aip;
    std::map<Tag, Bytes> objects; // from the processing options and the records
    bool quick = false;           // the processing options carried the cryptogram

private:
    CardInterface m_interface;
    std::optional<ChannelTransaction> m_transaction;
};

} // namespace device::payment

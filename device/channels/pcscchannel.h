// Channels to cards in PC/SC readers, through pcscd (pcsc-lite).
//   PcscContext  the connection to pcscd, established again when pcscd restarts
//   PcscChannel  the card in one reader: SCardConnect (shared, T=0 or T=1),
//                SCardReconnect for a reset, SCardStatus for the ATR,
//                SCardTransmit, SCardDisconnect that unpowers the card,
//                SCardBeginTransaction / SCardEndTransaction around a
//                sequence of commands
// Another program sharing the card may reset it: pcscd then answers
// SCARD_W_RESET_CARD to every call on our handle until we acknowledge it
// with SCardReconnect (SCARD_LEAVE_CARD). The channel acknowledges it at once,
// counts a new session, and reports CardReset for the call that met it; a
// transaction that meets it begins anyway, as an operation starts from
// the card's reset state.
// Responses are passed on as the reader sent them: no GET RESPONSE for 61xx,
// no resend for 6Cxx.
#pragma once

#include "channel.h"

#include <winscard.h>

#include <string>

namespace device {

class PcscContext
{
public:
    PcscContext() = default;
    ~PcscContext();
    PcscContext(const PcscContext &) = delete;
    PcscContext &operator=(const PcscContext &) = delete;

    // Establishes the context unless it is; ServiceUnavailable without pcscd.
    ChannelResult ensure();

    // Calls call(context) and, when pcscd is gone or was restarted (its old
    // context is then invalid), establishes a new context and calls once more.
    template <typename Call> LONG retrying(Call call)
    {
        if (ensure() != ChannelResult::Ok)
            return SCARD_E_NO_SERVICE;
        LONG result = call(m_handle);
        if (result == SCARD_E_NO_SERVICE || result == SCARD_E_INVALID_HANDLE
            || result == SCARD_E_SERVICE_STOPPED) {
            release();
            if (ensure() != ChannelResult::Ok)
                return SCARD_E_NO_SERVICE;
            result = call(m_handle);
        }
        return result;
    }

    void release();

private:
    SCARDCONTEXT m_handle = 0;
    bool m_established = false;
};

class PcscChannel : public Channel
{
public:
    PcscChannel(PcscContext &context, std::string reader);
    ~PcscChannel() override;
    PcscChannel(const PcscChannel &) = delete;
    PcscChannel &operator=(const PcscChannel &) = delete;

    ChannelResult powerOn(Bytes &atr) override;
    ChannelResult transmit(const unsigned char *command, std::size_t length,
                           Bytes &response) override;
    void powerOff() override;
    bool isPowered() const override;
    // Asks pcscd first whether another program reset the card meanwhile,
    // so that a reset is seen before any command is sent.
    std::uint64_t session() const override;
    ChannelResult beginTransaction() override;
    void endTransaction() override;
    ChannelResult currentAtr(Bytes &atr) override
    {
        return m_connected ? readAtr(atr) : ChannelResult::NotPowered;
    }

    const std::string &readerName() const { return m_reader; }

private:
    ChannelResult connect();
    // SCardStatus, with the ATR when atr is given.
    LONG status(Bytes *atr) const;
    ChannelResult readAtr(Bytes &atr);
    // Takes note of a reset by another program: true when result was one.
    bool acknowledgedReset(LONG result);

    PcscContext &m_context;
    std::string m_reader;
    SCARDHANDLE m_card = 0;
    DWORD m_protocol = 0;
    bool m_connected = false;
    int m_transactions = 0; // nesting depth of our transaction
    std::uint64_t m_session = 0;
    Bytes m_received;
};

} // namespace device

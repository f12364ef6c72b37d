#include "pcscchannel.h"
#include "pcscresult.h"

#include <algorithm>

namespace device {

PcscContext::~PcscContext()
{
    release();
}

ChannelResult PcscContext::ensure()
{
    if (m_established)
        return ChannelResult::Ok;
    const LONG result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_handle);
    if (result != SCARD_S_SUCCESS)
        return channelResultOf(result == SCARD_E_INVALID_HANDLE ? SCARD_E_NO_SERVICE : result);
    m_established = true;
    return ChannelResult::Ok;
}

void PcscContext::release()
{
    if (m_established)
        SCardReleaseContext(m_handle);
    m_established = false;
    m_handle = 0;
}

PcscChannel::PcscChannel(PcscContext &context, std::string reader)
    : m_context(context), m_reader(std::move(reader))
{
}

PcscChannel::~PcscChannel()
{
    powerOff();
}

ChannelResult PcscChannel::connect()
{
    const LONG result = m_context.retrying([this](SCARDCONTEXT context) {
        return SCardConnect(context, m_reader.c_str(), SCARD_SHARE_SHARED,
                            SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_card, &m_protocol);
    });
    m_connected = result == SCARD_S_SUCCESS;
    return channelResultOf(result);
}

bool PcscChannel::acknowledgedReset(LONG result)
{
    if (result != SCARD_W_RESET_CARD || !m_connected)
        return false;
    // The card keeps its power and the state the other program's reset gave
    // it; whatever this program had selected on it is gone.
    ++m_session;
    if (SCardReconnect(m_card, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                       SCARD_LEAVE_CARD, &m_protocol)
        != SCARD_S_SUCCESS) {
        // Removed or gone with pcscd meanwhile: the next power-on connects anew.
        SCardDisconnect(m_card, SCARD_LEAVE_CARD);
        m_connected = false;
        m_transactions = 0;
    }
    return true;
}

LONG PcscChannel::status(Bytes *atr) const
{
    char name[MAX_READERNAME] = {};
    DWORD nameLength = sizeof name;
    DWORD state = 0;
    DWORD protocol = 0;
    unsigned char answer[MAX_ATR_SIZE] = {};
    DWORD answerLength = sizeof answer;
    const LONG result =
        SCardStatus(m_card, name, &nameLength, &state, &protocol, answer, &answerLength);
    if (result == SCARD_S_SUCCESS && atr)
        atr->assign(answer, answer + std::min<DWORD>(answerLength, sizeof answer));
    return result;
}

ChannelResult PcscChannel::readAtr(Bytes &atr)
{
    LONG result = status(&atr);
    // Reset elsewhere between our reset and this call: the ATR is the same.
    if (acknowledgedReset(result))
        result = status(&atr);
    return channelResultOf(result);
}

ChannelResult PcscChannel::powerOn(Bytes &atr)
{
    ++m_session;
    if (m_connected) {
        const LONG result =
            SCardReconnect(m_card, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                           SCARD_RESET_CARD, &m_protocol);
        if (result == SCARD_S_SUCCESS)
            return readAtr(atr);
        // The card was removed, or pcscd restarted, since it was connected:
        // a new connection tells which, and finds a card put in again.
        SCardDisconnect(m_card, SCARD_LEAVE_CARD);
        m_connected = false;
        m_transactions = 0;
    }
    const ChannelResult connected = connect();
    if (connected != ChannelResult::Ok)
        return connected;
    const ChannelResult read = readAtr(atr);
    if (read != ChannelResult::Ok)
        powerOff();
    return read;
}

ChannelResult PcscChannel::transmit(const unsigned char *command, std::size_t length,
                                    Bytes &response)
{
    if (!m_connected)
        return ChannelResult::NotPowered;
    const SCARD_IO_REQUEST *protocol =
        m_protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
    // As long as any response a reader can send, so that a long one is
    // received whole and refused as too long, never cut.
    m_received.resize(MAX_BUFFER_SIZE_EXTENDED);
    DWORD received = static_cast<DWORD>(m_received.size());
    const LONG result = SCardTransmit(m_card, protocol, command, static_cast<DWORD>(length),
                                      nullptr, m_received.data(), &received);
    // The command was not sent: the card logic learns that its session ended.
    if (acknowledgedReset(result))
        return ChannelResult::CardReset;
    if (result != SCARD_S_SUCCESS)
        return channelResultOf(result);
    response.assign(m_received.begin(),
                    m_received.begin() + std::min<std::size_t>(received, m_received.size()));
    return ChannelResult::Ok;
}

std::uint64_t PcscChannel::session() const
{
    // The channel is never const itself: only the interface is.
    if (m_connected)
        const_cast<PcscChannel *>(this)->acknowledgedReset(status(nullptr));
    return m_session;
}

ChannelResult PcscChannel::beginTransaction()
{
    if (!m_connected)
        return ChannelResult::NotPowered;
    // Nested operations share the outer transaction.
    if (m_transactions > 0) {
        ++m_transactions;
        return ChannelResult::Ok;
    }
    LONG result = SCardBeginTransaction(m_card);
    // Acknowledged, the reset only ends the session that was; the operation
    // about to run starts from the card's reset state.
    if (acknowledgedReset(result) && m_connected)
        result = SCardBeginTransaction(m_card);
    if (result != SCARD_S_SUCCESS)
        return channelResultOf(result);
    m_transactions = 1;
    return ChannelResult::Ok;
}

void PcscChannel::endTransaction()
{
    if (m_transactions == 0 || --m_transactions > 0)
        return;
    if (m_connected)
        SCardEndTransaction(m_card, SCARD_LEAVE_CARD);
}

void PcscChannel::powerOff()
{
    m_transactions = 0;
    if (m_connected) {
        SCardDisconnect(m_card, SCARD_UNPOWER_CARD);
        ++m_session;
    }
    m_connected = false;
}

bool PcscChannel::isPowered() const
{
    return m_connected;
}

} // namespace device

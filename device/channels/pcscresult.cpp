#include "pcscresult.h"

#include <winscard.h>

namespace device {

ChannelResult channelResultOf(long pcscResult)
{
    switch (static_cast<LONG>(pcscResult)) {
    case SCARD_S_SUCCESS:
        return ChannelResult::Ok;
    // The daemon is gone, or restarted: the context of the old one is invalid.
    case SCARD_E_NO_SERVICE:
    case SCARD_E_SERVICE_STOPPED:
    case SCARD_E_INVALID_HANDLE:
    case SCARD_F_COMM_ERROR:
        return ChannelResult::ServiceUnavailable;
    case SCARD_E_NO_READERS_AVAILABLE:
        return ChannelResult::NoReader;
    case SCARD_E_UNKNOWN_READER:
    case SCARD_E_READER_UNAVAILABLE:
        return ChannelResult::ReaderRemoved;
    case SCARD_E_NO_SMARTCARD:
    case SCARD_W_UNSUPPORTED_CARD:
    case SCARD_E_CARD_UNSUPPORTED:
        return ChannelResult::NoCard;
    case SCARD_W_REMOVED_CARD:
        return ChannelResult::CardRemoved;
    case SCARD_W_UNPOWERED_CARD:
        return ChannelResult::NotPowered;
    case SCARD_W_RESET_CARD:
        return ChannelResult::CardReset;
    case SCARD_E_TIMEOUT:
        return ChannelResult::Timeout;
    case SCARD_E_UNSUPPORTED_FEATURE:
    case SCARD_E_READER_UNSUPPORTED:
        return ChannelResult::NotSupported;
    default:
        // Among them SCARD_W_UNRESPONSIVE_CARD, SCARD_E_NOT_TRANSACTED,
        // SCARD_E_PROTO_MISMATCH, SCARD_E_SHARING_VIOLATION.
        return ChannelResult::TransmissionError;
    }
}

} // namespace device

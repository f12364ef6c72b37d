// What a channel's failure means as a result code of the library.
#pragma once

#include "channel.h"
#include "errors.h"

namespace device {

inline Code codeOf(ChannelResult result, Code whenNotPowered)
{
    switch (result) {
    case ChannelResult::Ok:
        return Ok;
    case ChannelResult::NoCard:
        return NoCard;
    case ChannelResult::NotPowered:
        return whenNotPowered;
    case ChannelResult::CardRemoved:
        return CardRemoved;
    case ChannelResult::ReaderRemoved:
        return ReaderRemoved;
    case ChannelResult::ServiceUnavailable:
        return PcscdUnreachable;
    case ChannelResult::NoReader:
        return NoReader;
    case ChannelResult::Timeout:
        return Timeout;
    case ChannelResult::NotSupported:
        return NotSupportedByReader;
    case ChannelResult::CardReset:
        return CardResetElsewhere;
    case ChannelResult::TransmissionError:
        break;
    }
    return TransmissionError;
}

} // namespace device

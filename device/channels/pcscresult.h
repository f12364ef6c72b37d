// What a pcsc-lite result (SCARD_*) means for a channel: the one place where
// PC/SC's results are interpreted. Pure, so that a table test covers it.
#pragma once

#include "channel.h"

namespace device {

// Any result the table does not know is a failed exchange.
ChannelResult channelResultOf(long pcscResult);

} // namespace device

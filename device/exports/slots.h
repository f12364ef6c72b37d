// The channels of the reader that is open: one per CPU card slot, and the
// contactless field for M1 cards. For now every channel leads to a simulated
// card; the channels and their cards last for the life of the process.
#pragma once

#include "channel.h"

namespace device {

// The channel of a CPU card slot: 01 (full-size contact), 11-13 (PSAM),
// 41 and 42 (contactless type A and B); nullptr for any other number.
Channel *cpuChannel(unsigned char slot);

Channel &m1Channel();

} // namespace device

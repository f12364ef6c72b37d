// The channels of the reader that is open: one per CPU card slot, and the
// contactless field for M1 cards. The simulated reader's channels lead to
// simulated cards that last for the life of the process; a PC/SC reader's
// lead to the cards in its readers (pcscreader.h).
#pragma once

#include "channel.h"
#include "errors.h"

namespace device {

class PcscReader;

// The channel of a CPU card slot: 01 (full-size contact), 11-13 (PSAM),
// 41 and 42 (contactless type A and B). nullptr when there is none, with
// why in whyNone: CpuBadSlot for any other number, NotSupportedByReader for
// a PSAM slot that the PC/SC reader has no reader for.
Channel *cpuChannel(unsigned char slot, Code &whyNone);

Channel &m1Channel();

// Opens a PC/SC reader in place of the simulated one; on failure neither is
// open. closePcscReader() returns to the simulated reader.
Code openPcscReader(const char *selector, const char *extended);
void closePcscReader();
// The open PC/SC reader, or nullptr while the simulated one is in use.
PcscReader *pcscReader();

} // namespace device

// CPU cards over a channel: power on, exchange raw APDUs, power off. The
// response goes back as the card sent it, data and status word.
#pragma once

#include "channel.h"
#include "errors.h"

namespace device {

Code cpuPowerOn(Channel &channel, Bytes &atr);
// CpuNotPowered unless the card was powered on first.
Code cpuTransmit(Channel &channel, const unsigned char *command, std::size_t length,
                 Bytes &response);
void cpuPowerOff(Channel &channel);

} // namespace device

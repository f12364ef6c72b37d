#include "cpu.h"
#include "channelresult.h"
#include "statusword.h"

namespace device {

Code cpuPowerOn(Channel &channel, Bytes &atr)
{
    // Powering on a powered card resets it, as a warm reset would.
    return codeOf(channel.powerOn(atr), CpuNotPowered);
}

Code cpuTransmit(Channel &channel, const unsigned char *command, std::size_t length,
                 Bytes &response)
{
    if (!channel.isPowered())
        return CpuNotPowered;
    const Code result = codeOf(channel.transmit(command, length, response), CpuNotPowered);
    if (result == Ok && statusWord(response) == 0)
        return TransmissionError;
    return result;
}

void cpuPowerOff(Channel &channel)
{
    channel.powerOff();
}

} // namespace device

// The CPU card operations: argument checks here, the exchange in cardlogic.
#include "cpu.h"
#include "buffers.h"
#include "operations.h"
#include "slots.h"

namespace device {

int64_t CpuPowerOn(unsigned char slotNumber, unsigned char *atr, int64_t *atrLength)
{
    if (!deviceOpen())
        return NotOpen;
    if (!atr || !atrLength)
        return NullArgument;
    Code missing = CpuBadSlot;
    Channel *channel = cpuChannel(slotNumber, missing);
    if (!channel)
        return missing;
    Bytes answer;
    const Code result = cpuPowerOn(*channel, answer);
    if (result != Ok)
        return result;
    return copyReply(answer, longestAtr, atr, atrLength);
}

int64_t CpuApdu(unsigned char slotNumber, int64_t commandLength, const unsigned char *command,
                unsigned char *response, int64_t *responseLength)
{
    if (!deviceOpen())
        return NotOpen;
    if (!command || !response || !responseLength)
        return NullArgument;
    Code missing = CpuBadSlot;
    Channel *channel = cpuChannel(slotNumber, missing);
    if (!channel)
        return missing;
    if (!channel->isPowered())
        return CpuNotPowered;
    if (commandLength < 4 || commandLength > static_cast<int64_t>(longestApdu))
        return CpuBadCommand;
    Bytes answer;
    const Code result =
        cpuTransmit(*channel, command, static_cast<std::size_t>(commandLength), answer);
    if (result != Ok)
        return result;
    return copyReply(answer, longestApdu, response, responseLength);
}

int64_t CpuPowerOff(unsigned char slotNumber)
{
    if (!deviceOpen())
        return NotOpen;
    Code missing = CpuBadSlot;
    Channel *channel = cpuChannel(slotNumber, missing);
    if (!channel)
        return missing;
    cpuPowerOff(*channel);
    return Ok;
}

} // namespace device

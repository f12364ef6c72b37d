// The CPU cards in the slots of the simulated reader.
#include "reader.h"

namespace sim {

void resetCpuCards() {}

int64_t CpuPowerOn(unsigned char, unsigned char *, int64_t *)
{
    return deviceOpen() ? NoCard : NotOpen;
}

int64_t CpuApdu(unsigned char, int64_t, const unsigned char *, unsigned char *, int64_t *)
{
    return deviceOpen() ? NoCard : NotOpen;
}

int64_t CpuPowerOff(unsigned char)
{
    return deviceOpen() ? NoCard : NotOpen;
}

} // namespace sim

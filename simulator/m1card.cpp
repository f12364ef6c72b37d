// The M1 contactless card of the simulated reader.
#include "reader.h"

namespace sim {

void resetM1Card() {}

int64_t M1FindCard(unsigned char *, int64_t *)
{
    return deviceOpen() ? M1NoCard : NotOpen;
}

int64_t M1Authentication(unsigned char, unsigned char, const unsigned char *, const unsigned char *)
{
    return deviceOpen() ? M1NoCard : NotOpen;
}

int64_t M1ReadBlock(unsigned char, unsigned char *, int64_t *)
{
    return deviceOpen() ? M1NoCard : NotOpen;
}

int64_t M1WriteBlock(unsigned char, int64_t, const unsigned char *)
{
    return deviceOpen() ? M1NoCard : NotOpen;
}

} // namespace sim

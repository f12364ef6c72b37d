// Identity documents on the simulated reader.
#include "reader.h"

namespace sim {

int64_t IdReadCard(int, int, char *, int)
{
    return deviceOpen() ? NoCard : NotOpen;
}

int64_t SdtReadCard(int, int, char *, int)
{
    return deviceOpen() ? NoCard : NotOpen;
}

int64_t IdReadSn(unsigned char *, int64_t *)
{
    return deviceOpen() ? NoCard : NotOpen;
}

} // namespace sim

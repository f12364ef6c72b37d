// The magnetic stripe card of the simulated reader.
#include "reader.h"

namespace sim {

void resetMagneticCard() {}

int64_t MagRead(unsigned char, char *, char *, char *, unsigned char)
{
    return deviceOpen() ? Timeout : NotOpen;
}

int64_t MagWrite(unsigned char, const char *, const char *, const char *, unsigned char)
{
    return deviceOpen() ? Timeout : NotOpen;
}

} // namespace sim

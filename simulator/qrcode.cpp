// The QR code scanner of the simulated reader.
#include "reader.h"

namespace sim {

int64_t QrRead(char *, unsigned char)
{
    return deviceOpen() ? QrTimeout : NotOpen;
}

} // namespace sim

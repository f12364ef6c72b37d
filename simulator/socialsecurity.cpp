// The social security card of the simulated reader.
#include "reader.h"

namespace sim {

int64_t SsseReadCard(int, char *, char *, int)
{
    return deviceOpen() ? SocialSecurityNoCard : NotOpen;
}

} // namespace sim

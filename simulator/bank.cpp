// The bank chip card of the simulated reader.
#include "reader.h"

namespace sim {

void resetBankCard() {}

int64_t IccGetCardInfo(int, const char *, const char *, char *)
{
    return deviceOpen() ? NoCard : NotOpen;
}

int64_t IccGetARQC(int, const char *, const char *, char *, char *)
{
    return deviceOpen() ? NoCard : NotOpen;
}

int64_t IccARPCExeScript(int, const char *, const char *, const char *, char *, char *)
{
    return deviceOpen() ? NoCard : NotOpen;
}

int64_t IccGetTrDetail(int, const char *, char *, int)
{
    return deviceOpen() ? NoCard : NotOpen;
}

int64_t IccGetLoadDetail(int, const char *, char *, int)
{
    return deviceOpen() ? NoCard : NotOpen;
}

} // namespace sim

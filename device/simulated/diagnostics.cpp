// The reader's own answers: connection, model, versions, security module.
#include "operations.h"

#include <cstring>

using namespace device;

namespace sim {
namespace {

const char model[] = "SR-M300 多功能读写终端（模拟）";
const char firmware[] = "FW 2.4.1 build 20260915";
const char hardware[] = "HW REV C";
const char samId[] = "05.01-20260315-0000718293-4415607288";

int64_t copyText(char *buffer, const char *text)
{
    if (!buffer)
        return NullArgument;
    std::strcpy(buffer, text);
    return Ok;
}

} // namespace
} // namespace sim

// The operations the exports call.
namespace device {
using namespace sim;

int64_t TerminalHeartBeat()
{
    return deviceOpen() ? Ok : NotOpen;
}

int64_t TerminalGetModel(char *modelText)
{
    return deviceOpen() ? copyText(modelText, model) : NotOpen;
}

int64_t TerminalGetFirmVersion(char *firmwareText, char *hardwareText)
{
    if (!deviceOpen())
        return NotOpen;
    if (!firmwareText || !hardwareText)
        return NullArgument;
    copyText(firmwareText, firmware);
    return copyText(hardwareText, hardware);
}

int64_t SamGetStatus()
{
    return deviceOpen() ? Ok : NotOpen;
}

int64_t SamGetIdStr(char *samIdText)
{
    return deviceOpen() ? copyText(samIdText, samId) : NotOpen;
}

// The GA467 route reaches the same module.
int64_t SdtSamGetStatus()
{
    return SamGetStatus();
}

int64_t SdtSamGetIdStr(char *samIdText)
{
    return SamGetIdStr(samIdText);
}

} // namespace device

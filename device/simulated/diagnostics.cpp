// The reader's own answers: connection, model, versions, security module.
#include "buffers.h"
#include "operations.h"
#include "pcscreader.h"
#include "slots.h"

#include <cstring>

using namespace device;

namespace sim {
namespace {

const char model[] = "SR-M300 多功能读写终端（模拟）";
const char firmware[] = "FW 2.4.1 build 20260915";
const char hardware[] = "HW REV C";
const char samId[] = "05.01-20260315-0000718293-4415607288";

int64_t copyFixedText(char *buffer, const char *text)
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

// On a PC/SC reader the model is the reader's name and the versions are what
// its driver reports; the security module is the simulated reader's only.
int64_t TerminalHeartBeat()
{
    if (!deviceOpen())
        return NotOpen;
    PcscReader *reader = pcscReader();
    return reader ? reader->heartBeat() : Ok;
}

int64_t TerminalGetModel(char *modelText)
{
    if (!deviceOpen())
        return NotOpen;
    if (!modelText)
        return NullArgument;
    if (PcscReader *reader = pcscReader()) {
        copyTextBounded(reader->model(), modelText);
        return Ok;
    }
    return copyFixedText(modelText, model);
}

int64_t TerminalGetFirmVersion(char *firmwareText, char *hardwareText)
{
    if (!deviceOpen())
        return NotOpen;
    if (!firmwareText || !hardwareText)
        return NullArgument;
    if (PcscReader *reader = pcscReader()) {
        std::string firmwareReported;
        std::string hardwareReported;
        const Code read = reader->versions(firmwareReported, hardwareReported);
        if (read != Ok)
            return read;
        copyTextBounded(firmwareReported, firmwareText);
        copyTextBounded(hardwareReported, hardwareText);
        return Ok;
    }
    copyFixedText(firmwareText, firmware);
    return copyFixedText(hardwareText, hardware);
}

int64_t SamGetStatus()
{
    return simulatedReaderOpen();
}

int64_t SamGetIdStr(char *samIdText)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    return copyFixedText(samIdText, samId);
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

// The QR code scanner of the simulated reader. A code is always held to it,
// so a read answers at once (on a slow reader, as its timeout runs out); only
// a timeout of 0 leaves no time to scan.
#include "operations.h"
#include "scenario.h"

#include <cstring>

using namespace device;

namespace sim {
namespace {

// UTF-8, as the scanner hands it over; far below the caller's 512 bytes.
const char heldCode[] = "收款单号：SR20260915-0318；商户：星河文具店；金额：12.50元";

} // namespace
} // namespace sim

// The operations the exports call.
namespace device {
using namespace sim;

int64_t QrRead(char *content, unsigned char timeout)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    if (!content)
        return NullArgument;
    if (timeout == 0)
        return QrTimeout;
    scenario::awaitPresentation(timeout);
    std::memcpy(content, heldCode, sizeof heldCode);
    return Ok;
}

} // namespace device

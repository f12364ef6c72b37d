// The card's side of the vpcd protocol: any byte stream, cut at the positions
// the first byte picks, must leave no frame half-answered: every answer is a
// whole frame whose length matches its payload.
#include "vpcdlink.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static std::unique_ptr<sim::SimulatedCard> card = sim::makeCard(sim::CardKind::User);
    vpcd::Link link(*card);
    const std::size_t chunk = data[0] % 16 + 1;
    for (std::size_t offset = 1; offset < size; offset += chunk) {
        const sim::Bytes out = link.receive(data + offset, std::min(chunk, size - offset));
        std::size_t at = 0;
        while (at < out.size()) {
            if (out.size() - at < 2)
                __builtin_trap();
            at += 2 + (std::size_t(out[at]) << 8 | out[at + 1]);
        }
        if (at != out.size() || link.pending() > 0xFFFF + 1)
            __builtin_trap();
    }
    link.disconnect();
    return 0;
}

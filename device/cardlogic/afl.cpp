#include "afl.h"

namespace device {

std::optional<std::vector<AflEntry>> parseAfl(const unsigned char *data, std::size_t size)
{
    if (size % 4 != 0)
        return std::nullopt;
    std::vector<AflEntry> entries;
    for (std::size_t at = 0; at < size; at += 4) {
        AflEntry entry;
        entry.sfi = data[at] >> 3;
        entry.first = data[at + 1];
        entry.last = data[at + 2];
        entry.odaRecords = data[at + 3];
        if ((data[at] & 0x07) != 0 || entry.sfi == 0 || entry.sfi > 30 || entry.first == 0
            || entry.last < entry.first || entry.odaRecords > entry.last - entry.first + 1)
            return std::nullopt;
        entries.push_back(entry);
    }
    return entries;
}

} // namespace device

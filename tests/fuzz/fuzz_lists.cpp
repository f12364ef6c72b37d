// The lists a card sends: the AFL, data object lists (PDOL, CDOLs, log
// formats) and log records in their format. Each parser takes any bytes;
// an AFL range stays within 255 records, a filled DOL has exactly the length
// it announces, and a log line comes from a record at least as long as its
// format. The input is split at its first byte into a list and a record.
#include "fuzzcheck.h"
#include "afl.h"
#include "bank.h"
#include "dol.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (const auto afl = device::parseAfl(data, size)) {
        check(afl->size() * 4 == size);
        for (const device::AflEntry &entry : *afl)
            check(entry.sfi >= 1 && entry.sfi <= 30 && entry.first >= 1
                  && entry.last >= entry.first);
    }
    if (size == 0)
        return 0;
    const std::size_t split = std::min<std::size_t>(data[0], size - 1);
    const uint8_t *list = data + 1;
    const device::Bytes record(data + 1 + split, data + size);
    const auto dol = device::parseDol(list, split);
    if (!dol)
        return 0;
    const device::Bytes filled = device::fillDol(*dol, [&record](device::Tag tag) {
        return tag % 3 == 0 ? std::optional<device::Bytes>(record) : std::nullopt;
    });
    check(filled.size() == device::dolDataLength(*dol));
    const auto line = device::logLine(1, *dol, record);
    check(line.has_value() == (device::dolDataLength(*dol) <= record.size()));
    if (line)
        check(line->size() < 64 + 8 * (split + record.size()));
    return 0;
}

// The application file locator from GET PROCESSING OPTIONS: pure.
#pragma once

#include "channel.h"

#include <optional>
#include <vector>

namespace device {

struct AflEntry
{
    unsigned char sfi = 0;   // 1 to 30
    unsigned char first = 0; // first record, at least 1
    unsigned char last = 0;  // last record, at least first
    unsigned char odaRecords = 0;
};

// Entries of four bytes. Nothing when the size is not a multiple of four or
// an entry names no valid file or range; an entry may still name up to 255
// records, so readers bound what they read.
std::optional<std::vector<AflEntry>> parseAfl(const unsigned char *data, std::size_t size);

inline std::optional<std::vector<AflEntry>> parseAfl(const Bytes &data)
{
    return parseAfl(data.data(), data.size());
}

} // namespace device

// Data object lists (PDOL, CDOL1, CDOL2, the log formats 9F4F and DF4F) and
// the records they describe: pure functions over bytes.
#pragma once

#include "tlv.h"

#include <functional>

namespace device {

struct DolEntry
{
    Tag tag = 0;
    std::size_t length = 0;
};

using Dol = std::vector<DolEntry>;

// A list of tags, each followed by one length byte. Nothing when a tag is
// malformed or its length is missing.
std::optional<Dol> parseDol(const unsigned char *data, std::size_t size);

inline std::optional<Dol> parseDol(const Bytes &data)
{
    return parseDol(data.data(), data.size());
}

// How many bytes the values of a list take together.
std::size_t dolDataLength(const Dol &dol);

// The values a list asks for, each brought to its length as the payment
// applications do: numeric values (format n) lose or gain leading bytes,
// compressed numerics (cn) are padded with FF, all others are cut or padded
// with 00 at the end. A tag the lookup does not know gets zeros.
Bytes fillDol(const Dol &dol, const std::function<std::optional<Bytes>(Tag)> &lookup);

// One record in the layout of a log format: the value of each entry, in
// order, and what follows them (the load log's balances). Nothing when the
// record is shorter than the format.
struct LogRecord
{
    std::vector<std::pair<Tag, Bytes>> values;
    Bytes rest;
};
std::optional<LogRecord> splitLogRecord(const Dol &format, const Bytes &record);

} // namespace device

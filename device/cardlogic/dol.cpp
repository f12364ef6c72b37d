#include "dol.h"

namespace device {
namespace {

enum class Format { Numeric, CompressedNumeric, Other };

Format formatOf(Tag tag)
{
    switch (tag) {
    case 0x9F02: // amounts
    case 0x9F03:
    case 0x5F2A: // currency and country codes
    case 0x9F1A:
    case 0x9A: // date, time, type
    case 0x9F21:
    case 0x9C:
    case 0x9F15: // merchant category
    case 0x9F41: // transaction sequence counter
        return Format::Numeric;
    case 0x5A:
        return Format::CompressedNumeric;
    default:
        return Format::Other;
    }
}

} // namespace

std::optional<Dol> parseDol(const unsigned char *data, std::size_t size)
{
    Dol dol;
    std::size_t at = 0;
    while (at < size) {
        DolEntry entry;
        if (!readTlvTag(data, size, at, entry.tag) || at >= size)
            return std::nullopt;
        entry.length = data[at++];
        dol.push_back(entry);
    }
    return dol;
}

std::size_t dolDataLength(const Dol &dol)
{
    std::size_t total = 0;
    for (const DolEntry &entry : dol)
        total += entry.length;
    return total;
}

Bytes fillDol(const Dol &dol, const std::function<std::optional<Bytes>(Tag)> &lookup)
{
    Bytes filled;
    for (const DolEntry &entry : dol) {
        const Bytes value = lookup(entry.tag).value_or(Bytes());
        const Format format = formatOf(entry.tag);
        const std::size_t length = entry.length;
        if (format == Format::Numeric) {
            if (value.size() >= length) {
                filled.insert(filled.end(), value.end() - static_cast<std::ptrdiff_t>(length),
                              value.end());
            } else {
                filled.insert(filled.end(), length - value.size(), 0x00);
                filled.insert(filled.end(), value.begin(), value.end());
            }
            continue;
        }
        const std::size_t kept = std::min(length, value.size());
        filled.insert(filled.end(), value.begin(),
                      value.begin() + static_cast<std::ptrdiff_t>(kept));
        filled.insert(filled.end(), length - kept,
                      format == Format::CompressedNumeric ? 0xFF : 0x00);
    }
    return filled;
}

std::optional<LogRecord> splitLogRecord(const Dol &format, const Bytes &record)
{
    if (dolDataLength(format) > record.size())
        return std::nullopt;
    LogRecord split;
    auto at = record.begin();
    for (const DolEntry &entry : format) {
        const auto end = at + static_cast<std::ptrdiff_t>(entry.length);
        split.values.emplace_back(entry.tag, Bytes(at, end));
        at = end;
    }
    split.rest.assign(at, record.end());
    return split;
}

} // namespace device

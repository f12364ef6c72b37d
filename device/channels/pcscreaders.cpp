#include "pcscreaders.h"
#include "pcscresult.h"

#include <algorithm>
#include <reader.h>

#include <cctype>
#include <cstring>

namespace device {

std::vector<std::string> splitReaderNames(const char *names, std::size_t length)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < length) {
        const void *zero = std::memchr(names + start, '\0', length - start);
        const std::size_t end =
            zero ? static_cast<std::size_t>(static_cast<const char *>(zero) - names) : length;
        if (end == start)
            break;
        result.emplace_back(names + start, end - start);
        start = end + 1;
    }
    return result;
}

ChannelResult listReaders(PcscContext &context, std::vector<PcscReaderState> &readers)
{
    readers.clear();
    std::vector<char> names;
    const LONG listed = context.retrying([&names](SCARDCONTEXT handle) {
        DWORD length = 0;
        LONG result = SCardListReaders(handle, nullptr, nullptr, &length);
        if (result != SCARD_S_SUCCESS)
            return result;
        names.assign(length, '\0');
        result = SCardListReaders(handle, nullptr, names.data(), &length);
        names.resize(std::min<std::size_t>(length, names.size()));
        return result;
    });
    if (listed != SCARD_S_SUCCESS)
        return channelResultOf(listed);
    for (std::string &name : splitReaderNames(names.data(), names.size()))
        readers.push_back({std::move(name), false});
    if (readers.empty())
        return ChannelResult::NoReader;

    std::vector<SCARD_READERSTATE> states(readers.size());
    for (std::size_t i = 0; i < readers.size(); ++i) {
        states[i].szReader = readers[i].name.c_str();
        states[i].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    const LONG polled = context.retrying([&states](SCARDCONTEXT handle) {
        return SCardGetStatusChange(handle, 0, states.data(), static_cast<DWORD>(states.size()));
    });
    // A timeout only says that nothing changed since UNAWARE: states are set.
    if (polled != SCARD_S_SUCCESS && polled != SCARD_E_TIMEOUT)
        return channelResultOf(polled);
    for (std::size_t i = 0; i < readers.size(); ++i)
        readers[i].hasCard = (states[i].dwEventState & SCARD_STATE_PRESENT) != 0;
    return ChannelResult::Ok;
}

int chooseReader(const std::vector<PcscReaderState> &readers, const std::string &selector)
{
    const int count = static_cast<int>(readers.size());
    if (selector.empty()) {
        for (int i = 0; i < count; ++i) {
            if (readers[i].hasCard)
                return i;
        }
        return count > 0 ? 0 : -1;
    }
    for (int i = 0; i < count; ++i) {
        if (readers[i].name.find(selector) != std::string::npos)
            return i;
    }
    return -1;
}

namespace {

const char contactlessKey[] = "contactless=";

bool isKeyedItem(const std::string &item)
{
    return item.find('=') != std::string::npos;
}

// The ';'-separated items of the extended parameter.
std::vector<std::string> extendedItems(const std::string &extended)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= extended.size()) {
        const std::size_t end = std::min(extended.find(';', start), extended.size());
        items.push_back(extended.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

std::string lowered(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

struct NameParts
{
    std::vector<std::string> words; // without interface words, lower case
    std::string deviceIndex;        // the first NN of pcscd's "NN NN"; may be empty
    bool contactless = false;
};

bool isTwoDigits(const std::string &word)
{
    return word.size() == 2 && std::isdigit(static_cast<unsigned char>(word[0]))
           && std::isdigit(static_cast<unsigned char>(word[1]));
}

NameParts nameParts(const std::string &name)
{
    NameParts parts;
    std::vector<std::string> words;
    std::string word;
    for (char c : name + ' ') {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(lowered(word));
            word.clear();
        }
    }
    if (words.size() >= 2 && isTwoDigits(words[words.size() - 1])
        && isTwoDigits(words[words.size() - 2])) {
        parts.deviceIndex = words[words.size() - 2];
        words.resize(words.size() - 2);
    }
    for (const std::string &w : words) {
        if (w == "contactless" || w == "picc" || w == "cl")
            parts.contactless = true;
        else if (w != "contact" && w != "icc")
            parts.words.push_back(w);
    }
    return parts;
}

} // namespace

int contactlessPartner(const std::vector<std::string> &names, int mainReader)
{
    const int count = static_cast<int>(names.size());
    if (mainReader < 0 || mainReader >= count)
        return -1;
    const NameParts main = nameParts(names[mainReader]);
    if (main.contactless || main.words.empty())
        return -1;
    std::vector<int> candidates, sameDevice;
    for (int i = 0; i < count; ++i) {
        if (i == mainReader)
            continue;
        const NameParts other = nameParts(names[i]);
        if (!other.contactless || other.words != main.words)
            continue;
        candidates.push_back(i);
        if (other.deviceIndex == main.deviceIndex)
            sameDevice.push_back(i);
    }
    if (candidates.size() == 1)
        return candidates.front();
    return sameDevice.size() == 1 ? sameDevice.front() : -1;
}

int chooseContactlessReader(const std::vector<PcscReaderState> &readers, int mainReader,
                            const std::array<int, 3> &psam, const std::string &extended)
{
    const int count = static_cast<int>(readers.size());
    const auto usable = [&](int i) {
        return i != mainReader && std::find(psam.begin(), psam.end(), i) == psam.end();
    };
    for (const std::string &item : extendedItems(extended)) {
        if (item.compare(0, sizeof contactlessKey - 1, contactlessKey) != 0)
            continue;
        const std::string fragment = item.substr(sizeof contactlessKey - 1);
        if (fragment.empty())
            return -1;
        for (int i = 0; i < count; ++i) {
            if (usable(i) && readers[i].name.find(fragment) != std::string::npos)
                return i;
        }
        return -1;
    }
    std::vector<std::string> names;
    for (const PcscReaderState &reader : readers)
        names.push_back(reader.name);
    const int partner = contactlessPartner(names, mainReader);
    return partner >= 0 && usable(partner) ? partner : -1;
}

std::array<int, 3> choosePsamReaders(const std::vector<PcscReaderState> &readers, int mainReader,
                                     const std::string &extended)
{
    std::array<int, 3> psam{-1, -1, -1};
    const int count = static_cast<int>(readers.size());
    std::vector<std::string> fragments;
    bool named = false;
    if (!extended.empty()) {
        for (const std::string &item : extendedItems(extended)) {
            if (isKeyedItem(item))
                continue;
            named = true;
            if (fragments.size() < psam.size())
                fragments.push_back(item);
        }
    }
    // No PSAM items (nothing, or keyed items only): the SAM readers by name.
    if (!named) {
        fragments.clear();
        for (int i = 0; i < count && fragments.size() < psam.size(); ++i) {
            if (i != mainReader && readers[i].name.find("SAM") != std::string::npos)
                fragments.push_back(readers[i].name);
        }
    }
    for (std::size_t slot = 0; slot < fragments.size(); ++slot) {
        if (fragments[slot].empty())
            continue;
        for (int i = 0; i < count; ++i) {
            if (i != mainReader && readers[i].name.find(fragments[slot]) != std::string::npos) {
                psam[slot] = i;
                break;
            }
        }
    }
    return psam;
}

std::string attributeText(const unsigned char *bytes, std::size_t length)
{
    const unsigned char *end = std::find(bytes, bytes + length, '\0');
    return std::string(bytes, end);
}

std::string versionText(const unsigned char *bytes, std::size_t length)
{
    if (length != 4 && length != 8)
        return {};
    uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return std::to_string(value >> 24) + '.' + std::to_string(value >> 16 & 0xFF) + '.'
           + std::to_string(value & 0xFFFF);
}

namespace {

// Attribute bytes, empty when the driver does not report the attribute.
std::vector<unsigned char> attribute(SCARDHANDLE card, DWORD id)
{
    std::vector<unsigned char> value(MAX_BUFFER_SIZE);
    DWORD length = static_cast<DWORD>(value.size());
    if (SCardGetAttrib(card, id, value.data(), &length) != SCARD_S_SUCCESS)
        return {};
    value.resize(std::min<std::size_t>(length, value.size()));
    return value;
}

} // namespace

ChannelResult readReaderInfo(PcscContext &context, const std::string &reader, PcscReaderInfo &info)
{
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const LONG connected = context.retrying([&](SCARDCONTEXT handle) {
        return SCardConnect(handle, reader.c_str(), SCARD_SHARE_DIRECT, 0, &card, &protocol);
    });
    if (connected != SCARD_S_SUCCESS)
        return channelResultOf(connected);
    const std::vector<unsigned char> vendor = attribute(card, SCARD_ATTR_VENDOR_NAME);
    const std::vector<unsigned char> type = attribute(card, SCARD_ATTR_VENDOR_IFD_TYPE);
    const std::vector<unsigned char> version = attribute(card, SCARD_ATTR_VENDOR_IFD_VERSION);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    info.vendor = attributeText(vendor.data(), vendor.size());
    info.type = attributeText(type.data(), type.size());
    info.version = versionText(version.data(), version.size());
    return ChannelResult::Ok;
}

ChannelResult readerListed(PcscContext &context, const std::string &reader)
{
    std::vector<PcscReaderState> readers;
    const ChannelResult listed = listReaders(context, readers);
    if (listed == ChannelResult::NoReader)
        return ChannelResult::ReaderRemoved;
    if (listed != ChannelResult::Ok)
        return listed;
    const bool found =
        std::any_of(readers.begin(), readers.end(),
                    [&reader](const PcscReaderState &r) { return r.name == reader; });
    return found ? ChannelResult::Ok : ChannelResult::ReaderRemoved;
}

} // namespace device

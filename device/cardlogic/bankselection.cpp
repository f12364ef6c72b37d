#include "bankselection.h"
#include "bankterminal.h"
#include "statusword.h"
#include "tlv.h"

#include <algorithm>

namespace device::payment {
namespace {

const char proximityDirectory[] = "2PAY.SYS.DDF01";
const char paymentDirectory[] = "1PAY.SYS.DDF01";
// The terminal's list of AIDs, in the order it tries them without a
// directory.
const char *const supportedAids[] = {"A000000333010101", "A000000333010102", "A000000333010103",
                                     "A000000333010106"};

constexpr int mostDirectoryRecords = 16;
constexpr int mostOccurrences = 8;
constexpr uint16_t swBlocked = 0x6A81, swApplicationBlocked = 0x6283;

bool beginsWith(const Bytes &data, const Bytes &prefix)
{
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

void walkEntries(const Bytes &data, std::vector<Candidate> &found, int depth)
{
    const auto parsed = parseTlv(data.data(), data.size());
    if (!parsed || depth > deepestTemplate)
        return;
    for (const TlvObject &object : *parsed) {
        if (found.size() >= mostCandidates)
            return;
        if (object.tag == 0x61) {
            const Bytes entry = object.bytes();
            const std::optional<Bytes> aid = findTlv(entry, 0x4F);
            const std::optional<Bytes> priority = findTlv(entry, 0x87);
            if (aid && aid->size() <= 16 && isSupportedAid(*aid))
                found.push_back(
                    {*aid, priority && priority->size() == 1 ? (*priority)[0] & 0x0F : 0});
        } else if (object.constructed) {
            walkEntries(object.bytes(), found, depth + 1);
        }
    }
}

// Reads a directory: the PPSE's FCI, or the PSE's records.
Code readDirectory(PaymentSession &session, bool proximity, std::vector<Candidate> &candidates)
{
    Bytes fci;
    uint16_t sw = 0;
    if (const Code result = session.select(
            fromAscii(proximity ? proximityDirectory : paymentDirectory), 0, fci, sw);
        result != Ok)
        return result;
    if (sw == swBlocked)
        return BankCardBlocked;
    if (!isSuccess(sw))
        return Ok;
    std::vector<Bytes> directory;
    if (proximity) {
        directory.push_back(fci);
    } else {
        const std::optional<Bytes> sfi = findTlv(fci, 0x88);
        if (!sfi || sfi->size() != 1 || (*sfi)[0] == 0 || (*sfi)[0] > 30)
            return Ok;
        for (int number = 1; number <= mostDirectoryRecords; ++number) {
            Bytes record;
            if (const Code result = session.readRecord((*sfi)[0], number, record, sw); result != Ok)
                return result;
            if (!isSuccess(sw))
                break;
            directory.push_back(record);
        }
    }
    candidates = candidateList(directory);
    return Ok;
}

// Without a directory: each supported AID by SELECT, its further occurrences
// (P2 02) while the card answers with longer DF names that begin with it.
Code listOfAids(PaymentSession &session, std::vector<Candidate> &candidates)
{
    for (const char *hex : supportedAids) {
        const Bytes aid = fromHex(hex);
        unsigned char occurrence = 0x00;
        for (int tries = 0; tries < mostOccurrences && candidates.size() < mostCandidates;
             ++tries, occurrence = 0x02) {
            Bytes fci;
            uint16_t sw = 0;
            if (const Code result = session.select(aid, occurrence, fci, sw); result != Ok)
                return result;
            if (sw == swBlocked)
                return BankCardBlocked;
            if (!isSuccess(sw) && sw != swApplicationBlocked)
                break;
            const Bytes name = findTlv(fci, 0x84).value_or(aid);
            if (!beginsWith(name, aid) || name.size() > 16)
                break;
            const std::optional<Bytes> priority = findTlv(fci, 0x87);
            if (isSuccess(sw))
                candidates.push_back(
                    {name, priority && priority->size() == 1 ? (*priority)[0] & 0x0F : 0});
            if (name.size() == aid.size())
                break; // an exact match has no further occurrence
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate &a, const Candidate &b) {
                         return (a.priority ? a.priority : 16) < (b.priority ? b.priority : 16);
                     });
    return Ok;
}

} // namespace

bool isSupportedAid(const Bytes &aid)
{
    return std::any_of(std::begin(supportedAids), std::end(supportedAids),
                       [&aid](const char *hex) { return beginsWith(aid, fromHex(hex)); });
}

std::vector<Candidate> candidateList(const std::vector<Bytes> &directory)
{
    std::vector<Candidate> found;
    for (const Bytes &part : directory)
        walkEntries(part, found, 0);
    std::stable_sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) {
        return (a.priority ? a.priority : 16) < (b.priority ? b.priority : 16);
    });
    return found;
}

Code chooseApplication(PaymentSession &session, const Initiate &initiate)
{
    std::vector<Candidate> candidates;
    for (const bool proximity : {false, true}) {
        if (!proximity && session.contactless())
            continue; // the contactless interface has no PSE
        if (const Code result = readDirectory(session, proximity, candidates); result != Ok)
            return result;
        if (!candidates.empty())
            break;
    }
    if (candidates.empty()) {
        if (const Code result = listOfAids(session, candidates); result != Ok)
            return result;
    }
    for (const Candidate &candidate : candidates) {
        Bytes fci;
        uint16_t sw = 0;
        if (const Code result = session.select(candidate.aid, 0x00, fci, sw); result != Ok)
            return result;
        if (sw == swBlocked)
            return BankCardBlocked;
        if (!isSuccess(sw))
            continue; // 6283: this application is blocked, others may not be
        session.aid = candidate.aid;
        session.fci = fci;
        bool refused = false;
        if (const Code result = initiate(refused); result != Ok || !refused)
            return result;
    }
    return BankNoApplication;
}

} // namespace device::payment

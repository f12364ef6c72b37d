// Application selection and the cryptograms of the bank flow on any bytes:
// the candidate list from a directory split into records, the answer to GET
// PROCESSING OPTIONS (the quick contactless flow's cryptogram included) and
// the answer to GENERATE AC. The first byte splits the input into a directory
// part and a card answer. Candidates must be supported, ordered by priority
// and bounded; a cryptogram that parses has its fixed sizes.
#include "fuzzcheck.h"
#include "bankonline.h"
#include "bankprocessing.h"
#include "bankselection.h"

#include <cstdint>

namespace {

int order(int priority)
{
    return priority == 0 ? 16 : priority;
}

void checkCryptogram(const device::payment::Cryptogram &cryptogram)
{
    check(cryptogram.objects.at(0x9F26).size() == 8);
    check(cryptogram.objects.at(0x9F36).size() == 2);
    check((cryptogram.cid & 0x3F) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t split = std::min<std::size_t>(data[0], size - 1);
    // The directory: records cut at every 0x70 that starts one.
    std::vector<device::Bytes> directory;
    for (std::size_t at = 1; at < 1 + split; ++at) {
        if (data[at] == 0x70 || directory.empty())
            directory.emplace_back();
        directory.back().push_back(data[at]);
    }
    const auto candidates = device::payment::candidateList(directory);
    check(candidates.size() <= device::payment::mostCandidates);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        check(device::payment::isSupportedAid(candidates[i].aid));
        check(candidates[i].aid.size() <= 16);
        check(candidates[i].priority >= 0 && candidates[i].priority <= 15);
        if (i > 0)
            check(order(candidates[i - 1].priority) <= order(candidates[i].priority));
    }

    const device::Bytes answer(data + 1 + split, data + size);
    if (const auto options = device::payment::parseProcessingOptions(answer)) {
        check(options->aip.size() == 2);
        if (options->withCryptogram)
            checkCryptogram(*device::payment::cryptogramIn(options->objects));
    }
    if (const auto cryptogram = device::payment::parseGenerateAc(answer))
        checkCryptogram(*cryptogram);
    if (const auto command = device::payment::processingOptionsCommand(answer))
        check(command->size() == 6 + (*command)[4] && (*command)[5] == 0x83);
    return 0;
}

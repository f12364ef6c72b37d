// Application selection: the candidate list from a payment directory (pure,
// over the directory's bytes) and the choice of the application that the
// card then lets the terminal use.
#pragma once

#include "banksession.h"

#include <functional>
#include <vector>

namespace device::payment {

struct Candidate
{
    Bytes aid;
    int priority = 0; // 1 (highest) to 15; 0 for none
};

// Whether the terminal supports an application: one of the PBOC AIDs, or a
// longer AID that begins with one of them.
bool isSupportedAid(const Bytes &aid);

// The candidates of a directory (the PPSE's FCI, or every record of the PSE,
// in the card's order): the entries (61) with a supported AID (4F), ordered
// by priority indicator (87, its low four bits), 1 first; entries without a
// priority (absent, or 0) after every numbered one; equal priorities in the
// directory's order. At most mostCandidates, the first found kept.
constexpr std::size_t mostCandidates = 16;
std::vector<Candidate> candidateList(const std::vector<Bytes> &directory);

// Builds the candidate list as the interface does it (contact: PSE, then PPSE,
// then the list of AIDs; contactless: PPSE, then the list) and selects each
// candidate in turn until initiate accepts one. initiate sets refused when
// the application refuses the transaction (6985 to GET PROCESSING OPTIONS):
// the next candidate is tried. BankCardBlocked for a card or application
// that answers 6A81; BankNoApplication when no candidate is left.
using Initiate = std::function<Code(bool &refused)>;
Code chooseApplication(PaymentSession &session, const Initiate &initiate);

} // namespace device::payment

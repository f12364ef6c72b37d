// Simulated cards with payment applications that the user card lacks, for
// the terminal flow's harder cases:
//   multiApplicationCard  three supported applications and one that is not,
//                         listed in the directories out of priority order; the
//                         application of priority 1 answers 6985 to GET
//                         PROCESSING OPTIONS
//   quickOnlyCard         a contactless card that pays only by the quick flow
//   longPdolCard          an application whose PDOL asks for 130 bytes
#pragma once

#include "cardos.h"

#include <vector>

namespace sim {

struct PaymentCard
{
    const CardFile &mf;
    std::vector<BankProfile> applications; // by the application number of their DFs
};

PaymentCard multiApplicationCard();
PaymentCard quickOnlyCard();
PaymentCard longPdolCard();

} // namespace sim

// The simulated reader: the implementation behind the exports of
// simulator/exports.cpp. One function per called entry point, with the same
// name and parameters, in namespace sim; each card model lives in its own file.
#pragma once

#include "entrypoints.h"
#include "errors.h"

namespace sim {

#define SIMULATED_READER_DECLARE(name, params, args) int64_t name params;
COMMON_INTERFACE_ENTRY_POINTS(SIMULATED_READER_DECLARE, COMMON_INTERFACE_IGNORE_UNCALLED)
#undef SIMULATED_READER_DECLARE

// Whether OpenDevice has succeeded since the last CloseDevice. Every reader
// operation answers NotOpen while this is false.
bool deviceOpen();

// Ends every card's session (powered slots, the authenticated sector, the
// pending ARQC) when the device is opened or closed. What was written to a
// card stays for the life of the process, as it would on a real card.
void resetCards();

// The part of resetCards() that belongs to each card model.
void resetBankCard();
void resetM1Card();
void resetMagneticCard();
void resetCpuCards();

} // namespace sim

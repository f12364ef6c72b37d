// The operations behind the exports of exports.cpp: one function per called
// entry point, with the same name and parameters, in namespace device.
// OpenDevice, CloseDevice and the conversions are in device.cpp, the CPU and
// M1 operations (which go through cardlogic and a channel) in cpu.cpp and
// m1.cpp, and the simulated-only operations in ../simulated/.
#pragma once

#include "entrypoints.h"
#include "errors.h"

namespace device {

#define DEVICE_OPERATION_DECLARE(name, params, args) int64_t name params;
COMMON_INTERFACE_ENTRY_POINTS(DEVICE_OPERATION_DECLARE, COMMON_INTERFACE_IGNORE_UNCALLED)
#undef DEVICE_OPERATION_DECLARE

// Whether OpenDevice has succeeded since the last CloseDevice. Every reader
// operation answers NotOpen while this is false.
bool deviceOpen();

// For the functions only the simulated reader has: Ok while it is open,
// NotOpen while no reader is, NotSupportedByReader while a PC/SC reader is.
Code simulatedReaderOpen();

// Ends every card's session (powered slots, the authenticated sector, the
// pending ARQC) when the device is opened or closed. What was written to a
// card stays for the life of the process, as it would on a real card.
void resetCards();

// The part of resetCards() that belongs to each card or channel.
void resetBankCard();
void resetMagneticCard();
void powerOffChannels();

} // namespace device

// M1 cards over a channel to a PC/SC contactless reader, with the reader's
// storage-card commands (GET DATA, LOAD KEYS, GENERAL AUTHENTICATE, READ
// BINARY, UPDATE BINARY); the status words map back to the M1 result codes.
// The channel is powered on when an operation finds it off, so that a card
// in the field answers without being found first, as it does in a reader.
#pragma once

#include "channel.h"
#include "errors.h"

namespace device {

constexpr std::size_t m1BlockSize = 16;
constexpr std::size_t m1KeySize = 6;
// The program passes the first 4 bytes of the UID, whether the card's UID
// has 4 or 7 bytes.
constexpr std::size_t m1UidCompared = 4;

// The first block of a sector: 4 blocks per sector up to sector 31, then 16
// (a 4 KB card); -1 beyond sector 39.
int m1FirstBlockOf(int sector);

// Resets the card in the field (ending any authentication) and reads its UID
// of 4 or 7 bytes.
Code m1FindCard(Channel &channel, Bytes &uid);
// keyType 'A'/'a' or 'B'/'b'; key m1KeySize bytes; uid m1UidCompared bytes,
// compared with the start of the card's UID.
Code m1Authenticate(Channel &channel, unsigned char keyType, unsigned char sector,
                    const unsigned char *key, const unsigned char *uid);
Code m1ReadBlock(Channel &channel, unsigned char block, Bytes &data);
// data m1BlockSize bytes.
Code m1WriteBlock(Channel &channel, unsigned char block, const unsigned char *data);

} // namespace device

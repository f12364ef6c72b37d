// The simulated M1 card behind a PC/SC contactless reader: 1 KB in 16 sectors
// of 4 blocks of 16 bytes, with a 4-byte UID. It answers the storage-card
// commands a contactless PC/SC reader offers for such a card (class FF):
//   GET DATA              FF CA 00 00 Le    the UID (Le 00: all of it)
//   LOAD KEYS             FF 82 00 slot 06 key    into volatile slot 00 or 01
//   GENERAL AUTHENTICATE  FF 86 00 00 05 01 00 block 60|61 slot
//                         with key A (60) or key B (61) from a loaded slot
//   READ BINARY           FF B0 00 block 10
//   UPDATE BINARY         FF D6 00 block 10 data(16)
// Errors are status words: 6300 authentication failed, 6982 the block's
// sector is not authenticated, 6986 block 0 is read-only or the key slot is
// empty, 6A80 a trailer with inconsistent access bits or a bad authentication
// block, 6A81 GET DATA other than the UID, 6A82 a block beyond the card's
// memory, 6A86 bad P1 P2, 6700 a wrong length, 6C04 an Le shorter than the
// UID, 6D00 an unknown instruction, 6E00 a class other than FF.
//
// The last block of each sector is its trailer: key A (6 bytes), the access
// bits (4 bytes) and key B (6 bytes). One sector is authenticated at a time;
// a new authentication, successful or not, a reset and a power-off end it.
// Key A always reads back as zero bytes. Access bits are stored and must be
// consistent with their inverted copies, but they are not interpreted: either
// key grants reading and writing every block of its sector.
#pragma once

#include "simulatedcard.h"

#include <array>

namespace sim {

class M1Card : public SimulatedCard
{
public:
    static constexpr int sectorCount = 16;
    static constexpr int blocksPerSector = 4;
    static constexpr int blockCount = sectorCount * blocksPerSector;
    static constexpr int blockSize = 16;
    static constexpr int keySize = 6;
    static constexpr int keySlotCount = 2;

    using Block = std::array<unsigned char, blockSize>;
    using Key = std::array<unsigned char, keySize>;

    // Key A and key B of every trailer of a card as issued.
    static const Key factoryKey;

    // The card as issued: factory block 0, empty data blocks, factoryKey in
    // every trailer.
    M1Card();

    Bytes answerToReset() const override;
    void reset() override;
    void powerOff() override;
    Bytes respond(const unsigned char *command, std::size_t length) override;

private:
    Bytes getData(const unsigned char *command, std::size_t length) const;
    Bytes loadKeys(const unsigned char *command, std::size_t length);
    Bytes authenticate(const unsigned char *command, std::size_t length);
    Bytes readBinary(const unsigned char *command, std::size_t length) const;
    Bytes updateBinary(const unsigned char *command, std::size_t length);
    bool authenticatedFor(int block) const;

    Bytes m_uid;
    std::array<Block, blockCount> m_blocks{};
    std::array<Key, keySlotCount> m_keySlots{};
    std::array<bool, keySlotCount> m_keyLoaded{};
    int m_authenticatedSector = -1;
};

// Whether the access bits of a trailer (bytes 6 to 8) agree with their
// inverted copies. A trailer written with inconsistent bits would lock its
// sector for good on a real card; the simulated card refuses it instead.
bool accessBitsConsistent(const M1Card::Block &trailer);

} // namespace sim

// The simulated M1 card: 1 KB in 16 sectors of 4 blocks of 16 bytes, with a
// 4-byte UID. The last block of each sector is its trailer: key A (6 bytes),
// the access bits (4 bytes) and key B (6 bytes).
//
// Reading or writing a block needs an authentication of its sector with
// either trailer key and the card's UID. Like a real card, one sector is
// authenticated at a time, and finding the card again or a failed
// authentication ends it. Block 0 (UID and manufacturer data) is read-only;
// key A always reads back as zero bytes. Access bits are stored and must be
// consistent with their inverted copies, but they are not interpreted: either
// key grants reading and writing every block of its sector.
#pragma once

#include "errors.h"

#include <array>
#include <cstdint>

namespace sim {

class M1Card
{
public:
    static constexpr int sectorCount = 16;
    static constexpr int blocksPerSector = 4;
    static constexpr int blockCount = sectorCount * blocksPerSector;
    static constexpr int blockSize = 16;
    static constexpr int uidSize = 4;
    static constexpr int keySize = 6;
    static constexpr unsigned char keyTypeA = 'A';
    static constexpr unsigned char keyTypeB = 'B';

    using Block = std::array<unsigned char, blockSize>;
    using Uid = std::array<unsigned char, uidSize>;
    using Key = std::array<unsigned char, keySize>;

    // The card as issued: factory block 0, empty data blocks, and in every
    // trailer factoryKey as key A and key B.
    M1Card();

    static const Key factoryKey;

    const Uid &uid() const { return m_uid; }

    // Finding the card selects it afresh and ends any authentication.
    void select();
    void forgetAuthentication();

    Code authenticate(unsigned char keyType, unsigned char sector, const unsigned char *key,
                      const unsigned char *uid);
    // Writes blockSize bytes into data.
    Code readBlock(unsigned char block, unsigned char *data) const;
    Code writeBlock(unsigned char block, int64_t length, const unsigned char *data);

private:
    Uid m_uid;
    std::array<Block, blockCount> m_blocks{};
    int m_authenticatedSector = -1;
};

// Whether a block is the trailer of its sector.
bool isSectorTrailer(int block);

// Whether the access bits of a trailer (bytes 6 to 8) agree with their
// inverted copies. A trailer written with inconsistent bits would lock its
// sector for good on a real card; the simulated card refuses it instead.
bool accessBitsConsistent(const M1Card::Block &trailer);

} // namespace sim

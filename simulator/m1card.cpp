// The M1 contactless card of the simulated reader.
#include "m1card.h"
#include "reader.h"

#include <algorithm>

namespace sim {
namespace {

constexpr int keyAOffset = 0;
constexpr int accessBitsOffset = 6;
constexpr int keyBOffset = 10;

// Transport configuration: the access bits a blank card leaves the factory with.
constexpr unsigned char factoryAccessBits[] = {0xFF, 0x07, 0x80, 0x69};

constexpr M1Card::Uid cardUid = {0x5A, 0x1F, 0xC3, 0x27};

int sectorOf(int block)
{
    return block / M1Card::blocksPerSector;
}

// The card stays in the field for the life of the process: what is written to
// it survives closing and reopening the reader.
M1Card &fieldCard()
{
    static M1Card card;
    return card;
}

} // namespace

const M1Card::Key M1Card::factoryKey = {0x3C, 0x7E, 0x19, 0xB4, 0xD2, 0xA6};

bool isSectorTrailer(int block)
{
    return block % M1Card::blocksPerSector == M1Card::blocksPerSector - 1;
}

bool accessBitsConsistent(const M1Card::Block &trailer)
{
    const unsigned char *bits = trailer.data() + accessBitsOffset;
    const auto low = [](unsigned char byte) { return byte & 0x0F; };
    const auto high = [](unsigned char byte) { return byte >> 4; };
    const auto inverted = [](int nibble) { return ~nibble & 0x0F; };
    return low(bits[0]) == inverted(high(bits[1])) && high(bits[0]) == inverted(low(bits[2]))
           && low(bits[1]) == inverted(high(bits[2]));
}

M1Card::M1Card() : m_uid(cardUid)
{
    // Block 0: UID, its check byte, SAK, ATQA, then manufacturer data.
    Block &manufacturer = m_blocks[0];
    std::copy(m_uid.begin(), m_uid.end(), manufacturer.begin());
    manufacturer[4] = m_uid[0] ^ m_uid[1] ^ m_uid[2] ^ m_uid[3];
    manufacturer[5] = 0x08;
    manufacturer[6] = 0x04;
    manufacturer[7] = 0x00;
    const unsigned char maker[] = {'S', 'I', 'M', '-', 'M', '1', 0x20, 0x26};
    std::copy(std::begin(maker), std::end(maker), manufacturer.begin() + 8);

    for (int block = 0; block < blockCount; ++block) {
        if (!isSectorTrailer(block))
            continue;
        Block &trailer = m_blocks[block];
        std::copy(factoryKey.begin(), factoryKey.end(), trailer.begin() + keyAOffset);
        std::copy(std::begin(factoryAccessBits), std::end(factoryAccessBits),
                  trailer.begin() + accessBitsOffset);
        std::copy(factoryKey.begin(), factoryKey.end(), trailer.begin() + keyBOffset);
    }
}

void M1Card::select()
{
    forgetAuthentication();
}

void M1Card::forgetAuthentication()
{
    m_authenticatedSector = -1;
}

Code M1Card::authenticate(unsigned char keyType, unsigned char sector, const unsigned char *key,
                          const unsigned char *uid)
{
    // Whatever the outcome, the previous authentication is over.
    forgetAuthentication();
    if (!key || !uid)
        return NullArgument;
    if (keyType != keyTypeA && keyType != keyTypeB)
        return M1BadKeyType;
    if (sector >= sectorCount)
        return M1BadSector;
    if (!std::equal(m_uid.begin(), m_uid.end(), uid))
        return M1WrongUid;
    const Block &trailer = m_blocks[sector * blocksPerSector + blocksPerSector - 1];
    const int offset = keyType == keyTypeA ? keyAOffset : keyBOffset;
    if (!std::equal(key, key + keySize, trailer.begin() + offset))
        return M1WrongKey;
    m_authenticatedSector = sector;
    return Ok;
}

Code M1Card::readBlock(unsigned char block, unsigned char *data) const
{
    if (!data)
        return NullArgument;
    if (block >= blockCount)
        return M1BadBlock;
    if (sectorOf(block) != m_authenticatedSector)
        return M1NotAuthenticated;
    Block shown = m_blocks[block];
    if (isSectorTrailer(block))
        std::fill_n(shown.begin() + keyAOffset, keySize, 0);
    std::copy(shown.begin(), shown.end(), data);
    return Ok;
}

Code M1Card::writeBlock(unsigned char block, int64_t length, const unsigned char *data)
{
    if (!data)
        return NullArgument;
    if (length != blockSize)
        return M1BadLength;
    if (block >= blockCount)
        return M1BadBlock;
    if (sectorOf(block) != m_authenticatedSector)
        return M1NotAuthenticated;
    if (block == 0)
        return M1ReadOnlyBlock;
    Block written;
    std::copy(data, data + blockSize, written.begin());
    if (isSectorTrailer(block) && !accessBitsConsistent(written))
        return M1BadAccessBits;
    m_blocks[block] = written;
    return Ok;
}

void resetM1Card()
{
    // Closing the reader drops the authentication; the card keeps its data.
    fieldCard().forgetAuthentication();
}

int64_t M1FindCard(unsigned char *uid, int64_t *uidLength)
{
    if (!deviceOpen())
        return NotOpen;
    if (!uid || !uidLength)
        return NullArgument;
    M1Card &card = fieldCard();
    card.select();
    std::copy(card.uid().begin(), card.uid().end(), uid);
    *uidLength = M1Card::uidSize;
    return Ok;
}

int64_t M1Authentication(unsigned char keyType, unsigned char sector, const unsigned char *key,
                         const unsigned char *uid)
{
    if (!deviceOpen())
        return NotOpen;
    return fieldCard().authenticate(keyType, sector, key, uid);
}

int64_t M1ReadBlock(unsigned char block, unsigned char *data, int64_t *dataLength)
{
    if (!deviceOpen())
        return NotOpen;
    if (!dataLength)
        return NullArgument;
    const Code result = fieldCard().readBlock(block, data);
    if (result == Ok)
        *dataLength = M1Card::blockSize;
    return result;
}

int64_t M1WriteBlock(unsigned char block, int64_t dataLength, const unsigned char *data)
{
    if (!deviceOpen())
        return NotOpen;
    return fieldCard().writeBlock(block, dataLength, data);
}

} // namespace sim

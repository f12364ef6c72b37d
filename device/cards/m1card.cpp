// The M1 card of the simulated reader, answering storage-card commands.
#include "m1card.h"
#include "cardbytes.h"

#include <algorithm>
#include <cstdint>

namespace sim {
namespace {

constexpr int keyAOffset = 0;
constexpr int accessBitsOffset = 6;
constexpr int keyBOffset = 10;

// Transport configuration: the access bits a blank card leaves the factory with.
constexpr unsigned char factoryAccessBits[] = {0xFF, 0x07, 0x80, 0x69};

constexpr unsigned char cardUid[] = {0x5A, 0x1F, 0xC3, 0x27};

// What a PC/SC reader answers to a reset of a 1 KB storage card.
const Bytes storageCardAtr{0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                           0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A};

int sectorOf(int block)
{
    return block / M1Card::blocksPerSector;
}

bool isSectorTrailer(int block)
{
    return block % M1Card::blocksPerSector == M1Card::blocksPerSector - 1;
}

// The block a command addresses: P1 is its high byte, P2 its low byte.
int blockOf(const unsigned char *command)
{
    return command[2] << 8 | command[3];
}

} // namespace

const M1Card::Key M1Card::factoryKey = {0x3C, 0x7E, 0x19, 0xB4, 0xD2, 0xA6};

bool accessBitsConsistent(const M1Card::Block &trailer)
{
    const unsigned char *bits = trailer.data() + accessBitsOffset;
    const auto low = [](unsigned char byte) { return byte & 0x0F; };
    const auto high = [](unsigned char byte) { return byte >> 4; };
    const auto inverted = [](int nibble) { return ~nibble & 0x0F; };
    return low(bits[0]) == inverted(high(bits[1])) && high(bits[0]) == inverted(low(bits[2]))
           && low(bits[1]) == inverted(high(bits[2]));
}

M1Card::M1Card() : m_uid(std::begin(cardUid), std::end(cardUid))
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

Bytes M1Card::answerToReset() const
{
    return storageCardAtr;
}

void M1Card::reset()
{
    m_authenticatedSector = -1;
}

void M1Card::powerOff()
{
    m_authenticatedSector = -1;
}

Bytes M1Card::respond(const unsigned char *command, std::size_t length)
{
    if (!command || length < 4)
        return status(SwWrongLength);
    if (command[0] != 0xFF)
        return status(SwUnknownClass);
    switch (command[1]) {
    case 0xCA:
        return getData(command, length);
    case 0x82:
        return loadKeys(command, length);
    case 0x86:
        return authenticate(command, length);
    case 0xB0:
        return readBinary(command, length);
    case 0xD6:
        return updateBinary(command, length);
    default:
        return status(SwUnknownInstruction);
    }
}

Bytes M1Card::getData(const unsigned char *command, std::size_t length) const
{
    if (length != 5)
        return status(SwWrongLength);
    if (command[2] != 0x00 || command[3] != 0x00)
        return status(command[2] == 0x01 ? SwFunctionNotSupported : SwWrongP1P2);
    const std::size_t expected = command[4];
    if (expected == 0 || expected == m_uid.size())
        return withStatus(m_uid, SwSuccess);
    if (expected < m_uid.size())
        return status(static_cast<uint16_t>(SwExactLength | m_uid.size()));
    return withStatus(m_uid, SwEndOfData);
}

Bytes M1Card::loadKeys(const unsigned char *command, std::size_t length)
{
    if (length != 5 + keySize || command[4] != keySize)
        return status(SwWrongLength);
    const unsigned slot = command[3];
    if (command[2] != 0x00 || slot >= keySlotCount)
        return status(SwWrongP1P2);
    std::copy(command + 5, command + 5 + keySize, m_keySlots[slot].begin());
    m_keyLoaded[slot] = true;
    return status(SwSuccess);
}

Bytes M1Card::authenticate(const unsigned char *command, std::size_t length)
{
    // Whatever the outcome, the previous authentication is over.
    m_authenticatedSector = -1;
    if (length != 10 || command[4] != 0x05)
        return status(SwWrongLength);
    if (command[2] != 0x00 || command[3] != 0x00)
        return status(SwWrongP1P2);
    const unsigned char *data = command + 5;
    const int block = data[1] << 8 | data[2];
    const unsigned char keyType = data[3];
    const unsigned slot = data[4];
    if (data[0] != 0x01 || (keyType != 0x60 && keyType != 0x61))
        return status(SwBadData);
    if (block >= blockCount)
        return status(SwNotFound);
    if (slot >= keySlotCount || !m_keyLoaded[slot])
        return status(SwCommandNotAllowed);
    const int sector = sectorOf(block);
    const Block &trailer = m_blocks[sector * blocksPerSector + blocksPerSector - 1];
    const int offset = keyType == 0x60 ? keyAOffset : keyBOffset;
    if (!std::equal(m_keySlots[slot].begin(), m_keySlots[slot].end(), trailer.begin() + offset))
        return status(SwVerificationFailed);
    m_authenticatedSector = sector;
    return status(SwSuccess);
}

bool M1Card::authenticatedFor(int block) const
{
    return sectorOf(block) == m_authenticatedSector;
}

Bytes M1Card::readBinary(const unsigned char *command, std::size_t length) const
{
    if (length != 5 || command[4] != blockSize)
        return status(SwWrongLength);
    const int block = blockOf(command);
    if (block >= blockCount)
        return status(SwNotFound);
    if (!authenticatedFor(block))
        return status(SwSecurityStatus);
    Block shown = m_blocks[block];
    if (isSectorTrailer(block))
        std::fill_n(shown.begin() + keyAOffset, keySize, 0);
    return withStatus(Bytes(shown.begin(), shown.end()), SwSuccess);
}

Bytes M1Card::updateBinary(const unsigned char *command, std::size_t length)
{
    if (length != 5 + blockSize || command[4] != blockSize)
        return status(SwWrongLength);
    const int block = blockOf(command);
    if (block >= blockCount)
        return status(SwNotFound);
    if (!authenticatedFor(block))
        return status(SwSecurityStatus);
    if (block == 0)
        return status(SwCommandNotAllowed);
    Block written;
    std::copy(command + 5, command + 5 + blockSize, written.begin());
    if (isSectorTrailer(block) && !accessBitsConsistent(written))
        return status(SwBadData);
    m_blocks[block] = written;
    return status(SwSuccess);
}

} // namespace sim

#include "m1.h"
#include "channelresult.h"
#include "statusword.h"

#include <algorithm>

namespace device {
namespace {

// The reader's volatile key slot the keys are loaded into before each
// authentication.
constexpr unsigned char keySlot = 0x00;

Code m1CodeOf(ChannelResult result)
{
    return result == ChannelResult::NoCard ? M1NoCard : codeOf(result, M1NoCard);
}

Code powered(Channel &channel)
{
    if (channel.isPowered())
        return Ok;
    Bytes atr;
    const ChannelResult result = channel.powerOn(atr);
    return m1CodeOf(result);
}

// Sends a command and sets sw to the status word of a well-formed response.
Code exchange(Channel &channel, const Bytes &command, Bytes &response, uint16_t &sw)
{
    const Code ready = powered(channel);
    if (ready != Ok)
        return ready;
    const ChannelResult result = channel.transmit(command.data(), command.size(), response);
    if (result != ChannelResult::Ok)
        return m1CodeOf(result);
    sw = statusWord(response);
    return sw == 0 ? TransmissionError : Ok;
}

Code readUid(Channel &channel, Bytes &uid)
{
    Bytes response;
    uint16_t sw = 0;
    const Code sent = exchange(channel, {0xFF, 0xCA, 0x00, 0x00, 0x00}, response, sw);
    if (sent != Ok)
        return sent;
    uid = responseData(response);
    if (!isSuccess(sw) || (uid.size() != 4 && uid.size() != 7))
        return M1NoCard;
    return Ok;
}

bool isOutOfRange(uint16_t sw)
{
    return sw == 0x6A82 || sw == 0x6B00;
}

} // namespace

int m1FirstBlockOf(int sector)
{
    if (sector < 0 || sector > 39)
        return -1;
    return sector < 32 ? sector * 4 : 128 + (sector - 32) * 16;
}

Code m1FindCard(Channel &channel, Bytes &uid)
{
    Bytes atr;
    const ChannelResult reset = channel.powerOn(atr);
    if (reset != ChannelResult::Ok)
        return m1CodeOf(reset);
    return readUid(channel, uid);
}

Code m1Authenticate(Channel &channel, unsigned char keyType, unsigned char sector,
                    const unsigned char *key, const unsigned char *uid)
{
    unsigned char keyCode = 0;
    if (keyType == 'A' || keyType == 'a')
        keyCode = 0x60;
    else if (keyType == 'B' || keyType == 'b')
        keyCode = 0x61;
    else
        return M1BadKeyType;
    const int block = m1FirstBlockOf(sector);
    if (block < 0)
        return M1BadSector;

    // The UID check, LOAD KEYS and GENERAL AUTHENTICATE as one: no other
    // program may load its key into the slot between the last two.
    if (const Code ready = powered(channel); ready != Ok)
        return ready;
    ChannelTransaction transaction(channel);
    if (transaction.result() != ChannelResult::Ok)
        return m1CodeOf(transaction.result());
    Bytes cardUid;
    const Code found = readUid(channel, cardUid);
    if (found != Ok)
        return found;
    if (!std::equal(uid, uid + m1UidCompared, cardUid.begin()))
        return M1WrongUid;

    Bytes loadKeys{0xFF, 0x82, 0x00, keySlot, static_cast<unsigned char>(m1KeySize)};
    loadKeys.insert(loadKeys.end(), key, key + m1KeySize);
    Bytes response;
    uint16_t sw = 0;
    const Code loaded = exchange(channel, loadKeys, response, sw);
    if (loaded != Ok)
        return loaded;
    if (!isSuccess(sw))
        return UnacceptableStatusWord;

    const Bytes authenticate{0xFF,    0x86,   0x00, 0x00,
                             0x05,    0x01,   0x00, static_cast<unsigned char>(block),
                             keyCode, keySlot};
    const Code sent = exchange(channel, authenticate, response, sw);
    if (sent != Ok)
        return sent;
    if (isSuccess(sw))
        return Ok;
    // A sector the card does not have, e.g. sector 16 and up on a 1 KB card.
    if (isOutOfRange(sw))
        return M1BadSector;
    return M1WrongKey;
}

Code m1ReadBlock(Channel &channel, unsigned char block, Bytes &data)
{
    Bytes response;
    uint16_t sw = 0;
    const Code sent = exchange(channel, {0xFF, 0xB0, 0x00, block, m1BlockSize}, response, sw);
    if (sent != Ok)
        return sent;
    if (sw == 0x6982)
        return M1NotAuthenticated;
    if (isOutOfRange(sw))
        return M1BadBlock;
    if (!isSuccess(sw))
        return UnacceptableStatusWord;
    data = responseData(response);
    if (data.size() != m1BlockSize)
        return TransmissionError;
    return Ok;
}

Code m1WriteBlock(Channel &channel, unsigned char block, const unsigned char *data)
{
    Bytes command{0xFF, 0xD6, 0x00, block, m1BlockSize};
    command.insert(command.end(), data, data + m1BlockSize);
    Bytes response;
    uint16_t sw = 0;
    const Code sent = exchange(channel, command, response, sw);
    if (sent != Ok)
        return sent;
    switch (sw) {
    case 0x9000:
        return Ok;
    case 0x6982:
        return M1NotAuthenticated;
    case 0x6986:
        return M1ReadOnlyBlock;
    case 0x6A80:
        return M1BadAccessBits;
    case 0x6700:
        return M1BadLength;
    default:
        return isOutOfRange(sw) ? M1BadBlock : UnacceptableStatusWord;
    }
}

} // namespace device

// The M1 card operations: argument checks here, the storage-card commands in
// cardlogic.
#include "m1.h"
#include "buffers.h"
#include "operations.h"
#include "slots.h"

namespace device {

int64_t M1FindCard(unsigned char *uid, int64_t *uidLength)
{
    if (!deviceOpen())
        return NotOpen;
    if (!uid || !uidLength)
        return NullArgument;
    Bytes found;
    const Code result = m1FindCard(m1Channel(), found);
    if (result != Ok)
        return result;
    return copyReply(found, longestUid, uid, uidLength);
}

int64_t M1Authentication(unsigned char keyType, unsigned char sector, const unsigned char *key,
                         const unsigned char *uid)
{
    if (!deviceOpen())
        return NotOpen;
    if (!key || !uid)
        return NullArgument;
    return m1Authenticate(m1Channel(), keyType, sector, key, uid);
}

int64_t M1ReadBlock(unsigned char block, unsigned char *data, int64_t *dataLength)
{
    if (!deviceOpen())
        return NotOpen;
    if (!data || !dataLength)
        return NullArgument;
    Bytes read;
    const Code result = m1ReadBlock(m1Channel(), block, read);
    if (result != Ok)
        return result;
    return copyReply(read, m1BlockSize, data, dataLength);
}

int64_t M1WriteBlock(unsigned char block, int64_t dataLength, const unsigned char *data)
{
    if (!deviceOpen())
        return NotOpen;
    if (!data)
        return NullArgument;
    if (dataLength != static_cast<int64_t>(m1BlockSize))
        return M1BadLength;
    return m1WriteBlock(m1Channel(), block, data);
}

} // namespace device

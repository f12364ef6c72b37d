// Status words of response APDUs: pure helpers shared by the card logic.
#pragma once

#include "channel.h"

#include <cstdint>

namespace device {

// SW1 SW2 at the end of a response; 0 when the response is shorter than that.
inline uint16_t statusWord(const Bytes &response)
{
    if (response.size() < 2)
        return 0;
    return static_cast<uint16_t>(response[response.size() - 2] << 8 | response.back());
}

inline bool isSuccess(uint16_t sw)
{
    return sw == 0x9000;
}

// 61xx: the card holds data for GET RESPONSE.
inline bool hasMoreData(uint16_t sw)
{
    return sw >> 8 == 0x61;
}

// 6Cxx: the command must be sent again with Le xx.
inline bool isWrongLe(uint16_t sw)
{
    return sw >> 8 == 0x6C;
}

// The byte count in the low byte of 61xx and 6Cxx, where 00 stands for 256.
inline std::size_t lengthIn(uint16_t sw)
{
    const std::size_t low = sw & 0xFF;
    return low == 0 ? 256 : low;
}

// The data of a response, without its status word.
inline Bytes responseData(const Bytes &response)
{
    if (response.size() < 2)
        return {};
    return Bytes(response.begin(), response.end() - 2);
}

} // namespace device

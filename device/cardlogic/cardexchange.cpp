#include "cardexchange.h"
#include "channelresult.h"
#include "statusword.h"

namespace device {
namespace {
// A response of more than this is no answer a payment card gives.
constexpr std::size_t longestResponse = 4096;

Bytes getResponse(unsigned char length)
{
    return {0x00, 0xC0, 0x00, 0x00, length};
}

bool isWarning(uint16_t sw)
{
    return sw >> 8 == 0x62 || sw >> 8 == 0x63;
}
} // namespace

Bytes commandApdu(unsigned char cla, unsigned char ins, unsigned char p1, unsigned char p2,
                  const Bytes &data, bool expectsData)
{
    Bytes command{cla, ins, p1, p2};
    if (!data.empty()) {
        command.push_back(static_cast<unsigned char>(data.size()));
        command.insert(command.end(), data.begin(), data.end());
    }
    if (expectsData)
        command.push_back(0x00);
    return command;
}

Code CardExchange::start()
{
    Bytes atr;
    return start(atr);
}

Code CardExchange::start(Bytes &atr)
{
    m_resetWhenSilent = false;
    return codeOf(m_channel.powerOn(atr), NoCard);
}

Code CardExchange::resume(Bytes &atr)
{
    if (!m_channel.isPowered())
        return start(atr);
    if (m_channel.currentAtr(atr) != ChannelResult::Ok)
        atr.clear();
    m_resetWhenSilent = true;
    return Ok;
}

Code CardExchange::transmitOnce(const Bytes &command, Bytes &response)
{
    if (m_left <= 0)
        return TransmissionError;
    --m_left;
    ++m_sent;
    const Code result =
        codeOf(m_channel.transmit(command.data(), command.size(), response), NoCard);
    if (result == Ok && statusWord(response) == 0)
        return TransmissionError;
    return result;
}

Code CardExchange::transmit(const Bytes &command, Bytes &response)
{
    const Code result = transmitOnce(command, response);
    if (!m_resetWhenSilent)
        return result;
    m_resetWhenSilent = false;
    if (result == Ok)
        return Ok;
    // The card kept from an earlier operation does not answer: reset it.
    Bytes atr;
    if (const Code powered = codeOf(m_channel.powerOn(atr), NoCard); powered != Ok)
        return powered;
    return transmitOnce(command, response);
}

// Adds what the card holds for GET RESPONSE (61xx) to data; a 6Cxx answer to
// GET RESPONSE is asked again with that length.
Code CardExchange::collectResponses(uint16_t &sw, Bytes &data)
{
    Bytes response;
    while (hasMoreData(sw)) {
        if (const Code result = transmit(getResponse(sw & 0xFF), response); result != Ok)
            return result;
        sw = statusWord(response);
        if (isWrongLe(sw)) {
            if (const Code result = transmit(getResponse(sw & 0xFF), response); result != Ok)
                return result;
            sw = statusWord(response);
        }
        const Bytes part = responseData(response);
        if (data.size() + part.size() > longestResponse)
            return ReplyTooLong;
        data.insert(data.end(), part.begin(), part.end());
    }
    return Ok;
}

Code CardExchange::send(const Bytes &command, Bytes &data, uint16_t &sw)
{
    Bytes response;
    if (const Code result = transmit(command, response); result != Ok)
        return result;
    sw = statusWord(response);
    // Only a command that carries Le (case 2 or 4) can be sent again with
    // the length the card asks for.
    const bool carriesData = command.size() > 5 && command.size() >= 5u + command[4];
    const bool carriesLe =
        command.size() == 5 || (command.size() > 5 && command.size() == 6u + command[4]);
    if (isWrongLe(sw) && carriesLe) {
        Bytes again = command;
        again.back() = static_cast<unsigned char>(sw & 0xFF);
        if (const Code result = transmit(again, response); result != Ok)
            return result;
        sw = statusWord(response);
    }
    data = responseData(response);
    // A T=0 card answers a command that sends and expects data with a
    // warning alone and keeps the data for GET RESPONSE; the warning is the
    // command's status.
    if (isWarning(sw) && data.empty() && carriesData && carriesLe) {
        const uint16_t warning = sw;
        if (const Code result = transmit(getResponse(0x00), response); result != Ok)
            return result;
        uint16_t following = statusWord(response);
        if (isWrongLe(following)) {
            if (const Code result = transmit(getResponse(following & 0xFF), response); result != Ok)
                return result;
            following = statusWord(response);
        }
        if (isSuccess(following) || hasMoreData(following)) {
            data = responseData(response);
            if (const Code result = collectResponses(following, data); result != Ok)
                return result;
        }
        sw = warning;
        return Ok;
    }
    return collectResponses(sw, data);
}

} // namespace device

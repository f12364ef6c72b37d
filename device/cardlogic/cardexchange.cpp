#include "cardexchange.h"
#include "channelresult.h"
#include "statusword.h"

namespace device {
namespace {
// A response of more than this is no answer a payment card gives.
constexpr std::size_t longestResponse = 4096;
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
    return codeOf(m_channel.powerOn(atr), NoCard);
}

Code CardExchange::transmit(const Bytes &command, Bytes &response)
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

Code CardExchange::send(const Bytes &command, Bytes &data, uint16_t &sw)
{
    Bytes response;
    if (const Code result = transmit(command, response); result != Ok)
        return result;
    sw = statusWord(response);
    // Only a command that carries Le (case 2 or 4) can be sent again with
    // the length the card asks for.
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
    while (hasMoreData(sw)) {
        const Bytes getResponse{0x00, 0xC0, 0x00, 0x00, static_cast<unsigned char>(sw & 0xFF)};
        if (const Code result = transmit(getResponse, response); result != Ok)
            return result;
        sw = statusWord(response);
        const Bytes part = responseData(response);
        if (data.size() + part.size() > longestResponse)
            return ReplyTooLong;
        data.insert(data.end(), part.begin(), part.end());
    }
    return Ok;
}

} // namespace device

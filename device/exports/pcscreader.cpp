#include "pcscreader.h"
#include "channelresult.h"
#include "pcscreaders.h"

namespace device {

Code PcscReader::open(const std::string &selector, const std::string &extended)
{
    std::vector<PcscReaderState> readers;
    const ChannelResult listed = listReaders(m_context, readers);
    if (listed != ChannelResult::Ok)
        return codeOf(listed, NoCard);
    const int chosen = chooseReader(readers, selector);
    if (chosen < 0)
        return NoMatchingReader;
    m_card = std::make_unique<PcscChannel>(m_context, readers[chosen].name);
    const std::array<int, 3> psam = choosePsamReaders(readers, chosen, extended);
    for (std::size_t slot = 0; slot < psam.size(); ++slot) {
        if (psam[slot] >= 0)
            m_psam[slot] = std::make_unique<PcscChannel>(m_context, readers[psam[slot]].name);
    }
    const int contactless = chooseContactlessReader(readers, chosen, psam, extended);
    if (contactless >= 0)
        m_contactless = std::make_unique<PcscChannel>(m_context, readers[contactless].name);
    return Ok;
}

Code PcscReader::heartBeat()
{
    return codeOf(readerListed(m_context, m_card->readerName()), NoCard);
}

Code PcscReader::versions(std::string &firmware, std::string &hardware)
{
    PcscReaderInfo info;
    const ChannelResult read = readReaderInfo(m_context, m_card->readerName(), info);
    if (read != ChannelResult::Ok)
        return codeOf(read, NoCard);
    if (info.vendor.empty() && info.version.empty())
        firmware = "读卡器未报告厂商与固件版本";
    else
        firmware = (info.vendor.empty() ? std::string("厂商未报告") : info.vendor) + ' '
                   + (info.version.empty() ? std::string("版本未报告") : info.version);
    hardware = info.type.empty() ? std::string("读卡器未报告硬件型号") : info.type;
    return Ok;
}

void PcscReader::powerOff()
{
    if (m_card)
        m_card->powerOff();
    if (m_contactless)
        m_contactless->powerOff();
    for (auto &psam : m_psam) {
        if (psam)
            psam->powerOff();
    }
}

} // namespace device

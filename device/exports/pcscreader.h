// A PC/SC reader opened with OpenDevice("PCSC", selector, extended): the card
// in the chosen reader serves CPU slot 01, and slots 41, 42 and the M1 field
// unless the device shows its contactless interface as a reader of its own
// (pcscreaders.h, chooseContactlessReader); PSAM slots 11 to 13 are further
// readers (choosePsamReaders).
#pragma once

#include "errors.h"
#include "pcscchannel.h"

#include <array>
#include <memory>
#include <string>

namespace device {

class PcscReader
{
public:
    // Chooses the readers; nothing is connected until a card is powered on.
    Code open(const std::string &selector, const std::string &extended);

    PcscChannel &card() { return *m_card; }
    // The contactless interface: its own reader's card, or the main one.
    PcscChannel &contactless() { return m_contactless ? *m_contactless : *m_card; }
    // nullptr for a PSAM slot without a reader.
    PcscChannel *psam(int index) { return m_psam[index].get(); }

    // The diagnostics: the model is the reader's name, the firmware text the
    // vendor and version the driver reports, the heartbeat whether pcscd
    // still lists the reader.
    Code heartBeat();
    std::string model() const { return m_card->readerName(); }
    Code versions(std::string &firmware, std::string &hardware);

    void powerOff();

private:
    PcscContext m_context;
    std::unique_ptr<PcscChannel> m_card;
    std::unique_ptr<PcscChannel> m_contactless;
    std::array<std::unique_ptr<PcscChannel>, 3> m_psam;
};

} // namespace device

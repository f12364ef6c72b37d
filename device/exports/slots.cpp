#include "slots.h"
#include "operations.h"
#include "pcscreader.h"
#include "simulatedchannel.h"

#include <array>
#include <memory>
#include <utility>

namespace device {
namespace {

using sim::CardKind;

struct Slot
{
    unsigned char number;
    SimulatedChannel channel;
};

std::array<Slot, 6> &cpuSlots()
{
    static std::array<Slot, 6> slots{{
        {0x01, SimulatedChannel(sim::makeCard(CardKind::User))},
        {0x11, SimulatedChannel(sim::makeCard(CardKind::Psam1))},
        {0x12, SimulatedChannel(sim::makeCard(CardKind::Psam2))},
        {0x13, SimulatedChannel(sim::makeCard(CardKind::Psam3))},
        {0x41, SimulatedChannel(sim::makeCard(CardKind::UserTypeA))},
        {0x42, SimulatedChannel(sim::makeCard(CardKind::UserTypeB))},
    }};
    return slots;
}

SimulatedChannel &simulatedField()
{
    static SimulatedChannel field(sim::makeCard(CardKind::M1));
    return field;
}

std::unique_ptr<PcscReader> &openReader()
{
    static std::unique_ptr<PcscReader> reader;
    return reader;
}

Channel *pcscChannel(PcscReader &reader, unsigned char slot, Code &whyNone)
{
    switch (slot) {
    case 0x01:
        return &reader.card();
    case 0x41:
    case 0x42:
        return &reader.contactless();
    case 0x11:
    case 0x12:
    case 0x13:
        whyNone = NotSupportedByReader;
        return reader.psam(slot - 0x11);
    default:
        whyNone = CpuBadSlot;
        return nullptr;
    }
}

} // namespace

Channel *cpuChannel(unsigned char slot, Code &whyNone)
{
    if (PcscReader *reader = pcscReader())
        return pcscChannel(*reader, slot, whyNone);
    for (Slot &candidate : cpuSlots()) {
        if (candidate.number == slot)
            return &candidate.channel;
    }
    whyNone = CpuBadSlot;
    return nullptr;
}

Channel &m1Channel()
{
    if (PcscReader *reader = pcscReader())
        return reader->contactless();
    return simulatedField();
}

Code openPcscReader(const char *selector, const char *extended)
{
    auto reader = std::make_unique<PcscReader>();
    const Code opened = reader->open(selector, extended);
    if (opened == Ok)
        openReader() = std::move(reader);
    return opened;
}

void closePcscReader()
{
    openReader().reset();
}

PcscReader *pcscReader()
{
    return openReader().get();
}

void powerOffChannels()
{
    for (Slot &slot : cpuSlots())
        slot.channel.powerOff();
    simulatedField().powerOff();
    if (PcscReader *reader = pcscReader())
        reader->powerOff();
}

} // namespace device

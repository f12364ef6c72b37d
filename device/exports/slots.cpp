#include "slots.h"
#include "operations.h"
#include "simulatedchannel.h"

#include <array>
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

} // namespace

Channel *cpuChannel(unsigned char slot)
{
    for (Slot &candidate : cpuSlots()) {
        if (candidate.number == slot)
            return &candidate.channel;
    }
    return nullptr;
}

Channel &m1Channel()
{
    static SimulatedChannel field(sim::makeCard(CardKind::M1));
    return field;
}

void powerOffChannels()
{
    for (Slot &slot : cpuSlots())
        slot.channel.powerOff();
    m1Channel().powerOff();
}

} // namespace device

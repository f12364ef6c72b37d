#include "scenario.h"
#include "operations.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <chrono>
#include <cstring>
#include <thread>

namespace device::scenario {
namespace {

enum Word : unsigned {
    NoCardWord = 1u << 0,
    SlowWord = 1u << 1,
    RemovedWord = 1u << 2,
    UnplugWord = 1u << 3,
    BusyWord = 1u << 4,
};

const struct
{
    const char *name;
    Word word;
} words[] = {
    {"nocard", NoCardWord}, {"slow", SlowWord}, {"removed", RemovedWord},
    {"unplug", UnplugWord}, {"busy", BusyWord},
};

// The reader answers this many operations after opening, then is unplugged.
constexpr int callsBeforeUnplug = 3;

unsigned active = 0;
int callsSinceOpen = 0;
std::array<bool, static_cast<std::size_t>(Target::CpuCard) + 1> takenAway{};

bool on(Word word)
{
    return active & word;
}

bool isCard(Target target)
{
    return target >= Target::Identity;
}

// The swipe card leaves by itself; "removed" is about cards that stay put.
bool staysInReader(Target target)
{
    return isCard(target) && target != Target::Magstripe;
}

// The operations that bring card data back; the card leaves after the first.
bool readsCard(Operation operation)
{
    switch (operation) {
    case Operation::IdReadSn:
    case Operation::IdReadCard:
    case Operation::SdtReadCard:
    case Operation::IccGetCardInfo:
    case Operation::IccGetTrDetail:
    case Operation::IccGetLoadDetail:
    case Operation::SsseReadCard:
    case Operation::M1ReadBlock:
    case Operation::CpuApdu:
        return true;
    default:
        return false;
    }
}

// What each operation takes on a slow reader, in milliseconds. The swipe and
// the scan wait for their own timeout instead (awaitPresentation).
int slowMilliseconds(Operation operation)
{
    switch (operation) {
    case Operation::IdReadCard:
    case Operation::SdtReadCard:
        return 1000;
    case Operation::SsseReadCard:
        return 800;
    case Operation::IccGetCardInfo:
    case Operation::IccGetTrDetail:
    case Operation::IccGetLoadDetail:
        return 500;
    case Operation::IccGetARQC:
    case Operation::IccARPCExeScript:
        return 300;
    case Operation::IdReadSn:
    case Operation::CpuPowerOn:
        return 150;
    case Operation::MagRead:
    case Operation::MagWrite:
    case Operation::QrRead:
        return 0;
    default:
        return 30;
    }
}

bool &removedFrom(Target target)
{
    return takenAway[static_cast<std::size_t>(target)];
}

} // namespace

Code select(const char *extendPara)
{
    unsigned chosen = 0;
    const QList<QByteArray> parts =
        QByteArray(extendPara).replace(',', ' ').simplified().split(' ');
    for (const QByteArray &part : parts) {
        if (part.isEmpty())
            continue;
        const QByteArray name = part.toLower();
        unsigned found = 0;
        for (const auto &known : words) {
            if (name == known.name)
                found = known.word;
        }
        if (!found)
            return UnknownScenario;
        chosen |= found;
    }
    clear();
    active = chosen;
    return Ok;
}

void clear()
{
    active = 0;
    callsSinceOpen = 0;
    takenAway.fill(false);
}

bool applies()
{
    return deviceOpen() && active != 0;
}

Target targetOf(Operation operation)
{
    switch (operation) {
    case Operation::OpenDevice:
    case Operation::CloseDevice:
    case Operation::HexToAsc:
    case Operation::AscToHex:
        return Target::None;
    case Operation::TerminalGetModel:
    case Operation::TerminalGetFirmVersion:
    case Operation::TerminalHeartBeat:
        return Target::Reader;
    case Operation::SamGetStatus:
    case Operation::SamGetIdStr:
    case Operation::SdtSamGetStatus:
    case Operation::SdtSamGetIdStr:
        return Target::SecurityModule;
    case Operation::IdReadSn:
    case Operation::IdReadCard:
    case Operation::SdtReadCard:
        return Target::Identity;
    case Operation::IccGetCardInfo:
    case Operation::IccGetARQC:
    case Operation::IccARPCExeScript:
    case Operation::IccGetTrDetail:
    case Operation::IccGetLoadDetail:
        return Target::Bank;
    case Operation::SsseReadCard:
        return Target::SocialSecurity;
    case Operation::M1FindCard:
    case Operation::M1Authentication:
    case Operation::M1ReadBlock:
    case Operation::M1WriteBlock:
        return Target::M1;
    case Operation::MagRead:
    case Operation::MagWrite:
        return Target::Magstripe;
    case Operation::QrRead:
        return Target::Qr;
    case Operation::CpuPowerOn:
    case Operation::CpuApdu:
    case Operation::CpuPowerOff:
        return Target::CpuCard;
    }
    return Target::None;
}

// Slots 11 to 13 hold the PSAMs; a number that is no slot at all is left to
// the operation's own check.
Target cpuTarget(unsigned char slot)
{
    if (slot >= 0x11 && slot <= 0x13)
        return Target::Psam;
    return slot == 0x01 || slot == 0x41 || slot == 0x42 ? Target::CpuCard : Target::None;
}

Code before(Operation operation, Target target)
{
    if (target == Target::None)
        return Ok;
    if (on(UnplugWord) && ++callsSinceOpen > callsBeforeUnplug)
        return DeviceNotConnected;
    if (on(SlowWord))
        std::this_thread::sleep_for(std::chrono::milliseconds(slowMilliseconds(operation)));
    // The identity card is read through the security module as well.
    if (on(BusyWord)
        && (target == Target::SecurityModule || operation == Operation::IdReadCard
            || operation == Operation::SdtReadCard))
        return SecurityModuleBusy;
    if (on(NoCardWord) && isCard(target))
        return NoCard;
    if (on(RemovedWord) && staysInReader(target) && removedFrom(target))
        return CardRemoved;
    return Ok;
}

void after(Operation operation, Target target, int64_t result)
{
    if (on(RemovedWord) && result == Ok && staysInReader(target) && readsCard(operation))
        removedFrom(target) = true;
}

void awaitPresentation(unsigned char timeoutSeconds)
{
    if (applies() && on(SlowWord))
        std::this_thread::sleep_for(std::chrono::seconds(timeoutSeconds));
}

void explain(char *errorText, int64_t code)
{
    if (errorText)
        std::strcpy(errorText, describe(code));
}

} // namespace device::scenario

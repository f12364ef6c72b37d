// INTERIM, drop on merge: sim::makeCard for the CPU cards, wrapping today's
// command interpreter (apdu.h) until device/cards/ implements it. The ATRs are
// those of the simulated reader's slots 01, 41, 42 and 11-13. The M1 card has
// no APDU interface yet, so makeCard returns null for it.
#include "apdu.h"
#include "simulatedcard.h"

#include <random>

namespace sim {
namespace {

class InterimCpuCard : public SimulatedCard
{
public:
    InterimCpuCard(const CardFile &mf, Bytes atr) : m_mf(mf), m_atr(std::move(atr)) { reset(); }

    Bytes answerToReset() const override { return m_atr; }
    void reset() override { m_session = startSession(m_mf, m_random() | 1); }
    void powerOff() override { reset(); }
    Bytes respond(const unsigned char *command, std::size_t length) override
    {
        return sim::respond(m_session, command, length);
    }

private:
    const CardFile &m_mf;
    Bytes m_atr;
    CardSession m_session;
    std::mt19937_64 m_random{std::random_device{}()};
};

Bytes withText(Bytes prefix, const char *text)
{
    prefix.insert(prefix.end(), text, text + std::char_traits<char>::length(text));
    return prefix;
}

Bytes withCheckByte(Bytes atr)
{
    unsigned char check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i)
        check ^= atr[i];
    atr.push_back(check);
    return atr;
}

} // namespace

std::unique_ptr<SimulatedCard> makeCard(CardKind kind)
{
    switch (kind) {
    case CardKind::User:
        return std::make_unique<InterimCpuCard>(userCard(),
                                                withText({0x3B, 0x6C, 0x00, 0x00}, "SRCPU.SSC300"));
    case CardKind::UserTypeA:
        return std::make_unique<InterimCpuCard>(
            userCard(), withCheckByte(withText({0x3B, 0x8C, 0x80, 0x01}, "SRCPU.TYPEA1")));
    case CardKind::UserTypeB:
        return std::make_unique<InterimCpuCard>(
            userCard(), withCheckByte({0x3B, 0x88, 0x80, 0x01, 0x53, 0x52, 0x42, 0x31, 0x00, 0xB3,
                                       0x81, 0x71}));
    case CardKind::Psam1:
        return std::make_unique<InterimCpuCard>(psamCard(),
                                                withText({0x3B, 0x6B, 0x00, 0x00}, "SRPSAM-1.20"));
    case CardKind::Psam2:
        return std::make_unique<InterimCpuCard>(psamCard(),
                                                withText({0x3B, 0x6B, 0x00, 0x00}, "SRPSAM-2.20"));
    case CardKind::Psam3:
        return std::make_unique<InterimCpuCard>(psamCard(),
                                                withText({0x3B, 0x6B, 0x00, 0x00}, "SRPSAM-3.20"));
    case CardKind::M1:
        break;
    }
    return nullptr;
}

} // namespace sim

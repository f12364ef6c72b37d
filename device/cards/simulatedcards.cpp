// The cards of the simulated reader as SimulatedCard objects: the CPU cards
// run the card operating system of cardos.h, the M1 card is in m1card.cpp.
#include "cardos.h"
#include "m1card.h"
#include "paymentcards.h"
#include "simulatedcard.h"

#include <QRandomGenerator>

#include <cstring>

namespace sim {
namespace {

Bytes withAscii(Bytes prefix, const char *text)
{
    prefix.insert(prefix.end(), text, text + std::strlen(text));
    return prefix;
}

// Contactless ATRs end in a check byte: the XOR of every byte after TS.
Bytes withCheckByte(Bytes atr)
{
    unsigned char check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i)
        check ^= atr[i];
    atr.push_back(check);
    return atr;
}

// A CPU card: a file tree, the state of its payment applications (used only
// where the tree has them) and the session of the card operating system. A
// card that is not powered answers every command as the OS answers without a
// session.
class CpuCard : public SimulatedCard
{
public:
    CpuCard(Bytes atr, const CardFile &mf, std::vector<BankProfile> applications = {})
        : m_atr(std::move(atr)), m_mf(mf)
    {
        if (applications.empty())
            applications.push_back(userDebitProfile(false));
        for (BankProfile &profile : applications)
            m_banks.emplace_back(std::move(profile));
    }

    Bytes answerToReset() const override { return m_atr; }

    void reset() override
    {
        m_session = startSession(m_mf, QRandomGenerator::global()->generate64());
        m_session.banks = &m_banks;
        endTransactions();
    }

    void powerOff() override
    {
        m_session = CardSession();
        endTransactions();
    }

    Bytes respond(const unsigned char *command, std::size_t length) override
    {
        return sim::respond(m_session, command, length);
    }

private:
    void endTransactions()
    {
        for (BankApplication &bank : m_banks)
            bank.endTransaction();
    }

    Bytes m_atr;
    const CardFile &m_mf;
    CardSession m_session;
    // The payment applications' counters and logs outlive every session.
    std::vector<BankApplication> m_banks;
};

std::unique_ptr<SimulatedCard> paymentCard(Bytes atr, const PaymentCard &card)
{
    return std::make_unique<CpuCard>(std::move(atr), card.mf, card.applications);
}

} // namespace

std::unique_ptr<SimulatedCard> makeCard(CardKind kind)
{
    switch (kind) {
    case CardKind::User:
        return std::make_unique<CpuCard>(withAscii({0x3B, 0x6C, 0x00, 0x00}, "SRCPU.SSC300"),
                                         userCard());
    case CardKind::UserTypeA:
        return std::make_unique<CpuCard>(
            withCheckByte(withAscii({0x3B, 0x8C, 0x80, 0x01}, "SRCPU.TYPEA1")), userCard(),
            std::vector<BankProfile>{userDebitProfile(true)});
    case CardKind::UserTypeB:
        return std::make_unique<CpuCard>(
            withCheckByte({0x3B, 0x88, 0x80, 0x01, 0x53, 0x52, 0x42, 0x31, 0x00, 0xB3, 0x81, 0x71}),
            userCard(), std::vector<BankProfile>{userDebitProfile(true)});
    case CardKind::Psam1:
        return std::make_unique<CpuCard>(withAscii({0x3B, 0x6B, 0x00, 0x00}, "SRPSAM-1.20"),
                                         psamCard());
    case CardKind::Psam2:
        return std::make_unique<CpuCard>(withAscii({0x3B, 0x6B, 0x00, 0x00}, "SRPSAM-2.20"),
                                         psamCard());
    case CardKind::Psam3:
        return std::make_unique<CpuCard>(withAscii({0x3B, 0x6B, 0x00, 0x00}, "SRPSAM-3.20"),
                                         psamCard());
    case CardKind::M1:
        return std::make_unique<M1Card>();
    case CardKind::SocialSecurity:
        return std::make_unique<CpuCard>(withAscii({0x3B, 0x6C, 0x00, 0x00}, "SRCPU.SSC3R2"),
                                         socialSecurityCard());
    case CardKind::MultiApplication:
        return paymentCard(withAscii({0x3B, 0x6C, 0x00, 0x00}, "SRCPU.MULTI1"),
                           multiApplicationCard());
    case CardKind::QuickOnly:
        return paymentCard(withCheckByte(withAscii({0x3B, 0x8C, 0x80, 0x01}, "SRCPU.QPBOC1")),
                           quickOnlyCard());
    case CardKind::LongPdol:
        return paymentCard(withAscii({0x3B, 0x6C, 0x00, 0x00}, "SRCPU.LPDOL1"), longPdolCard());
    }
    return nullptr;
}

} // namespace sim

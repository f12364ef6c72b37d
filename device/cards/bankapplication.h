// The debit/electronic-cash application of the simulated user card: the state
// a payment application keeps across sessions (its counters, logs and
// electronic cash limits) and the commands it answers while it is selected.
//
// Its cryptograms are keyed digests of our own (HMAC-SHA-256 under one
// synthetic card key, first 8 bytes), not a card scheme's algorithm:
//   AC    = HMAC(key, "AC"   | CID | ATC | CDOL1 data [| CDOL2 data])
//   ARPC  = HMAC(key, "ARPC" | ARQC | ARC)
//   MAC   = HMAC(key, "MAC"  | ATC | ARQC | CLA INS P1 P2 | value), 4 bytes
// so that a tester holding the key can play the issuer.
#pragma once

#include "simulatedcard.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace sim {

// An application cryptogram of the simulated card for the data of its CDOLs.
Bytes simulatedCryptogram(unsigned char cid, uint16_t atc, const Bytes &cdolData);

// The ARPC the simulated card accepts for an ARQC and a two-byte response code.
Bytes simulatedArpc(const Bytes &arqc, const Bytes &responseCode);

// The MAC that ends the data of an issuer script command for this card.
Bytes simulatedScriptMac(uint16_t atc, const Bytes &arqc, const Bytes &header, const Bytes &value);

// What sets one simulated payment application apart from another.
struct BankProfile
{
    Bytes aid;
    const char *label = "DEBIT CARD";
    const char *pan = "6999002000123451";
    int priority = 1; // 87 in its FCI and directory entry; 0 for none
    Bytes pdol;       // empty: the user card's
    // The quick contactless flow (qPBOC): a GET PROCESSING OPTIONS whose
    // terminal transaction qualifiers (9F66) set byte 1 bit 6 is answered
    // with the ARQC.
    bool quickFlow = false;
    bool quickOnly = false;         // nothing but the quick flow: other GPOs get 6985
    bool refusesProcessing = false; // 6985 to every GET PROCESSING OPTIONS
};

// The user card's debit application; through a contactless interface it
// offers the quick flow as well.
BankProfile userDebitProfile(bool contactless);

// The application's FCI (answer to SELECT by its AID), its data records by
// short EF identifier, and the FCIs of the payment system directories.
Bytes bankApplicationFci(const BankProfile &profile = userDebitProfile(false));
std::vector<Bytes> bankRecords(unsigned char sfi,
                               const BankProfile &profile = userDebitProfile(false));
// A directory entry (61) for each application, in this order.
Bytes proximityDirectoryFci(const std::vector<BankProfile> &applications = {
                                userDebitProfile(false)}); // 2PAY.SYS.DDF01
Bytes paymentDirectoryFci();                               // 1PAY.SYS.DDF01, its directory in SFI 1
Bytes paymentDirectoryRecord(const std::vector<BankProfile> &applications = {
                                 userDebitProfile(false)});

class BankApplication
{
public:
    explicit BankApplication(BankProfile profile = userDebitProfile(false));

    // Forget the transaction in progress (a reset or power off).
    void endTransaction();

    // A command to the application while it is selected: the response data
    // and status word, or nothing for a command the file system answers
    // (SELECT, READ RECORD of the data files).
    std::optional<std::pair<Bytes, uint16_t>> respond(unsigned char cla, unsigned char ins,
                                                      unsigned char p1, unsigned char p2,
                                                      const Bytes &data);

private:
    std::pair<Bytes, uint16_t> getProcessingOptions(const Bytes &data);
    std::pair<Bytes, uint16_t> generateAc(unsigned char p1, const Bytes &data);
    std::pair<Bytes, uint16_t> externalAuthenticate(const Bytes &data);
    std::pair<Bytes, uint16_t> getData(uint16_t tag) const;
    std::pair<Bytes, uint16_t> putData(unsigned char p1, unsigned char p2, const Bytes &data);
    void logTransaction();

    BankProfile m_profile;
    uint16_t m_atc;
    uint16_t m_lastOnlineAtc;
    Bytes m_balance, m_balanceLimit, m_singleLimit;
    std::deque<Bytes> m_transactions, m_loads;

    // QuickDone: the quick flow's ARQC is out; the issuer's answer may come
    // with EXTERNAL AUTHENTICATE and scripts, but no GENERATE AC.
    enum class Step { Selected, Processing, ArqcSent, QuickDone, Completed };
    Step m_step = Step::Selected;
    Bytes m_cdol1Data, m_arqc;
    bool m_issuerAuthenticated = false;
    bool m_externalAuthenticateTried = false;
};

} // namespace sim

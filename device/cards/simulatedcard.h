// A simulated card: an object that answers command APDUs, and nothing else.
//
// The in-process channel of the simulated reader, the virtualcard program that
// serves a card to pcscd, the tests and the fuzz targets all talk to a card
// through this one interface, so a card behaves the same whichever of them
// carries its commands.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace sim {

using Bytes = std::vector<unsigned char>;

class SimulatedCard
{
public:
    virtual ~SimulatedCard() = default;

    // What the card answers to a reset. Contact cards answer an ISO 7816-3
    // ATR; contactless cards the ATR a PC/SC contactless reader builds for
    // them.
    virtual Bytes answerToReset() const = 0;

    // Power on or warm reset: the card starts a fresh session (selection,
    // authentication and held-back data are gone). What was written to the
    // card stays for the life of the object.
    virtual void reset() = 0;

    // Power off: the session ends as on reset; the data stays.
    virtual void powerOff() = 0;

    // Answers one command APDU of any length and content with a response
    // APDU: data, then SW1 SW2, so never fewer than two bytes. command may be
    // null when length is 0.
    virtual Bytes respond(const unsigned char *command, std::size_t length) = 0;
};

// The cards of the simulated reader.
enum class CardKind {
    User,      // CPU user card in the full-size contact slot
    UserTypeA, // the same card through the contactless interface, type A
    UserTypeB, // the same card through the contactless interface, type B
    Psam1,     // security modules in the three PSAM slots
    Psam2,
    Psam3,
    M1,               // 1 KB M1 card behind a PC/SC contactless reader: it answers
                      // the reader's storage-card commands (FF CA, FF 82, FF 86,
                      // FF B0, FF D6)
    SocialSecurity,   // CPU card of the third generation: social security only
    MultiApplication, // payment cards of paymentcards.h: several applications
    QuickOnly,        // (contact), the quick contactless flow only, a PDOL of
    LongPdol,         // 130 bytes (contact)
};

std::unique_ptr<SimulatedCard> makeCard(CardKind kind);

} // namespace sim

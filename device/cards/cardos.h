// The card operating system of the simulated CPU cards: a small ISO 7816-4
// command interpreter over a tree of files, with no I/O of its own.
//
// respond() takes one command APDU as raw bytes, in any length and with any
// content, and always answers a response APDU (data, then SW1 SW2). It is the
// part of the simulated reader that sees bytes typed by the operator, so it is
// kept free of the reader's state and reachable by tests and fuzz targets.
//
// Short APDUs only (Lc and Le of one byte). While a payment application is
// selected, its BankApplication answers GET PROCESSING OPTIONS, GENERATE AC,
// GET DATA (class 80), EXTERNAL AUTHENTICATE, PUT DATA with secure messaging
// (class 84) and READ RECORD of its log files. Commands of class 00:
//   SELECT (A4)        P1 00 MF/DF/EF by identifier (no data: the MF),
//                      01 child DF, 02 EF of the current DF, 03 parent DF,
//                      04 by DF name; P2 00 answers the FCI, 0C nothing.
//   READ RECORD (B2)   P2 bits 8-4 a short EF identifier (0: current EF),
//                      bits 3-1 100: record number P1, 000: first record
//                      whose identifier (its TLV tag) is P1 (6A86 from an
//                      EF that reads by number only).
//   GET CHALLENGE (84) Le 04 or 08.
//   GET RESPONSE (C0)  the data held back by the previous command.
// A command that produces data but carries no Le (as a T=0 terminal sends
// it) answers 61xx and holds the data for GET RESPONSE; any other command
// drops what was held. An Le of 00 accepts all the data there is; another Le
// that does not match the data answers 6Cxx with the right length, and the
// command then changes nothing, so that it can be sent again with that Le.
#pragma once

#include "bankapplication.h"
#include "cardbytes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<unsigned char>;

// One file of a card. A dedicated file (the MF, a DF or an application) has
// children; an elementary file holds records, each a simple-TLV whose tag is
// the record identifier.
struct CardFile
{
    bool dedicated = false;
    uint16_t id = 0;       // file identifier; 0 when the file has none
    Bytes name;            // DF name (AID); DFs only, may be empty
    std::string label;     // application label (FCI tag 50); DFs only
    unsigned char sfi = 0; // short EF identifier; EFs only, 0 when none
    std::vector<Bytes> records;
    std::vector<CardFile> children;
    Bytes fci;                     // DFs: answered to SELECT instead of the built FCI
    bool payment = false;          // the DF of a payment application (BankApplication)
    unsigned char application = 0; // payment DFs: which of the card's applications
    bool byNumberOnly = false;     // EFs: READ RECORD by identifier answers 6A86
};

// What the card remembers between two commands while it is powered.
struct CardSession
{
    const CardFile *mf = nullptr;
    const CardFile *currentDf = nullptr;
    const CardFile *currentEf = nullptr;
    Bytes heldBack;                  // for GET RESPONSE
    uint64_t randomState = 1;        // GET CHALLENGE; never 0
    // The card's payment applications; a DF marked payment is answered by
    // the one its application number names.
    std::vector<BankApplication> *banks = nullptr;
};

// A session on a freshly reset card: the MF selected, nothing held back.
CardSession startSession(const CardFile &mf, uint64_t seed);

// Runs one command and returns the response APDU (at most 256 data bytes and
// the status word). command may be null when length is 0.
Bytes respond(CardSession &session, const unsigned char *command, std::size_t length);

// The status word at the end of a response.
uint16_t statusWord(const Bytes &response);

// The simulated cards. The user card (full-size slot and both contactless
// interfaces) carries a social security application with its holder file
// EF06 (SFI 08), the card file EF05 under the MF and a debit application; the
// PSAM carries its own application. The third-generation social security card
// keeps EF05 and EF06 inside its application, without short identifiers, and
// reads records by number only.
const CardFile &userCard();
const CardFile &psamCard();
const CardFile &socialSecurityCard();

} // namespace sim

// The terminal side of bank chip cards (debit/credit and electronic cash
// applications) over a channel, in the steps a terminal takes:
//   bankselection.cpp   the candidate list and the choice of an application
//   bankprocessing.cpp  GET PROCESSING OPTIONS, records, data objects, the
//                       terminal's own data (bankterminal.cpp)
//   bankonline.cpp      cryptograms (GENERATE AC, or the contactless GPO's),
//                       issuer authentication, scripts, the second GENERATE AC
//   banklog.cpp         the transaction and load logs
// Texts come back in the forms of the bank operations; exports/bank.cpp
// checks arguments and copies them out.
#pragma once

#include "bankcard.h"
#include "channel.h"
#include "dol.h"
#include "errors.h"

#include <cstdint>
#include <map>
#include <string>

namespace device {

// Every operation sends at most this many commands (GET RESPONSE included)
// and reads at most this many records, whatever the card asks for.
constexpr int mostCommandsPerOperation = 96;
constexpr int mostRecordsPerOperation = 64;

// Which interface carries the card. The contact flow selects by PSE, PPSE,
// then by the list of AIDs and asks GENERATE AC for its cryptograms; the
// contactless flow selects by PPSE, then by the list, and announces the quick
// flow (qPBOC), in which GET PROCESSING OPTIONS answers with the cryptogram.
// ByAnswerToReset takes a PC/SC contactless ATR (3B 8n 80 01 ...) for the
// contactless interface and any other for the contact one.
enum class CardInterface { Contact, Contactless, ByAnswerToReset };

// Card data for tag letters, in the element form. The terminal's letters P
// to W come from terminal, the last transaction data (or the defaults).
Code readBankCardData(Channel &channel, const sim::BankElements &terminal,
                      const QByteArray &letters, std::string &text,
                      CardInterface interface = CardInterface::Contact);

// A transaction waiting for the issuer's answer.
struct OnlineTransaction
{
    Channel *channel = nullptr;
    std::uint64_t session = 0; // the channel's session when the ARQC came
    QByteArray txData;
    std::string arqc, trAppData;
    Bytes aip;
    Dol cdol2;
    bool quick = false;            // the ARQC came with the processing options (qPBOC)
    std::map<Tag, Bytes> terminal; // the values sent with CDOL1, TVR and TSI
};

// The ARQC: GENERATE AC on the contact flow, the processing options on the
// quick contactless flow. transaction is filled when Ok.
Code requestArqc(Channel &channel, const QByteArray &txData, const sim::BankElements &elements,
                 OnlineTransaction &transaction, CardInterface interface = CardInterface::Contact);

// The issuer's answer to the card: EXTERNAL AUTHENTICATE, the scripts of
// template 71, the second GENERATE AC (TC only for an approval that the card
// authenticated), the scripts of template 72. BadArpc and NoPendingArqc leave
// the card untouched; IssuerDeclined when the response code is not an
// approval (00, 10, 11). After a quick contactless ARQC there is no second
// GENERATE AC: tc stays empty.
Code completeOnline(OnlineTransaction &transaction, const QByteArray &arpcText,
                    std::string &scriptResult, std::string &tc);

// The transaction log or the load log, one line per record, newest first;
// lines that would take the text to capacity bytes or more are left out.
Code readBankLog(Channel &channel, bool loads, std::size_t capacity, std::string &text,
                 CardInterface interface = CardInterface::Contact);

// The text of one log record in a log format (exposed for tests and fuzzing):
// the known values in a fixed order, others as tag and hexadecimal.
std::optional<std::string> logLine(int number, const Dol &format, const Bytes &record);

} // namespace device

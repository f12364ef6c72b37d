// The terminal side of bank chip cards (debit/credit and electronic cash
// applications) over a channel: application selection, GET PROCESSING
// OPTIONS, READ RECORD, GET DATA, GENERATE AC, issuer authentication and
// scripts, and the logs. Texts come back in the forms of the bank operations;
// exports/bank.cpp checks arguments and copies them out.
#pragma once

#include "bankcard.h"
#include "channel.h"
#include "dol.h"
#include "errors.h"

#include <map>
#include <string>

namespace device {

// Every operation sends at most this many commands (GET RESPONSE included)
// and reads at most this many records, whatever the card asks for.
constexpr int mostCommandsPerOperation = 96;
constexpr int mostRecordsPerOperation = 64;

// Card data for tag letters, in the element form. The terminal's letters P
// to W come from terminal, the last transaction data (or the defaults).
Code readBankCardData(Channel &channel, const sim::BankElements &terminal,
                      const QByteArray &letters, std::string &text);

// A transaction waiting for the issuer's answer.
struct OnlineTransaction
{
    Channel *channel = nullptr;
    QByteArray txData;
    std::string arqc, trAppData;
    Bytes aip;
    Dol cdol2;
    std::map<Tag, Bytes> terminal; // the values sent with CDOL1
};

// GENERATE AC asking for an ARQC. transaction is filled when Ok.
Code requestArqc(Channel &channel, const QByteArray &txData, const sim::BankElements &elements,
                 OnlineTransaction &transaction);

// The issuer's answer (ARPC, response code, scripts) to the card, then the
// second GENERATE AC. BadArpc leaves the card untouched.
Code completeOnline(OnlineTransaction &transaction, const QByteArray &arpcText,
                    std::string &scriptResult, std::string &tc);

// The transaction log or the load log, one line per record, newest first;
// lines that would take the text to capacity bytes or more are left out.
Code readBankLog(Channel &channel, bool loads, std::size_t capacity, std::string &text);

// The text of one log record in a log format (exposed for tests and fuzzing):
// the known values in a fixed order, others as tag and hexadecimal.
std::optional<std::string> logLine(int number, const Dol &format, const Bytes &record);

} // namespace device

// What the terminal knows and sends in the bank card flow: the letters of the
// card data and their forms, the transaction's data objects (the terminal's
// table, the transaction data, TVR and TSI), and small conversions shared by
// the steps of the flow.
#pragma once

#include "bank.h"
#include "tlv.h"

#include <QString>

#include <map>
#include <string>

namespace device::payment {

// How each letter's value is written in the element form.
enum class Form {
    Digits, // numeric or compressed numeric: the digits without F padding
    Hex,    // binary: upper-case hexadecimal
    Text,   // text: GB18030 (ASCII included) without trailing blanks or zeros
    Terminal,
};

struct Letter
{
    char letter;
    Tag tag;
    Form form;
};

// The letter of IccGetCardInfo, or nullptr for one that names nothing.
const Letter *letterOf(char letter);

// The terminal's value of one of the letters P to W: the transaction data's,
// else the default.
QString terminalValue(const sim::BankElements &transaction, char letter);

// The data objects of a transaction: P to W in their formats, the terminal's
// table (its transaction qualifiers announce the quick flow on the
// contactless interface), TVR, TSI and a fresh unpredictable number.
std::map<Tag, Bytes> transactionObjects(const sim::BankElements &transaction, bool contactless);

// Terminal verification results (95) and transaction status information (9B):
// byte index and bit of what the terminal records.
constexpr Tag tvrTag = 0x95, tsiTag = 0x9B;
struct Flag
{
    Tag tag;
    std::size_t byte;
    unsigned char bit;
};
constexpr Flag noOfflineAuthentication{tvrTag, 0, 0x80};
constexpr Flag issuerAuthenticationFailed{tvrTag, 4, 0x40};
constexpr Flag scriptFailedBeforeLastAc{tvrTag, 4, 0x20};
constexpr Flag scriptFailedAfterLastAc{tvrTag, 4, 0x10};
constexpr Flag issuerAuthenticationPerformed{tsiTag, 0, 0x10};
constexpr Flag scriptProcessingPerformed{tsiTag, 0, 0x04};
void raise(std::map<Tag, Bytes> &objects, Flag flag);

// A DOL filled from the objects; unknown tags get zeros.
Bytes fillFrom(const Dol &dol, const std::map<Tag, Bytes> &objects);

// Every primitive object in data and the templates within, the first of a
// repeated tag kept. False when data is not well formed.
bool collect(const Bytes &data, std::map<Tag, Bytes> &objects, int depth = 0);

Bytes fromHex(const QByteArray &hex);
Bytes fromAscii(const char *text);
std::string hexOf(const Bytes &data);
QString digitsOf(const Bytes &data);
QString valueText(Form form, const Bytes &data);

constexpr int deepestTemplate = 8;

} // namespace device::payment

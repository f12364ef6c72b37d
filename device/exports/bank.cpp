// The bank chip card and social security operations: argument checks here,
// the terminal flow in cardlogic/bank.cpp and cardlogic/ssse.cpp.
//
// The first argument of the bank operations chooses the card's interface:
// 1 the contact slot (01), 2 the contact slot and, without a card there, the
// contactless field (41, then 42), 3 the contactless field only. The program
// passes 2. Other values are refused.
#include "bank.h"
#include "buffers.h"
#include "gb18030.h"
#include "operations.h"
#include "slots.h"
#include "ssse.h"

#include <algorithm>

#include <optional>
#include <vector>

namespace device {
namespace {

struct TerminalState
{
    sim::BankElements lastTransaction; // the terminal's letters P to W
    std::optional<OnlineTransaction> pending;
};

TerminalState &terminal()
{
    static TerminalState state;
    return state;
}

struct BankChannel
{
    Channel *channel;
    CardInterface interface;
};

// The channels an interface argument names, each with the flow its card
// gets: the contact slot the contact flow (under argument 2 the contactless
// one when a PC/SC card shows a contactless ATR there), slots 41 and 42 the
// contactless flow.
std::vector<BankChannel> bankChannels(int kind)
{
    std::vector<unsigned char> slotNumbers;
    if (kind == 1)
        slotNumbers = {0x01};
    else if (kind == 2)
        slotNumbers = {0x01, 0x41, 0x42};
    else if (kind == 3)
        slotNumbers = {0x41, 0x42};
    std::vector<BankChannel> channels;
    // A PC/SC reader with one card for all three slots tries it once.
    for (unsigned char slot : slotNumbers) {
        Code missing = Ok;
        Channel *channel = cpuChannel(slot, missing);
        const bool known =
            std::any_of(channels.begin(), channels.end(),
                        [channel](const BankChannel &c) { return c.channel == channel; });
        if (!channel || known)
            continue;
        const CardInterface interface = slot != 0x01 ? CardInterface::Contactless
                                        : kind == 2  ? CardInterface::ByAnswerToReset
                                                     : CardInterface::Contact;
        channels.push_back({channel, interface});
    }
    return channels;
}

// Runs the operation on the first channel of the interface that has a card.
template <typename Operation> Code onCard(int kind, Operation operation)
{
    const std::vector<BankChannel> channels = bankChannels(kind);
    if (channels.empty())
        return BadArgument;
    Code result = NoCard;
    for (const BankChannel &channel : channels) {
        result = operation(*channel.channel, channel.interface);
        if (result != NoCard)
            break;
    }
    return result;
}

// Every operation but the script starts a new session on the card, which
// ends the transaction an ARQC began.
void forgetPendingTransaction()
{
    terminal().pending.reset();
}

int64_t readLog(int kind, char *log, bool loads)
{
    if (!deviceOpen())
        return NotOpen;
    if (!log)
        return NullArgument;
    std::string text;
    const Code result = onCard(kind, [&](Channel &channel, CardInterface interface) {
        return readBankLog(channel, loads, textBufferSize, text, interface);
    });
    forgetPendingTransaction();
    if (result != Ok)
        return result;
    return copyText(text, log, BankReplyTooLong);
}

} // namespace

void resetBankCard()
{
    terminal() = TerminalState();
}

int64_t IccGetCardInfo(int kind, const char *, const char *tags, char *cardData)
{
    if (!deviceOpen())
        return NotOpen;
    if (!tags || !cardData)
        return NullArgument;
    const QByteArray letters(tags);
    if (letters.isEmpty())
        return BadArgument;
    std::string text;
    const Code result = onCard(kind, [&](Channel &channel, CardInterface interface) {
        return readBankCardData(channel, terminal().lastTransaction, letters, text, interface);
    });
    forgetPendingTransaction();
    if (result != Ok)
        return result;
    return copyText(text, cardData, BankReplyTooLong);
}

int64_t IccGetARQC(int kind, const char *txData, const char *, char *arqc, char *trAppData)
{
    if (!deviceOpen())
        return NotOpen;
    if (!txData || !arqc || !trAppData)
        return NullArgument;
    const QByteArray text(txData);
    const std::optional<sim::BankElements> elements = sim::parseBankElements(text);
    if (!elements || !sim::isUsableTransaction(*elements))
        return BadTransactionData;
    OnlineTransaction transaction;
    const Code result = onCard(kind, [&](Channel &channel, CardInterface interface) {
        return requestArqc(channel, text, *elements, transaction, interface);
    });
    forgetPendingTransaction();
    if (result != Ok)
        return result;
    if (transaction.arqc.size() >= textBufferSize || transaction.trAppData.size() >= textBufferSize)
        return BankReplyTooLong;
    copyText(transaction.arqc, arqc, BankReplyTooLong);
    copyText(transaction.trAppData, trAppData, BankReplyTooLong);
    terminal().lastTransaction = *elements;
    terminal().pending = std::move(transaction);
    return Ok;
}

int64_t IccARPCExeScript(int kind, const char *txData, const char *arpc, const char *trAppData,
                         char *scriptResult, char *tc)
{
    if (!deviceOpen())
        return NotOpen;
    if (!txData || !arpc || !trAppData || !scriptResult || !tc)
        return NullArgument;
    if (bankChannels(kind).empty())
        return BadArgument;
    std::optional<OnlineTransaction> &pending = terminal().pending;
    if (!pending)
        return NoPendingArqc;
    if (QByteArray(txData) != pending->txData)
        return TransactionDataMismatch;
    if (std::string(trAppData) != pending->trAppData)
        return TrAppDataMismatch;
    const QByteArray response = QByteArray(arpc).toUpper();
    if (!sim::isWellFormedArpc(response))
        return BadArpc;
    std::string results, certificate;
    const Code result = completeOnline(*pending, response, results, certificate);
    if (result == BadArpc)
        return result;
    // The card has had its answer: the transaction is over either way.
    pending.reset();
    if (result != Ok)
        return result;
    if (results.size() >= textBufferSize || certificate.size() >= textBufferSize)
        return BankReplyTooLong;
    copyText(results, scriptResult, BankReplyTooLong);
    copyText(certificate, tc, BankReplyTooLong);
    return Ok;
}

int64_t IccGetTrDetail(int kind, const char *, char *log, int)
{
    return readLog(kind, log, false);
}

int64_t IccGetLoadDetail(int kind, const char *, char *log, int)
{
    return readLog(kind, log, true);
}

namespace {

int64_t refuse(int64_t code, char *errorText, const QString &explanation = QString())
{
    if (errorText) {
        const QByteArray text =
            explanation.isEmpty() ? QByteArray(describe(code)) : explanation.toUtf8();
        copyTextCut(text.toStdString(), errorText);
    }
    return code;
}

} // namespace

// Kinds 1 to 3 read a card of the first, second or third generation; the
// same files are read for each. The card is the user card in the contact
// slot (01).
int64_t SsseReadCard(int kind, char *record, char *errorText, int)
{
    if (!deviceOpen())
        return refuse(NotOpen, errorText);
    if (!record || !errorText)
        return refuse(NullArgument, errorText);
    if (kind < 1 || kind > 3)
        return refuse(BadArgument, errorText);
    if (!gb18030Available())
        return refuse(NotSupported, errorText);
    Code missing = Ok;
    Channel *channel = cpuChannel(0x01, missing);
    if (!channel)
        return refuse(missing, errorText);
    QStringList fields;
    QString problem;
    const Code result = readSocialSecurityCard(*channel, fields, problem);
    forgetPendingTransaction();
    if (result != Ok)
        return refuse(result, errorText, problem);
    copyTextCut(toGb18030(fields.join(QLatin1Char(':'))).toStdString(), record);
    return Ok;
}

} // namespace device

// The bank chip card of the simulated reader.
//
// One synthetic debit card with electronic cash. It answers card data by tag
// letter in the element form of the transaction data, generates an ARQC over
// the transaction data, completes the transaction with a TC once the issuer's
// ARPC comes back with the same transaction application data, and keeps a
// transaction log (which the completed transactions join) and a load log.
// Every name, number and key here is made up for the simulator.
#include "bankcard.h"
#include "operations.h"

#include <QList>
#include <QMessageAuthenticationCode>
#include <QVector>

#include <cctype>
#include <cstring>
#include <deque>
#include <optional>

using namespace device;

namespace sim {

bool isBankTag(char letter)
{
    return (letter >= 'A' && letter <= 'G') || (letter >= 'I' && letter <= 'L')
           || (letter >= 'O' && letter <= 'W');
}

std::optional<BankElements> parseBankElements(const QByteArray &utf8)
{
    // Qt 6 keeps a zero byte through the round trip below, Qt 5 stops there.
    if (utf8.contains('\0'))
        return std::nullopt;
    const QString text = QString::fromUtf8(utf8);
    // Invalid sequences or a byte order mark do not survive the round trip;
    // such text is not transaction data.
    if (text.toUtf8() != utf8)
        return std::nullopt;
    const QVector<uint> chars = text.toUcs4();
    const int size = chars.size();
    BankElements elements;
    int at = 0;
    while (at < size) {
        if (size - at < 4 || chars[at] > 0x7F || !isBankTag(static_cast<char>(chars[at])))
            return std::nullopt;
        int length = 0;
        for (int i = 1; i <= 3; ++i) {
            const uint digit = chars[at + i];
            if (digit < '0' || digit > '9')
                return std::nullopt;
            length = length * 10 + static_cast<int>(digit - '0');
        }
        const char tag = static_cast<char>(chars[at]);
        at += 4;
        if (size - at < length)
            return std::nullopt;
        elements.push_back(
            {tag, QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + at),
                                    length)});
        at += length;
    }
    return elements;
}

std::optional<QByteArray> formatBankElements(const BankElements &elements)
{
    QByteArray text;
    for (const BankElement &element : elements) {
        const int length = element.value.toUcs4().size();
        if (!isBankTag(element.tag) || length > maxElementLength)
            return std::nullopt;
        text += element.tag;
        text += QByteArray::number(length).rightJustified(3, '0');
        text += element.value.toUtf8();
    }
    return text;
}

namespace {

// Digits required by the terminal's numeric fields; -1 for free text.
int fixedDigits(char tag)
{
    switch (tag) {
    case 'P':
    case 'Q':
        return 12;
    case 'R':
    case 'V':
        return 4;
    case 'S':
    case 'U':
        return 6;
    case 'T':
        return 2;
    default:
        return -1;
    }
}

bool isDecimal(const QString &text)
{
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool isHex(const QByteArray &text)
{
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

} // namespace

bool isUsableTransaction(const BankElements &elements)
{
    if (elements.empty())
        return false;
    bool seen[128] = {};
    for (const BankElement &element : elements) {
        const auto tag = static_cast<unsigned char>(element.tag);
        if (tag >= sizeof seen || seen[tag])
            return false;
        seen[tag] = true;
        const int digits = fixedDigits(element.tag);
        if (digits >= 0 && (element.value.size() != digits || !isDecimal(element.value)))
            return false;
    }
    return true;
}

bool isWellFormedArpc(const QByteArray &arpc)
{
    return (arpc.size() == 16 || arpc.size() == 20) && isHex(arpc);
}

QByteArray simulatedCryptogram(const QByteArray &purpose, const QByteArray &input)
{
    // Not the card scheme's algorithm: a keyed digest that is deterministic
    // and changes with every input byte is all the simulation needs.
    static const QByteArray cardKey = QByteArrayLiteral("simulated card master key 7f3a91");
    const QByteArray message = purpose + '\0' + input;
    return QMessageAuthenticationCode::hash(message, cardKey, QCryptographicHash::Sha256)
        .left(8)
        .toHex()
        .toUpper();
}

namespace {

// Every text goes into a caller's buffer of 4096 bytes with its zero byte.
constexpr int replyCapacity = 4096;

int64_t writeReply(char *buffer, const QByteArray &text)
{
    if (text.size() >= replyCapacity)
        return BankReplyTooLong;
    std::memcpy(buffer, text.constData(), static_cast<std::size_t>(text.size()));
    buffer[text.size()] = '\0';
    return Ok;
}

struct TagValue
{
    char tag;
    const char *value;
};

// What the card itself holds. O, the last online transaction counter, is
// state; P to W are the terminal's data of the latest transaction.
const TagValue cardValues[] = {
    {'A', "6999002000123451"},
    {'B', "陈思远"},
    {'C', "00"},
    {'D', "990106198807150034"},
    {'E', "000000012345"},
    {'F', "000000100000"},
    {'G', "000000050000"},
    {'I', "301231"},
    {'J', "01"},
    {'K', "6999002000123451=30122201234567800000"},
    {'L', "B6999002000123451^CHEN/SIYUAN^30122200000000000000"},
};

// The terminal's values until a transaction data element replaces them.
const TagValue terminalDefaults[] = {
    {'P', "000000000000"}, {'Q', "000000000000"}, {'R', "0156"}, {'S', "180101"},
    {'T', "01"},           {'U', "010101"},       {'V', "0156"}, {'W', "模拟便利店"},
};

QString heldValue(char tag)
{
    for (const TagValue &entry : cardValues) {
        if (entry.tag == tag)
            return QString::fromUtf8(entry.value);
    }
    return QString();
}

QString terminalValue(const BankElements &transaction, char tag)
{
    for (const BankElement &element : transaction) {
        if (element.tag == tag)
            return element.value;
    }
    for (const TagValue &entry : terminalDefaults) {
        if (entry.tag == tag)
            return QString::fromUtf8(entry.value);
    }
    return QString();
}

QByteArray counterText(quint16 counter)
{
    return QByteArray::number(counter, 16).rightJustified(4, '0').toUpper();
}

struct Transaction
{
    QString date, time, type, amount, otherAmount, currency, country, merchant;
    quint16 atc;
};

struct Load
{
    const char *date, *time, *before, *after;
    quint16 atc;
};

// The electronic cash loads; the last one leaves the balance of tag E.
const Load loads[] = {
    {"260302", "101522", "000000002345", "000000012345", 0x0011},
    {"260118", "163040", "000000000845", "000000005845", 0x000C},
    {"251205", "090311", "000000001200", "000000006200", 0x0008},
    {"251020", "141859", "000000000000", "000000003000", 0x0003},
};

Transaction loggedTransaction(const BankElements &data, quint16 atc)
{
    return {terminalValue(data, 'S'), terminalValue(data, 'U'), terminalValue(data, 'T'),
            terminalValue(data, 'P'), terminalValue(data, 'Q'), terminalValue(data, 'R'),
            terminalValue(data, 'V'), terminalValue(data, 'W'), atc};
}

std::deque<Transaction> initialTransactions()
{
    const auto record = [](const char *date, const char *time, const char *type, const char *amount,
                           const char *merchant, quint16 atc) {
        return Transaction{
            QString::fromUtf8(date),   QString::fromUtf8(time),        QString::fromUtf8(type),
            QString::fromUtf8(amount), QStringLiteral("000000000000"), QStringLiteral("0156"),
            QStringLiteral("0156"),    QString::fromUtf8(merchant),    atc};
    };
    return {
        record("260309", "184512", "00", "000000008650", "模拟便利店", 0x0012),
        record("260228", "121004", "00", "000000003200", "云杉咖啡馆", 0x0010),
        record("260214", "200133", "00", "000000025800", "青禾超市", 0x000F),
        record("260130", "083742", "01", "000000100000", "模拟银行自助设备", 0x000E),
        record("260121", "152617", "00", "000000001850", "模拟便利店", 0x000D),
    };
}

constexpr quint16 initialCounter = 0x0012;
constexpr std::size_t transactionLogSize = 10;

// An ARQC waiting for the issuer's answer.
struct PendingArqc
{
    QByteArray txData;
    QByteArray trAppData;
    QByteArray arqc;
    BankElements elements;
    quint16 atc;
};

struct BankCard
{
    quint16 atc = initialCounter;
    quint16 lastOnlineAtc = initialCounter;
    BankElements lastTransaction;
    std::optional<PendingArqc> pending;
    std::deque<Transaction> transactions = initialTransactions();
};

BankCard &card()
{
    static BankCard state;
    return state;
}

QString cardValue(const BankCard &state, char tag)
{
    if (tag == 'O')
        return QString::fromLatin1(counterText(state.lastOnlineAtc));
    if (tag >= 'P')
        return terminalValue(state.lastTransaction, tag);
    return heldValue(tag);
}

QByteArray tlv(const char *tag, const QByteArray &value)
{
    return tag + QByteArray::number(value.size() / 2, 16).rightJustified(2, '0').toUpper() + value;
}

// The data the issuer needs to check the ARQC, as the hexadecimal text of
// EMV-style tag-length-value objects.
QByteArray applicationData(const BankElements &data, const QByteArray &arqc, quint16 atc,
                           const QByteArray &txData)
{
    const auto terminal = [&data](char tag) { return terminalValue(data, tag).toLatin1(); };
    const QByteArray unpredictable = simulatedCryptogram("UN", counterText(atc) + txData).left(8);
    return tlv("9F26", arqc) + tlv("9F27", "80") + tlv("9F10", "07010103A0A802010A0100000000")
           + tlv("9F37", unpredictable) + tlv("9F36", counterText(atc)) + tlv("95", "0000000000")
           + tlv("9A", terminal('S')) + tlv("9C", terminal('T')) + tlv("9F02", terminal('P'))
           + tlv("5F2A", terminal('R')) + tlv("82", "7C00") + tlv("9F1A", terminal('V'))
           + tlv("9F03", terminal('Q')) + tlv("9F33", "E0E1C8");
}

QByteArray transactionLine(int number, const Transaction &t)
{
    return QString(QString::number(number) + QStringLiteral(". 日期 ") + t.date
                   + QStringLiteral("  时间 ") + t.time + QStringLiteral("  类型 ") + t.type
                   + QStringLiteral("  授权金额 ") + t.amount + QStringLiteral("  其它金额 ")
                   + t.otherAmount + QStringLiteral("  货币 ") + t.currency
                   + QStringLiteral("  国家 ") + t.country + QStringLiteral("  商户 ") + t.merchant
                   + QStringLiteral("  ATC ") + QString::fromLatin1(counterText(t.atc)))
        .toUtf8();
}

QByteArray loadLine(int number, const Load &load)
{
    return QString(QString::number(number) + QStringLiteral(". 日期 ") + QLatin1String(load.date)
                   + QStringLiteral("  时间 ") + QLatin1String(load.time)
                   + QStringLiteral("  圈存前余额 ") + QLatin1String(load.before)
                   + QStringLiteral("  圈存后余额 ") + QLatin1String(load.after)
                   + QStringLiteral("  ATC ") + QString::fromLatin1(counterText(load.atc)))
        .toUtf8();
}

// Records one per line, newest first; older records that would not fit the
// caller's buffer are left out.
QByteArray logText(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines) {
        const QByteArray next = text.isEmpty() ? line : text + "\r\n" + line;
        if (next.size() >= replyCapacity)
            break;
        text = next;
    }
    return text;
}

} // namespace
} // namespace sim

// The operations the exports call.
namespace device {
using namespace sim;

void resetBankCard()
{
    card() = BankCard();
}

int64_t IccGetCardInfo(int, const char *, const char *tags, char *cardData)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    if (!tags || !cardData)
        return NullArgument;
    const QByteArray letters(tags);
    if (letters.isEmpty())
        return BadArgument;
    BankElements elements;
    for (char letter : letters) {
        if (!isBankTag(letter))
            return UnknownTag;
        elements.push_back({letter, cardValue(card(), letter)});
    }
    const std::optional<QByteArray> text = formatBankElements(elements);
    return text ? writeReply(cardData, *text) : BankReplyTooLong;
}

int64_t IccGetARQC(int, const char *txData, const char *, char *arqc, char *trAppData)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    if (!txData || !arqc || !trAppData)
        return NullArgument;
    const QByteArray text(txData);
    const std::optional<BankElements> elements = parseBankElements(text);
    if (!elements || !isUsableTransaction(*elements))
        return BadTransactionData;

    BankCard &state = card();
    const quint16 atc = static_cast<quint16>(state.atc + 1);
    const QByteArray cryptogram = simulatedCryptogram("ARQC", counterText(atc) + text);
    const QByteArray appData = applicationData(*elements, cryptogram, atc, text);
    if (const int64_t code = writeReply(arqc, cryptogram); code != Ok)
        return code;
    if (const int64_t code = writeReply(trAppData, appData); code != Ok)
        return code;
    state.atc = atc;
    state.lastTransaction = *elements;
    state.pending = PendingArqc{text, appData, cryptogram, *elements, atc};
    return Ok;
}

int64_t IccARPCExeScript(int, const char *txData, const char *arpc, const char *trAppData,
                         char *scriptResult, char *tc)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    if (!txData || !arpc || !trAppData || !scriptResult || !tc)
        return NullArgument;
    BankCard &state = card();
    if (!state.pending)
        return NoPendingArqc;
    const PendingArqc &pending = *state.pending;
    if (QByteArray(txData) != pending.txData)
        return TransactionDataMismatch;
    if (QByteArray(trAppData) != pending.trAppData)
        return TrAppDataMismatch;
    const QByteArray response = QByteArray(arpc).toUpper();
    if (!isWellFormedArpc(response))
        return BadArpc;

    // Without a response code the issuer is taken to have approved ("00").
    const QByteArray responseCode = response.size() == 20 ? response.mid(16) : "3030";
    const QByteArray certificate = simulatedCryptogram(
        "TC", counterText(pending.atc) + pending.arqc + response.left(16) + responseCode);
    // Issuer script result: processed successfully, script identifier 0.
    writeReply(scriptResult, "DF31052000000000");
    writeReply(tc, certificate);

    state.lastOnlineAtc = pending.atc;
    state.transactions.push_front(loggedTransaction(pending.elements, pending.atc));
    if (state.transactions.size() > transactionLogSize)
        state.transactions.pop_back();
    state.pending.reset();
    return Ok;
}

int64_t IccGetTrDetail(int, const char *, char *log, int)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    if (!log)
        return NullArgument;
    QList<QByteArray> lines;
    int number = 0;
    for (const Transaction &transaction : card().transactions)
        lines.append(transactionLine(++number, transaction));
    return writeReply(log, logText(lines));
}

int64_t IccGetLoadDetail(int, const char *, char *log, int)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    if (!log)
        return NullArgument;
    QList<QByteArray> lines;
    int number = 0;
    for (const Load &load : loads)
        lines.append(loadLine(++number, load));
    return writeReply(log, logText(lines));
}

} // namespace device

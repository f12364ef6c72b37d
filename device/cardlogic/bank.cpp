#include "bank.h"
#include "afl.h"
#include "cardexchange.h"
#include "statusword.h"

#include <QRandomGenerator>
#include "gb18030.h"

#include <algorithm>
#include <cstring>

namespace device {
namespace {

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

// The letters of IccGetCardInfo and the data objects behind them.
const Letter letters[] = {
    {'A', 0x5A, Form::Digits},     {'B', 0x5F20, Form::Text},     {'C', 0x9F62, Form::Hex},
    {'D', 0x9F61, Form::Text},     {'E', 0x9F79, Form::Digits},   {'F', 0x9F77, Form::Digits},
    {'G', 0x9F78, Form::Digits},   {'I', 0x5F24, Form::Digits},   {'J', 0x5F34, Form::Digits},
    {'K', 0x57, Form::Digits},     {'L', 0x9F1F, Form::Text},     {'O', 0x9F13, Form::Hex},
    {'P', 0x9F02, Form::Terminal}, {'Q', 0x9F03, Form::Terminal}, {'R', 0x5F2A, Form::Terminal},
    {'S', 0x9A, Form::Terminal},   {'T', 0x9C, Form::Terminal},   {'U', 0x9F21, Form::Terminal},
    {'V', 0x9F1A, Form::Terminal}, {'W', 0x9F4E, Form::Terminal},
};

// The terminal's values until transaction data replaces them (letters P-W).
const sim::BankElement terminalDefaults[] = {
    {'P', QStringLiteral("000000000000")}, {'Q', QStringLiteral("000000000000")},
    {'R', QStringLiteral("0156")},         {'S', QStringLiteral("180101")},
    {'T', QStringLiteral("01")},           {'U', QStringLiteral("010101")},
    {'V', QStringLiteral("0156")},         {'W', QStringLiteral("模拟便利店")},
};

// The terminal's own data objects, the same for every transaction.
struct TerminalObject
{
    Tag tag;
    const char *hex;
};
const TerminalObject terminalObjects[] = {
    {0x9F33, "E0E1C8"},           // terminal capabilities
    {0x9F35, "22"},               // terminal type: attended, offline with online capability
    {0x9F34, "3F0000"},           // CVM results: no CVM performed
    {0x95, "0000000000"},         // terminal verification results
    {0x9F40, "F000F0A001"},       // additional terminal capabilities
    {0x9F66, "46000000"},         // terminal transaction qualifiers
    {0x9F09, "0030"},             // application version number
    {0x9F15, "5999"},             // merchant category code
    {0x9F1E, "5352303030373138"}, // interface device serial number "SR000718"
};

// Directory names and the application identifiers tried when neither
// directory is there, in this order.
const char proximityDirectory[] = "2PAY.SYS.DDF01";
const char paymentDirectory[] = "1PAY.SYS.DDF01";
const char *const knownAids[] = {"A000000333010101", "A000000333010102", "A000000333010103",
                                 "A000000333010106"};

constexpr int deepestTemplate = 8;
constexpr int mostDirectoryRecords = 16;

Bytes fromHex(const QByteArray &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return Bytes(raw.begin(), raw.end());
}

Bytes fromAscii(const char *text)
{
    return Bytes(text, text + std::strlen(text));
}

std::string hexOf(const Bytes &data)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : data) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

QString textOf(const Bytes &data)
{
    std::size_t end = data.size();
    while (end > 0 && (data[end - 1] == 0x00 || data[end - 1] == ' ' || data[end - 1] == 0xFF))
        --end;
    const QByteArray raw(reinterpret_cast<const char *>(data.data()), static_cast<int>(end));
    return fromGb18030(raw);
}

QString digitsOf(const Bytes &data)
{
    std::string hex = hexOf(data);
    while (!hex.empty() && hex.back() == 'F')
        hex.pop_back();
    return QString::fromStdString(hex);
}

QString valueText(Form form, const Bytes &data)
{
    switch (form) {
    case Form::Digits:
        return digitsOf(data);
    case Form::Text:
        return textOf(data);
    default:
        return QString::fromStdString(hexOf(data));
    }
}

// Every primitive object in data and the templates within, the first of a
// repeated tag kept.
bool collect(const Bytes &data, std::map<Tag, Bytes> &objects, int depth = 0)
{
    const auto parsed = parseTlv(data.data(), data.size());
    if (!parsed)
        return false;
    for (const TlvObject &object : *parsed) {
        if (object.constructed) {
            if (depth < deepestTemplate && !collect(object.bytes(), objects, depth + 1))
                return false;
        } else {
            objects.emplace(object.tag, object.bytes());
        }
    }
    return true;
}

QString terminalValue(const sim::BankElements &transaction, char letter)
{
    for (const sim::BankElement &element : transaction) {
        if (element.tag == letter)
            return element.value;
    }
    for (const sim::BankElement &element : terminalDefaults) {
        if (element.tag == letter)
            return element.value;
    }
    return QString();
}

// The transaction's data objects: P to W in their formats, the terminal's
// table, and a fresh unpredictable number.
std::map<Tag, Bytes> transactionObjects(const sim::BankElements &transaction)
{
    std::map<Tag, Bytes> objects;
    for (const Letter &letter : letters) {
        if (letter.form != Form::Terminal)
            continue;
        const QString value = terminalValue(transaction, letter.letter);
        if (letter.tag == 0x9F4E) {
            const QByteArray name = toGb18030(value);
            objects[letter.tag] = Bytes(name.begin(), name.end());
        } else {
            objects[letter.tag] = fromHex(value.toLatin1());
        }
    }
    for (const TerminalObject &object : terminalObjects)
        objects[object.tag] = fromHex(object.hex);
    const quint32 unpredictable = QRandomGenerator::system()->generate();
    objects[0x9F37] = {static_cast<unsigned char>(unpredictable >> 24),
                       static_cast<unsigned char>(unpredictable >> 16),
                       static_cast<unsigned char>(unpredictable >> 8),
                       static_cast<unsigned char>(unpredictable)};
    return objects;
}

Bytes fillFrom(const Dol &dol, const std::map<Tag, Bytes> &objects)
{
    return fillDol(dol, [&objects](Tag tag) -> std::optional<Bytes> {
        const auto found = objects.find(tag);
        if (found == objects.end())
            return std::nullopt;
        return found->second;
    });
}

// What the card answers: selects, records, processing options.
class PaymentSession
{
public:
    explicit PaymentSession(Channel &channel) : exchange(channel, mostCommandsPerOperation) {}

    Code start() { return exchange.start(); }

    Code select(const Bytes &name, Bytes &fci, uint16_t &sw)
    {
        return exchange.send(commandApdu(0x00, 0xA4, 0x04, 0x00, name), fci, sw);
    }

    // PPSE, then PSE, then the known applications one by one.
    Code selectApplication()
    {
        uint16_t sw = 0;
        std::vector<Bytes> candidates;
        Bytes fci;
        if (const Code result = select(fromAscii(proximityDirectory), fci, sw); result != Ok)
            return result;
        if (isSuccess(sw))
            directoryEntries(fci, candidates);
        if (candidates.empty()) {
            if (const Code result = readPaymentDirectory(candidates); result != Ok)
                return result;
        }
        for (const char *aid : knownAids)
            candidates.push_back(fromHex(aid));
        for (const Bytes &aid : candidates) {
            if (const Code result = select(aid, this->fci, sw); result != Ok)
                return result;
            if (isSuccess(sw))
                return Ok;
        }
        return BankNoApplication;
    }

    Code processingOptions(const std::map<Tag, Bytes> &terminal)
    {
        std::optional<Dol> pdol = Dol();
        if (const std::optional<Bytes> list = findTlv(fci, 0x9F38))
            pdol = parseDol(*list);
        if (!pdol || dolDataLength(*pdol) > 252)
            return BankBadCardData;
        const Bytes values = fillFrom(*pdol, terminal);
        Bytes data{0x83, static_cast<unsigned char>(values.size())};
        data.insert(data.end(), values.begin(), values.end());
        Bytes answer;
        uint16_t sw = 0;
        if (const Code result = exchange.send(commandApdu(0x80, 0xA8, 0, 0, data), answer, sw);
            result != Ok)
            return result;
        if (!isSuccess(sw) || answer.size() < 2)
            return sw == 0x6985 ? CardDeclined : BankBadCardData;
        Bytes afl;
        if (answer[0] == 0x80) {
            // Format 1: AIP and AFL in one primitive object.
            const auto parsed = parseTlv(answer.data(), answer.size());
            if (!parsed || parsed->empty() || parsed->front().length < 2)
                return BankBadCardData;
            const Bytes value = parsed->front().bytes();
            aip.assign(value.begin(), value.begin() + 2);
            afl.assign(value.begin() + 2, value.end());
        } else {
            const std::optional<Bytes> foundAip = findTlv(answer, 0x82);
            const std::optional<Bytes> foundAfl = findTlv(answer, 0x94);
            if (!foundAip || foundAip->size() != 2)
                return BankBadCardData;
            aip = *foundAip;
            afl = foundAfl.value_or(Bytes());
        }
        const auto entries = parseAfl(afl);
        if (!entries)
            return BankBadCardData;
        int records = 0;
        for (const AflEntry &entry : *entries) {
            for (int number = entry.first; number <= entry.last; ++number) {
                if (++records > mostRecordsPerOperation)
                    return BankBadCardData;
                Bytes record;
                if (const Code result = readRecord(entry.sfi, number, record, sw); result != Ok)
                    return result;
                if (!isSuccess(sw))
                    return BankBadCardData;
                if (!collect(record, objects))
                    return BankBadCardData;
            }
        }
        return Ok;
    }

    Code readRecord(int sfi, int number, Bytes &record, uint16_t &sw)
    {
        return exchange.send(commandApdu(0x00, 0xB2, static_cast<unsigned char>(number),
                                         static_cast<unsigned char>(sfi << 3 | 4)),
                             record, sw);
    }

    // A data object from a record or, failing that, from GET DATA.
    Code dataObject(Tag tag, std::optional<Bytes> &value)
    {
        if (const auto found = objects.find(tag); found != objects.end()) {
            value = found->second;
            return Ok;
        }
        value.reset();
        if (tag > 0xFFFF)
            return Ok;
        Bytes answer;
        uint16_t sw = 0;
        const Code result =
            exchange.send(commandApdu(0x80, 0xCA, static_cast<unsigned char>(tag >> 8),
                                      static_cast<unsigned char>(tag)),
                          answer, sw);
        if (result != Ok)
            return result;
        if (isSuccess(sw))
            value = findTlv(answer, tag);
        if (value)
            objects.emplace(tag, *value);
        return Ok;
    }

    CardExchange exchange;
    Bytes fci, aip;
    std::map<Tag, Bytes> objects;

private:
    void directoryEntries(const Bytes &data, std::vector<Bytes> &aids)
    {
        // Entries (61) of the directory, each with its AID (4F); the order
        // of priority (87) first, the card's order among equals.
        std::vector<std::pair<int, Bytes>> found;
        walkEntries(data, found, 0);
        std::stable_sort(found.begin(), found.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &entry : found)
            aids.push_back(entry.second);
    }

    void walkEntries(const Bytes &data, std::vector<std::pair<int, Bytes>> &found, int depth)
    {
        const auto parsed = parseTlv(data.data(), data.size());
        if (!parsed || depth > deepestTemplate)
            return;
        for (const TlvObject &object : *parsed) {
            if (object.tag == 0x61) {
                const Bytes entry = object.bytes();
                const std::optional<Bytes> aid = findTlv(entry, 0x4F);
                const std::optional<Bytes> priority = findTlv(entry, 0x87);
                if (aid && aid->size() >= 5 && aid->size() <= 16)
                    found.emplace_back(priority && !priority->empty() ? (*priority)[0] & 0x0F : 15,
                                       *aid);
            } else if (object.constructed && found.size() < mostDirectoryRecords) {
                walkEntries(object.bytes(), found, depth + 1);
            }
        }
    }

    Code readPaymentDirectory(std::vector<Bytes> &aids)
    {
        Bytes directory;
        uint16_t sw = 0;
        if (const Code result = select(fromAscii(paymentDirectory), directory, sw); result != Ok)
            return result;
        const std::optional<Bytes> sfi = isSuccess(sw) ? findTlv(directory, 0x88) : std::nullopt;
        if (!sfi || sfi->size() != 1 || (*sfi)[0] == 0 || (*sfi)[0] > 30)
            return Ok;
        for (int number = 1; number <= mostDirectoryRecords; ++number) {
            Bytes record;
            if (const Code result = readRecord((*sfi)[0], number, record, sw); result != Ok)
                return result;
            if (!isSuccess(sw))
                break;
            directoryEntries(record, aids);
        }
        return Ok;
    }
};

const Letter *letterOf(char letter)
{
    for (const Letter &entry : letters) {
        if (entry.letter == letter)
            return &entry;
    }
    return nullptr;
}

struct Cryptogram
{
    unsigned char cid = 0;
    std::map<Tag, Bytes> objects; // 9F27, 9F36, 9F26, 9F10
};

std::optional<Cryptogram> parseGenerateAc(const Bytes &answer)
{
    Cryptogram result;
    if (!answer.empty() && answer[0] == 0x80) {
        const auto parsed = parseTlv(answer.data(), answer.size());
        if (!parsed || parsed->empty() || parsed->front().length < 11)
            return std::nullopt;
        const Bytes value = parsed->front().bytes();
        result.objects[0x9F27] = Bytes(value.begin(), value.begin() + 1);
        result.objects[0x9F36] = Bytes(value.begin() + 1, value.begin() + 3);
        result.objects[0x9F26] = Bytes(value.begin() + 3, value.begin() + 11);
        result.objects[0x9F10] = Bytes(value.begin() + 11, value.end());
    } else {
        for (Tag tag : {Tag(0x9F27), Tag(0x9F36), Tag(0x9F26), Tag(0x9F10)}) {
            if (std::optional<Bytes> value = findTlv(answer, tag))
                result.objects[tag] = *value;
        }
    }
    const Bytes cid = result.objects[0x9F27];
    if (cid.size() != 1 || result.objects[0x9F26].size() != 8)
        return std::nullopt;
    result.cid = cid[0] & 0xC0;
    return result;
}

// The ICC data an issuer needs for authorisation, in this order.
const Tag applicationDataTags[] = {0x9F26, 0x9F27, 0x9F10, 0x9F37, 0x9F36, 0x95,   0x9A,   0x9C,
                                   0x9F02, 0x5F2A, 0x82,   0x9F1A, 0x9F03, 0x9F33, 0x9F34, 0x9F35};

struct LogLabel
{
    Tag tag;
    const char *label;
    Form form;
};
// The fields of a log line in the order shown; the load log's balances sit
// between the merchant and the counter.
const LogLabel leadingLabels[] = {
    {0x9A, "日期", Form::Hex},       {0x9F21, "时间", Form::Hex},     {0x9C, "类型", Form::Hex},
    {0x9F02, "授权金额", Form::Hex}, {0x9F03, "其它金额", Form::Hex}, {0x5F2A, "货币", Form::Hex},
    {0x9F1A, "国家", Form::Hex},     {0x9F4E, "商户", Form::Text},
};

} // namespace

std::optional<std::string> logLine(int number, const Dol &format, const Bytes &record)
{
    const std::optional<LogRecord> split = splitLogRecord(format, record);
    if (!split)
        return std::nullopt;
    const auto valueOf = [&split](Tag tag) -> const Bytes * {
        for (const auto &value : split->values) {
            if (value.first == tag)
                return &value.second;
        }
        return nullptr;
    };
    QString line = QString::number(number) + QStringLiteral(".");
    const auto add = [&line](const QString &label, const QString &value) {
        line += (line.endsWith(QLatin1Char('.')) ? QStringLiteral(" ") : QStringLiteral("  "))
                + label + QLatin1Char(' ') + value;
    };
    for (const LogLabel &label : leadingLabels) {
        if (const Bytes *value = valueOf(label.tag))
            add(QString::fromUtf8(label.label), valueText(label.form, *value));
    }
    // The load log: PUT DATA P1 P2, then the balance before and after.
    if (split->rest.size() >= 14) {
        const Bytes &rest = split->rest;
        add(QStringLiteral("圈存前余额"), digitsOf(Bytes(rest.begin() + 2, rest.begin() + 8)));
        add(QStringLiteral("圈存后余额"), digitsOf(Bytes(rest.begin() + 8, rest.begin() + 14)));
    }
    if (const Bytes *atc = valueOf(0x9F36))
        add(QStringLiteral("ATC"), QString::fromStdString(hexOf(*atc)));
    for (const auto &value : split->values) {
        const bool known =
            value.first == 0x9F36
            || std::any_of(std::begin(leadingLabels), std::end(leadingLabels),
                           [&value](const LogLabel &l) { return l.tag == value.first; });
        if (!known)
            add(QString::number(value.first, 16).toUpper(),
                QString::fromStdString(hexOf(value.second)));
    }
    return line.toUtf8().toStdString();
}

Code readBankCardData(Channel &channel, const sim::BankElements &terminal,
                      const QByteArray &letterList, std::string &text)
{
    // Validated before the card is touched: unknown letters, and lists whose
    // answer cannot fit (each element takes at least four characters).
    for (char letter : letterList) {
        if (!letterOf(letter))
            return UnknownTag;
    }
    if (static_cast<std::size_t>(letterList.size()) * 4 >= 4096)
        return BankReplyTooLong;
    PaymentSession session(channel);
    if (const Code result = session.start(); result != Ok)
        return result;
    if (const Code result = session.selectApplication(); result != Ok)
        return result;
    if (const Code result = session.processingOptions(transactionObjects(terminal)); result != Ok)
        return result;
    sim::BankElements elements;
    for (char letter : letterList) {
        const Letter *entry = letterOf(letter);
        if (entry->form == Form::Terminal) {
            elements.push_back({letter, terminalValue(terminal, letter)});
            continue;
        }
        std::optional<Bytes> value;
        if (const Code result = session.dataObject(entry->tag, value); result != Ok)
            return result;
        // A data object the card does not hold is an empty value.
        elements.push_back({letter, value ? valueText(entry->form, *value) : QString()});
    }
    const std::optional<QByteArray> formatted = sim::formatBankElements(elements);
    if (!formatted)
        return BankReplyTooLong;
    text = formatted->toStdString();
    return Ok;
}

Code requestArqc(Channel &channel, const QByteArray &txData, const sim::BankElements &elements,
                 OnlineTransaction &transaction)
{
    PaymentSession session(channel);
    std::map<Tag, Bytes> terminal = transactionObjects(elements);
    if (const Code result = session.start(); result != Ok)
        return result;
    if (const Code result = session.selectApplication(); result != Ok)
        return result;
    if (const Code result = session.processingOptions(terminal); result != Ok)
        return result;
    const auto cdol1 = session.objects.count(0x8C) ? parseDol(session.objects[0x8C]) : std::nullopt;
    const auto cdol2 = session.objects.count(0x8D) ? parseDol(session.objects[0x8D]) : std::nullopt;
    if (!cdol1 || !cdol2 || dolDataLength(*cdol1) > 255 || dolDataLength(*cdol2) > 255)
        return BankBadCardData;
    Bytes answer;
    uint16_t sw = 0;
    if (const Code result = session.exchange.send(
            commandApdu(0x80, 0xAE, 0x80, 0x00, fillFrom(*cdol1, terminal)), answer, sw);
        result != Ok)
        return result;
    if (!isSuccess(sw))
        return BankBadCardData;
    const std::optional<Cryptogram> cryptogram = parseGenerateAc(answer);
    if (!cryptogram)
        return BankBadCardData;
    if (cryptogram->cid != 0x80)
        return CardDeclined;
    std::map<Tag, Bytes> all = terminal;
    for (const auto &object : cryptogram->objects)
        all[object.first] = object.second;
    all[0x82] = session.aip;
    std::string appData;
    for (Tag tag : applicationDataTags)
        appData += hexOf(encodeTlv(tag, all[tag]));

    transaction.channel = &channel;
    transaction.txData = txData;
    transaction.arqc = hexOf(all[0x9F26]);
    transaction.trAppData = appData;
    transaction.aip = session.aip;
    transaction.cdol2 = *cdol2;
    transaction.terminal = std::move(all);
    return Ok;
}

namespace {

struct IssuerAnswer
{
    Bytes arpc, responseCode;
    std::vector<Bytes> scriptsBefore, scriptsAfter; // templates 71 and 72
};

std::optional<IssuerAnswer> parseIssuerAnswer(const QByteArray &text)
{
    if (!sim::isWellFormedArpc(text))
        return std::nullopt;
    IssuerAnswer answer;
    const Bytes bytes = fromHex(text);
    answer.arpc.assign(bytes.begin(), bytes.begin() + 8);
    answer.responseCode =
        bytes.size() >= 10 ? Bytes(bytes.begin() + 8, bytes.begin() + 10) : Bytes{0x30, 0x30};
    if (bytes.size() > 10) {
        const auto parsed = parseTlv(bytes.data() + 10, bytes.size() - 10);
        if (!parsed)
            return std::nullopt;
        for (const TlvObject &object : *parsed) {
            if (object.tag == 0x71)
                answer.scriptsBefore.push_back(object.bytes());
            else if (object.tag == 0x72)
                answer.scriptsAfter.push_back(object.bytes());
            else
                return std::nullopt;
        }
    }
    return answer;
}

// Runs one script; appends its five result bytes: result in the high nibble
// (2 done, 1 failed with the failing command's number, at most 15, in the low
// one) and the script identifier (9F18, or zeros).
Code runScript(CardExchange &exchange, const Bytes &script, Bytes &results)
{
    const auto parsed = parseTlv(script.data(), script.size());
    Bytes identifier(4, 0x00);
    unsigned char outcome = 0x20;
    int number = 0;
    if (parsed) {
        for (const TlvObject &object : *parsed) {
            if (object.tag == 0x9F18 && object.length == 4) {
                identifier = object.bytes();
            } else if (object.tag == 0x86 && outcome == 0x20) {
                ++number;
                Bytes answer;
                uint16_t sw = 0;
                const Bytes command = object.bytes();
                // A short APDU: 4 to 261 bytes.
                const bool sendable = command.size() >= 4 && command.size() <= 261;
                const Code result = sendable ? exchange.send(command, answer, sw) : Ok;
                if (result != Ok)
                    return result;
                if (!sendable || !(isSuccess(sw) || sw >> 8 == 0x62 || sw >> 8 == 0x63))
                    outcome = static_cast<unsigned char>(0x10 | std::min(number, 15));
            }
        }
    } else {
        outcome = 0x10;
    }
    results.push_back(outcome);
    results.insert(results.end(), identifier.begin(), identifier.end());
    return Ok;
}

} // namespace

Code completeOnline(OnlineTransaction &transaction, const QByteArray &arpcText,
                    std::string &scriptResult, std::string &tc)
{
    const std::optional<IssuerAnswer> issuer = parseIssuerAnswer(arpcText);
    if (!issuer)
        return BadArpc;
    // The card must still be in the session of its ARQC: no new power on.
    if (!transaction.channel || !transaction.channel->isPowered())
        return NoPendingArqc;
    CardExchange exchange(*transaction.channel, mostCommandsPerOperation);
    Bytes results;
    for (const Bytes &script : issuer->scriptsBefore) {
        if (const Code result = runScript(exchange, script, results); result != Ok)
            return result;
    }

    std::map<Tag, Bytes> &terminal = transaction.terminal;
    Bytes authentication = issuer->arpc;
    authentication.insert(authentication.end(), issuer->responseCode.begin(),
                          issuer->responseCode.end());
    terminal[0x8A] = issuer->responseCode;
    terminal[0x91] = authentication;
    const bool cdol2HasArpc = std::any_of(transaction.cdol2.begin(), transaction.cdol2.end(),
                                          [](const DolEntry &e) { return e.tag == 0x91; });
    bool authenticated = true;
    Bytes answer;
    uint16_t sw = 0;
    // The card asks for EXTERNAL AUTHENTICATE when its AIP supports issuer
    // authentication and its CDOL2 does not carry the ARPC itself.
    if (transaction.aip.size() == 2 && (transaction.aip[0] & 0x04) && !cdol2HasArpc) {
        if (const Code result =
                exchange.send(commandApdu(0x00, 0x82, 0, 0, authentication, false), answer, sw);
            result != Ok)
            return result;
        if (sw == 0x6985)
            return NoPendingArqc;
        authenticated = isSuccess(sw);
        if (!authenticated && sw != 0x6300)
            return BankBadCardData;
        if (!authenticated && terminal[0x95].size() == 5)
            terminal[0x95][4] |= 0x40; // TVR: issuer authentication failed
    }
    if (const Code result = exchange.send(commandApdu(0x80, 0xAE, authenticated ? 0x40 : 0x00, 0x00,
                                                      fillFrom(transaction.cdol2, terminal)),
                                          answer, sw);
        result != Ok)
        return result;
    if (sw == 0x6985)
        return NoPendingArqc;
    if (!isSuccess(sw))
        return BankBadCardData;
    const std::optional<Cryptogram> cryptogram = parseGenerateAc(answer);
    if (!cryptogram)
        return BankBadCardData;
    for (const Bytes &script : issuer->scriptsAfter) {
        if (const Code result = runScript(exchange, script, results); result != Ok)
            return result;
    }
    if (cryptogram->cid != 0x40)
        return CardDeclined;
    scriptResult = hexOf(encodeTlv(0xDF31, results));
    tc = hexOf(cryptogram->objects.at(0x9F26));
    return Ok;
}

Code readBankLog(Channel &channel, bool loads, std::size_t capacity, std::string &text)
{
    PaymentSession session(channel);
    if (const Code result = session.start(); result != Ok)
        return result;
    if (const Code result = session.selectApplication(); result != Ok)
        return result;
    const Tag entryTag = loads ? 0xDF4D : 0x9F4D;
    const Tag formatTag = loads ? 0xDF4F : 0x9F4F;
    const std::optional<Bytes> entry = findTlv(session.fci, entryTag);
    if (!entry || entry->size() != 2 || (*entry)[0] == 0 || (*entry)[0] > 30)
        return BankBadCardData;
    std::optional<Bytes> formatBytes;
    if (const Code result = session.dataObject(formatTag, formatBytes); result != Ok)
        return result;
    const std::optional<Dol> format = formatBytes ? parseDol(*formatBytes) : std::nullopt;
    if (!format)
        return BankBadCardData;
    const int count = std::min<int>((*entry)[1], mostRecordsPerOperation);
    text.clear();
    for (int number = 1; number <= count; ++number) {
        Bytes record;
        uint16_t sw = 0;
        if (const Code result = session.readRecord((*entry)[0], number, record, sw); result != Ok)
            return result;
        if (!isSuccess(sw))
            break; // 6A83: the log holds fewer records
        const std::optional<std::string> line = logLine(number, *format, record);
        if (!line)
            return BankBadCardData;
        const std::size_t grown = text.empty() ? line->size() : text.size() + 2 + line->size();
        if (grown >= capacity)
            break;
        text += text.empty() ? *line : "\r\n" + *line;
    }
    return Ok;
}

} // namespace device

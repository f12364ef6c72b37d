#include "bankonline.h"
#include "bankprocessing.h"
#include "bankselection.h"
#include "bankterminal.h"
#include "channelresult.h"
#include "statusword.h"

#include <algorithm>

namespace device::payment {
namespace {

// The ICC data an issuer needs for authorisation, in this order.
const Tag applicationDataTags[] = {0x9F26, 0x9F27, 0x9F10, 0x9F37, 0x9F36, 0x95,   0x9A,   0x9C,
                                   0x9F02, 0x5F2A, 0x82,   0x9F1A, 0x9F03, 0x9F33, 0x9F34, 0x9F35};

constexpr unsigned char aac = 0x00, tc = 0x40, arqc = 0x80;

// The application data: every tag the card or the terminal holds; a tag the
// card never sent is left out rather than sent empty.
std::string applicationData(const std::map<Tag, Bytes> &objects)
{
    std::string text;
    for (Tag tag : applicationDataTags) {
        const auto found = objects.find(tag);
        if (found != objects.end() && !found->second.empty())
            text += hexOf(encodeTlv(tag, found->second));
    }
    return text;
}

// Runs one script; appends its five result bytes: result in the high nibble
// (2 done, 1 failed with the failing command's number, at most 15, in the low
// one) and the script identifier (9F18, or zeros). failed tells whether a
// command failed.
Code runScript(CardExchange &exchange, const Bytes &script, Bytes &results, bool &failed)
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
    failed = outcome != 0x20;
    results.push_back(outcome);
    results.insert(results.end(), identifier.begin(), identifier.end());
    return Ok;
}

Code runScripts(CardExchange &exchange, const std::vector<Bytes> &scripts, Bytes &results,
                std::map<Tag, Bytes> &terminal, Flag whenFailed)
{
    for (const Bytes &script : scripts) {
        bool failed = false;
        if (const Code result = runScript(exchange, script, results, failed); result != Ok)
            return result;
        raise(terminal, scriptProcessingPerformed);
        if (failed)
            raise(terminal, whenFailed);
    }
    return Ok;
}

} // namespace

std::optional<Cryptogram> cryptogramIn(const std::map<Tag, Bytes> &objects)
{
    Cryptogram result;
    for (Tag tag : {Tag(0x9F27), Tag(0x9F36), Tag(0x9F26), Tag(0x9F10)}) {
        if (const auto found = objects.find(tag); found != objects.end())
            result.objects[tag] = found->second;
    }
    const auto sized = [&result](Tag tag, std::size_t size) {
        const auto found = result.objects.find(tag);
        return found != result.objects.end() && found->second.size() == size;
    };
    if (!sized(0x9F27, 1) || !sized(0x9F36, 2) || !sized(0x9F26, 8))
        return std::nullopt;
    result.cid = result.objects[0x9F27][0] & 0xC0;
    return result;
}

std::optional<Cryptogram> parseGenerateAc(const Bytes &answer)
{
    const auto parsed = parseTlv(answer.data(), answer.size());
    if (!parsed || parsed->empty())
        return std::nullopt;
    const TlvObject &top = parsed->front();
    std::map<Tag, Bytes> objects;
    if (top.tag == 0x80) {
        if (top.length < 11)
            return std::nullopt;
        const Bytes value = top.bytes();
        objects[0x9F27] = Bytes(value.begin(), value.begin() + 1);
        objects[0x9F36] = Bytes(value.begin() + 1, value.begin() + 3);
        objects[0x9F26] = Bytes(value.begin() + 3, value.begin() + 11);
        if (value.size() > 11)
            objects[0x9F10] = Bytes(value.begin() + 11, value.end());
    } else if (top.tag != 0x77 || !collect(top.bytes(), objects)) {
        return std::nullopt;
    }
    return cryptogramIn(objects);
}

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

bool isApproval(const Bytes &code)
{
    return code == Bytes{'0', '0'} || code == Bytes{'1', '0'} || code == Bytes{'1', '1'};
}

} // namespace device::payment

namespace device {

using namespace payment;

Code requestArqc(Channel &channel, const QByteArray &txData, const sim::BankElements &elements,
                 OnlineTransaction &transaction, CardInterface interface)
{
    PaymentSession session(channel, interface);
    if (const Code result = session.begin(); result != Ok)
        return result;
    std::map<Tag, Bytes> terminal = transactionObjects(elements, session.contactless());
    if (const Code result = chooseApplication(
            session, [&](bool &refused) { return initiateProcessing(session, terminal, refused); });
        result != Ok)
        return result;
    std::optional<Cryptogram> cryptogram;
    Dol cdol2;
    if (session.quick) {
        cryptogram = cryptogramIn(session.objects);
    } else {
        const auto cdol1 =
            session.objects.count(0x8C) ? parseDol(session.objects[0x8C]) : std::nullopt;
        const auto secondDol =
            session.objects.count(0x8D) ? parseDol(session.objects[0x8D]) : std::nullopt;
        if (!cdol1 || !secondDol || dolDataLength(*cdol1) > 255 || dolDataLength(*secondDol) > 255)
            return BankBadCardData;
        cdol2 = *secondDol;
        Bytes answer;
        uint16_t sw = 0;
        if (const Code result = session.exchange.send(
                commandApdu(0x80, 0xAE, arqc, 0x00, fillFrom(*cdol1, terminal)), answer, sw);
            result != Ok)
            return result;
        if (!isSuccess(sw))
            return BankBadCardData;
        cryptogram = parseGenerateAc(answer);
    }
    if (!cryptogram)
        return BankBadCardData;
    if (cryptogram->cid == aac)
        return CardDeclined;
    // A card approving offline gives no ARQC, though an online one was asked for.
    if (cryptogram->cid != arqc)
        return BankBadCardData;
    std::map<Tag, Bytes> all = terminal;
    for (const auto &object : cryptogram->objects)
        all[object.first] = object.second;
    all[0x82] = session.aip;

    transaction.channel = &channel;
    transaction.session = channel.session();
    transaction.txData = txData;
    transaction.arqc = hexOf(all[0x9F26]);
    transaction.trAppData = applicationData(all);
    transaction.aip = session.aip;
    transaction.cdol2 = cdol2;
    transaction.quick = session.quick;
    transaction.terminal = std::move(all);
    return Ok;
}

Code completeOnline(OnlineTransaction &transaction, const QByteArray &arpcText,
                    std::string &scriptResult, std::string &tcText)
{
    const std::optional<IssuerAnswer> issuer = parseIssuerAnswer(arpcText);
    if (!issuer)
        return BadArpc;
    // The card must still be in the session of its ARQC: a reset by anyone,
    // a power-off or another card ended the transaction.
    Channel *channel = transaction.channel;
    if (!channel || !channel->isPowered() || channel->session() != transaction.session)
        return NoPendingArqc;
    ChannelTransaction guard(*channel);
    if (guard.result() != ChannelResult::Ok)
        return codeOf(guard.result(), NoPendingArqc);
    if (channel->session() != transaction.session)
        return NoPendingArqc;

    CardExchange exchange(*channel, mostCommandsPerOperation);
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
    // Issuer authentication first, when the AIP offers it and CDOL2 does not
    // carry the ARPC itself. Whatever the card answers, the flow goes on to
    // end the card's transaction.
    if (transaction.aip.size() == 2 && (transaction.aip[0] & 0x04) && !cdol2HasArpc) {
        if (const Code result =
                exchange.send(commandApdu(0x00, 0x82, 0, 0, authentication, false), answer, sw);
            result != Ok)
            return result;
        raise(terminal, issuerAuthenticationPerformed);
        authenticated = isSuccess(sw);
        if (!authenticated)
            raise(terminal, issuerAuthenticationFailed);
    }
    Bytes results;
    if (const Code result = runScripts(exchange, issuer->scriptsBefore, results, terminal,
                                       scriptFailedBeforeLastAc);
        result != Ok)
        return result;
    const bool approved = isApproval(issuer->responseCode);
    std::optional<Cryptogram> cryptogram;
    if (!transaction.quick) {
        if (const Code result =
                exchange.send(commandApdu(0x80, 0xAE, approved && authenticated ? tc : aac, 0x00,
                                          fillFrom(transaction.cdol2, terminal)),
                              answer, sw);
            result != Ok)
            return result;
        if (sw == 0x6985)
            return NoPendingArqc;
        cryptogram = isSuccess(sw) ? parseGenerateAc(answer) : std::nullopt;
        if (!cryptogram)
            return BankBadCardData;
    }
    if (const Code result =
            runScripts(exchange, issuer->scriptsAfter, results, terminal, scriptFailedAfterLastAc);
        result != Ok)
        return result;
    if (!approved)
        return IssuerDeclined;
    if (transaction.quick ? !authenticated : cryptogram->cid != tc)
        return CardDeclined;
    scriptResult = hexOf(encodeTlv(0xDF31, results));
    tcText = transaction.quick ? std::string() : hexOf(cryptogram->objects.at(0x9F26));
    return Ok;
}

} // namespace device

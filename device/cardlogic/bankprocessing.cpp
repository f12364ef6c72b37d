#include "bankprocessing.h"
#include "afl.h"
#include "bankonline.h"
#include "bankselection.h"
#include "bankterminal.h"
#include "statusword.h"

namespace device::payment {

std::optional<ProcessingOptions> parseProcessingOptions(const Bytes &answer)
{
    const auto parsed = parseTlv(answer.data(), answer.size());
    if (!parsed || parsed->empty())
        return std::nullopt;
    const TlvObject &top = parsed->front();
    ProcessingOptions options;
    if (top.tag == 0x80) {
        // Format 1: AIP and AFL in one primitive object.
        if (top.length < 2)
            return std::nullopt;
        const Bytes value = top.bytes();
        options.aip.assign(value.begin(), value.begin() + 2);
        options.afl.assign(value.begin() + 2, value.end());
        return options;
    }
    if (top.tag != 0x77 || !collect(top.bytes(), options.objects))
        return std::nullopt;
    const auto aip = options.objects.find(0x82);
    if (aip == options.objects.end() || aip->second.size() != 2)
        return std::nullopt;
    options.aip = aip->second;
    if (const auto afl = options.objects.find(0x94); afl != options.objects.end())
        options.afl = afl->second;
    if (options.objects.count(0x9F26)) {
        if (!cryptogramIn(options.objects))
            return std::nullopt;
        options.withCryptogram = true;
    }
    return options;
}

std::optional<Bytes> processingOptionsCommand(const Bytes &pdolData)
{
    const Bytes data = encodeTlv(0x83, pdolData);
    if (data.size() > 255)
        return std::nullopt;
    return commandApdu(0x80, 0xA8, 0x00, 0x00, data);
}

Code initiateProcessing(PaymentSession &session, const std::map<Tag, Bytes> &terminal,
                        bool &refused)
{
    std::optional<Dol> pdol = Dol();
    if (const std::optional<Bytes> list = findTlv(session.fci, 0x9F38))
        pdol = parseDol(*list);
    if (!pdol)
        return BankBadCardData;
    const std::optional<Bytes> command = processingOptionsCommand(fillFrom(*pdol, terminal));
    if (!command)
        return BankBadCardData;
    Bytes answer;
    uint16_t sw = 0;
    if (const Code result = session.exchange.send(*command, answer, sw); result != Ok)
        return result;
    if (sw == 0x6985) {
        refused = true;
        return Ok;
    }
    if (!isSuccess(sw))
        return BankBadCardData;
    std::optional<ProcessingOptions> options = parseProcessingOptions(answer);
    if (!options)
        return BankBadCardData;
    const auto entries = parseAfl(options->afl);
    if (!entries)
        return BankBadCardData;
    session.aip = options->aip;
    session.objects = std::move(options->objects);
    // Only the contactless flow takes its cryptogram from the processing
    // options; a contact card asks for GENERATE AC.
    session.quick = options->withCryptogram && session.contactless();
    int records = 0;
    for (const AflEntry &entry : *entries) {
        for (int number = entry.first; number <= entry.last; ++number) {
            if (++records > mostRecordsPerOperation)
                return BankBadCardData;
            Bytes record;
            if (const Code result = session.readRecord(entry.sfi, number, record, sw); result != Ok)
                return result;
            if (!isSuccess(sw) || !collect(record, session.objects))
                return BankBadCardData;
        }
    }
    return Ok;
}

} // namespace device::payment

namespace device {

using namespace payment;

Code readBankCardData(Channel &channel, const sim::BankElements &terminal,
                      const QByteArray &letterList, std::string &text, CardInterface interface)
{
    // Validated before the card is touched: unknown letters, and lists whose
    // answer cannot fit (each element takes at least four characters).
    for (char letter : letterList) {
        if (!letterOf(letter))
            return UnknownTag;
    }
    if (static_cast<std::size_t>(letterList.size()) * 4 >= 4096)
        return BankReplyTooLong;
    PaymentSession session(channel, interface);
    if (const Code result = session.begin(); result != Ok)
        return result;
    const std::map<Tag, Bytes> objects = transactionObjects(terminal, session.contactless());
    if (const Code result = chooseApplication(
            session, [&](bool &refused) { return initiateProcessing(session, objects, refused); });
        result != Ok)
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

} // namespace device

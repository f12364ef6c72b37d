// The transaction and load logs: the log entry in the application's FCI,
// the log format by GET DATA, and the records of the log file, each made one
// line of text.
#include "bank.h"
#include "bankselection.h"
#include "bankterminal.h"
#include "statusword.h"

#include <algorithm>

namespace device {

using namespace payment;

namespace {

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

Code readBankLog(Channel &channel, bool loads, std::size_t capacity, std::string &text,
                 CardInterface interface)
{
    PaymentSession session(channel, interface);
    if (const Code result = session.begin(); result != Ok)
        return result;
    // The logs need the application selected, not a transaction.
    if (const Code result = chooseApplication(session, [](bool &) { return Ok; }); result != Ok)
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

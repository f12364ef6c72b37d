#include "ssse.h"
#include "cardexchange.h"
#include "channelresult.h"
#include "statusword.h"

#include "gb18030.h"

#include <cctype>

namespace device {
namespace {

using Form = SocialSecurityForm;

enum class File { Card, Holder };

struct Field
{
    File file;
    unsigned char id; // record identifier (its simple-TLV tag)
    const char *name;
    Form form;
};

// The card's records in the order of the text record; the generation is
// derived from the card version and comes last.
const Field fields[] = {
    {File::Card, 0x01, "识别码", Form::Hex},    {File::Card, 0x02, "卡类别", Form::Number},
    {File::Card, 0x03, "规范版本", Form::Text}, {File::Card, 0x04, "初始化机构编号", Form::Text},
    {File::Card, 0x05, "发卡日期", Form::Bcd},  {File::Card, 0x06, "有效期", Form::Bcd},
    {File::Card, 0x07, "卡号", Form::Text},     {File::Holder, 0x08, "身份证号", Form::Text},
    {File::Holder, 0x09, "姓名", Form::Text},   {File::Card, 0x08, "芯片类型", Form::Hex},
    {File::Holder, 0x0A, "性别", Form::Gender}, {File::Holder, 0x0B, "民族", Form::Ethnic},
    {File::Holder, 0x0C, "出生地", Form::Text}, {File::Holder, 0x0D, "出生日期", Form::Bcd},
};
constexpr int fieldCount = sizeof fields / sizeof fields[0];

// Each file holds its items in identifier order from its first one, so that
// an item's record number is its identifier less the first one, plus one.
struct FileInfo
{
    unsigned char id[2];
    unsigned char firstItem;
    const char *name;
};
const FileInfo cardFile{{0xEF, 0x05}, 0x01, "EF05"};
const FileInfo holderFile{{0xEF, 0x06}, 0x08, "EF06"};

const FileInfo &infoOf(File file)
{
    return file == File::Card ? cardFile : holderFile;
}

// "sx1.sh." and "社会保障" in GB18030.
const Bytes applicationName{0x73, 0x78, 0x31, 0x2E, 0x73, 0x68, 0x2E, 0xC9,
                            0xE7, 0xBB, 0xE1, 0xB1, 0xA3, 0xD5, 0xCF};
const Bytes masterFile{0x3F, 0x00};

// Commands of one read: the selections, the first READ RECORD of each item
// and the fallback, each with GET RESPONSE or a resend on a T=0 card.
constexpr int mostCommands = 64;

// GB/T 2261.1 gender codes and the first GB 3304 ethnic group codes.
const char *const genders[] = {"未知", "男", "女"};
const char *const ethnicGroups[] = {"汉族", "蒙古族", "回族",   "藏族",   "维吾尔族", "苗族",
                                    "彝族", "壮族",   "布依族", "朝鲜族", "满族"};

// A card that does not read records by identifier says so with one of these.
bool refusesIdentifierMode(uint16_t sw)
{
    return sw == 0x6A86 || sw == 0x6A81 || sw == 0x6B00;
}

class Reader
{
public:
    explicit Reader(Channel &channel) : m_exchange(channel, mostCommands) {}

    // A powered card is used as it is, so that other programs sharing it are
    // not reset under their feet; it is reset only when it does not answer.
    Code start()
    {
        Bytes atr;
        return m_exchange.resume(atr);
    }

    Code select(unsigned char p1, const Bytes &id, uint16_t &sw)
    {
        Bytes answer;
        return m_exchange.send(commandApdu(0x00, 0xA4, p1, 0x00, id), answer, sw);
    }

    // The item's record from the current EF: by identifier until the card
    // refuses that mode, then by record number.
    Code readItem(const FileInfo &file, unsigned char id, Bytes &record, uint16_t &sw)
    {
        if (m_byIdentifier) {
            if (const Code code = m_exchange.send(commandApdu(0x00, 0xB2, id, 0x00), record, sw);
                code != Ok)
                return code;
            if (!refusesIdentifierMode(sw))
                return Ok;
            m_byIdentifier = false;
        }
        const auto number = static_cast<unsigned char>(id - file.firstItem + 1);
        return m_exchange.send(commandApdu(0x00, 0xB2, number, 0x04), record, sw);
    }

private:
    CardExchange m_exchange;
    bool m_byIdentifier = true;
};

QString generationOf(const QString &version)
{
    if (version.startsWith(QLatin1Char('1')))
        return QStringLiteral("第一代");
    if (version.startsWith(QLatin1Char('2')))
        return QStringLiteral("第二代");
    if (version.startsWith(QLatin1Char('3')))
        return QStringLiteral("第三代");
    return QString();
}

} // namespace

QString socialSecurityFieldText(SocialSecurityForm form, const Bytes &value)
{
    QByteArray raw(reinterpret_cast<const char *>(value.data()), static_cast<int>(value.size()));
    switch (form) {
    case SocialSecurityForm::Hex:
        return QString::fromLatin1(raw.toHex().toUpper());
    case SocialSecurityForm::Bcd: {
        // Digits as the card holds them; F nibbles pad a short number.
        QByteArray digits = raw.toHex().toUpper();
        while (digits.endsWith('F'))
            digits.chop(1);
        return QString::fromLatin1(digits);
    }
    case SocialSecurityForm::Number:
        // One byte: a digit or letter as text, or the number itself.
        if (raw.size() == 1)
            return std::isalnum(static_cast<unsigned char>(value[0])) ? QString::fromLatin1(raw)
                                                                      : QString::number(value[0]);
        return QString::fromLatin1(raw.toHex());
    case SocialSecurityForm::Text:
        // Fixed-length items are padded with blanks (some cards: zero bytes).
        while (!raw.isEmpty() && (raw.endsWith(' ') || raw.endsWith('\0')))
            raw.chop(1);
        return fromGb18030(raw);
    case SocialSecurityForm::Gender: {
        const int code = raw.toInt();
        if (raw == "9")
            return QStringLiteral("未说明");
        return code >= 0 && code <= 2 && !raw.isEmpty() ? QString::fromUtf8(genders[code])
                                                        : QString::fromLatin1(raw);
    }
    case SocialSecurityForm::Ethnic: {
        const int code = raw.toInt();
        return code >= 1 && code <= 11 ? QString::fromUtf8(ethnicGroups[code - 1])
                                       : QString::fromLatin1(raw);
    }
    }
    return QString();
}

Code readSocialSecurityCard(Channel &channel, QStringList &result, QString &problem)
{
    Reader reader(channel);
    if (const Code code = reader.start(); code != Ok)
        return code;
    // Nothing of another program between our selections and reads.
    ChannelTransaction transaction(channel);
    if (transaction.result() != ChannelResult::Ok)
        return codeOf(transaction.result(), NoCard);

    uint16_t sw = 0;
    if (const Code code = reader.select(0x04, applicationName, sw); code != Ok)
        return code;
    if (sw == 0x6A82) {
        problem = QStringLiteral("社保卡缺少所需文件：SSSE");
        return SocialSecurityMissingFile;
    }
    if (!isSuccess(sw))
        return SocialSecurityNoCard;

    enum class State { Unread, Read, Protected, Missing };
    State states[fieldCount] = {};
    QStringList read;
    for (int i = 0; i < fieldCount; ++i)
        read << QString();
    const auto readFile = [&](File file) -> Code {
        const FileInfo &info = infoOf(file);
        for (const Field &field : fields) {
            if (field.file != file)
                continue;
            Bytes answer;
            uint16_t itemSw = 0;
            if (const Code code = reader.readItem(info, field.id, answer, itemSw); code != Ok)
                return code;
            const int index = static_cast<int>(&field - fields);
            if (itemSw == 0x6982 || itemSw == 0x6985) {
                states[index] = State::Protected;
                continue;
            }
            // A simple-TLV record whose tag is the identifier asked for.
            if (!isSuccess(itemSw) || answer.size() < 2 || answer[0] != field.id
                || answer[1] != answer.size() - 2) {
                states[index] = State::Missing;
                continue;
            }
            states[index] = State::Read;
            read[index] =
                socialSecurityFieldText(field.form, Bytes(answer.begin() + 2, answer.end()));
        }
        return Ok;
    };
    const auto missingFile = [&](const FileInfo &info) {
        problem = QStringLiteral("社保卡缺少所需文件：") + QString::fromLatin1(info.name);
        return SocialSecurityMissingFile;
    };

    // The card file inside the application where the card keeps it there;
    // otherwise it lies under the MF, read after the holder file so that the
    // application is selected once.
    if (const Code code = reader.select(0x02, Bytes(cardFile.id, cardFile.id + 2), sw); code != Ok)
        return code;
    const bool cardFileInApplication = isSuccess(sw);
    if (cardFileInApplication) {
        if (const Code code = readFile(File::Card); code != Ok)
            return code;
    }
    if (const Code code = reader.select(0x02, Bytes(holderFile.id, holderFile.id + 2), sw);
        code != Ok)
        return code;
    if (!isSuccess(sw))
        return missingFile(holderFile);
    if (const Code code = readFile(File::Holder); code != Ok)
        return code;
    if (!cardFileInApplication) {
        if (const Code code = reader.select(0x00, masterFile, sw); code != Ok)
            return code;
        if (!isSuccess(sw))
            return missingFile(cardFile);
        if (const Code code = reader.select(0x02, Bytes(cardFile.id, cardFile.id + 2), sw);
            code != Ok)
            return code;
        if (!isSuccess(sw))
            return missingFile(cardFile);
        if (const Code code = readFile(File::Card); code != Ok)
            return code;
    }

    // Named in the order of the files: the card file's items, then the holder's.
    QStringList protectedFields, missing;
    for (File file : {File::Card, File::Holder}) {
        for (int i = 0; i < fieldCount; ++i) {
            if (fields[i].file != file)
                continue;
            if (states[i] == State::Protected)
                protectedFields << QString::fromUtf8(fields[i].name);
            else if (states[i] == State::Missing)
                missing << QString::fromUtf8(fields[i].name);
        }
    }
    if (!protectedFields.isEmpty()) {
        problem = QStringLiteral("社保卡数据需安全模块认证：")
                  + protectedFields.join(QStringLiteral("、"));
        return SocialSecurityProtected;
    }
    if (!missing.isEmpty()) {
        problem = QStringLiteral("社保卡数据无效：") + missing.join(QStringLiteral("、"));
        return SocialSecurityBadData;
    }
    read << generationOf(read.at(2));
    result = read;
    return Ok;
}

} // namespace device

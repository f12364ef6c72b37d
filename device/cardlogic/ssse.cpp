#include "ssse.h"
#include "cardexchange.h"
#include "statusword.h"

#include "gb18030.h"

namespace device {
namespace {

enum class Form { Hex, Number, Text, Gender, Ethnic };

struct Field
{
    bool inApplication; // the holder file; otherwise the card file
    unsigned char id;   // record identifier (its simple-TLV tag)
    const char *name;
    Form form;
};

// The card's records in the order of the text record; the generation is
// derived from the card version and comes last.
const Field fields[] = {
    {false, 0x01, "识别码", Form::Hex},    {false, 0x02, "卡类别", Form::Number},
    {false, 0x03, "规范版本", Form::Text}, {false, 0x04, "初始化机构编号", Form::Text},
    {false, 0x05, "发卡日期", Form::Hex},  {false, 0x06, "有效期", Form::Hex},
    {false, 0x07, "卡号", Form::Text},     {true, 0x08, "身份证号", Form::Text},
    {true, 0x09, "姓名", Form::Text},      {false, 0x08, "芯片类型", Form::Hex},
    {true, 0x0A, "性别", Form::Gender},    {true, 0x0B, "民族", Form::Ethnic},
    {true, 0x0C, "出生地", Form::Text},    {true, 0x0D, "出生日期", Form::Hex},
};

constexpr unsigned char cardFileSfi = 0x05;
constexpr unsigned char holderFileSfi = 0x08;
// "sx1.sh." and "社会保障" in GB18030.
const Bytes applicationName{0x73, 0x78, 0x31, 0x2E, 0x73, 0x68, 0x2E, 0xC9,
                            0xE7, 0xBB, 0xE1, 0xB1, 0xA3, 0xD5, 0xCF};

// GB/T 2261.1 gender codes and the first GB 3304 ethnic group codes.
const char *const genders[] = {"未知", "男", "女"};
const char *const ethnicGroups[] = {"汉族", "蒙古族", "回族",   "藏族",   "维吾尔族", "苗族",
                                    "彝族", "壮族",   "布依族", "朝鲜族", "满族"};

QString fieldText(Form form, const Bytes &value)
{
    const QByteArray raw(reinterpret_cast<const char *>(value.data()),
                         static_cast<int>(value.size()));
    switch (form) {
    case Form::Hex:
        return QString::fromLatin1(raw.toHex().toUpper());
    case Form::Number:
        return raw.size() == 1 ? QString::number(value[0]) : QString::fromLatin1(raw.toHex());
    case Form::Text: {
        return fromGb18030(raw).trimmed();
    }
    case Form::Gender: {
        const int code = raw.toInt();
        if (raw == "9")
            return QStringLiteral("未说明");
        return code >= 0 && code <= 2 && !raw.isEmpty() ? QString::fromUtf8(genders[code])
                                                        : QString::fromLatin1(raw);
    }
    case Form::Ethnic: {
        const int code = raw.toInt();
        return code >= 1 && code <= 11 ? QString::fromUtf8(ethnicGroups[code - 1])
                                       : QString::fromLatin1(raw);
    }
    }
    return QString();
}

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

Code readSocialSecurityCard(Channel &channel, QStringList &result, QString &problem)
{
    CardExchange exchange(channel, 32);
    if (const Code code = exchange.start(); code != Ok)
        return code;
    constexpr int fieldCount = sizeof fields / sizeof fields[0];
    QStringList read, protectedFields, missing;
    for (int i = 0; i < fieldCount; ++i)
        read << QString();
    bool inApplication = false;
    // The card file first (it lies under the MF), then the holder file.
    int order[fieldCount];
    int next = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < fieldCount; ++i) {
            if (fields[i].inApplication == (pass == 1))
                order[next++] = i;
        }
    }
    for (int index : order) {
        const Field &field = fields[index];
        Bytes answer;
        uint16_t sw = 0;
        if (field.inApplication && !inApplication) {
            const Code code = exchange.send(
                commandApdu(0x00, 0xA4, 0x04, 0x0C, applicationName, false), answer, sw);
            if (code != Ok)
                return code;
            if (!isSuccess(sw))
                return SocialSecurityNoCard;
            inApplication = true;
        }
        const unsigned char sfi = field.inApplication ? holderFileSfi : cardFileSfi;
        if (const Code code = exchange.send(
                commandApdu(0x00, 0xB2, field.id, static_cast<unsigned char>(sfi << 3)), answer,
                sw);
            code != Ok)
            return code;
        const QString name = QString::fromUtf8(field.name);
        if (sw == 0x6982 || sw == 0x6985) {
            protectedFields << name;
            continue;
        }
        // A simple-TLV record whose tag is the identifier asked for.
        if (!isSuccess(sw) || answer.size() < 2 || answer[0] != field.id
            || answer[1] != answer.size() - 2) {
            if (sw == 0x6A82 && index == 0)
                return SocialSecurityNoCard;
            missing << name;
            continue;
        }
        read[index] = fieldText(field.form, Bytes(answer.begin() + 2, answer.end()));
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
